// Reading and writing form of the trust file.
//
// Reading is strict about the keys it knows (each present exactly once, with
// its type) and ignores the others. nlohmann keeps the last of duplicate keys
// silently, so a parse callback watches the known keys of the three known
// objects and rejects a second occurrence.
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "ssh/limits.h"
#include "ssh/trust_store.h"

namespace remote::ssh {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

struct ContentError {
  std::string message;
};

// Where the parser stands, so duplicate checks apply to the known objects only.
enum class Frame { Root, EntriesArray, Entry, Identity, Other };

class DuplicateGuard {
 public:
  bool operator()(int depth, Json::parse_event_t event, Json& parsed) {
    if (static_cast<std::size_t>(depth) > max_known_hosts_depth) {
      throw ContentError{"JSON nesting is deeper than " + std::to_string(max_known_hosts_depth)};
    }
    switch (event) {
      case Json::parse_event_t::object_start:
        push(object_frame());
        break;
      case Json::parse_event_t::array_start:
        push(array_frame());
        break;
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        frames_.pop_back();
        break;
      case Json::parse_event_t::key:
        on_key(parsed.get<std::string>());
        break;
      case Json::parse_event_t::value:
        break;
    }
    return true;
  }

 private:
  struct State {
    Frame frame;
    std::string last_key;
    std::set<std::string> seen;
  };

  Frame object_frame() const {
    if (frames_.empty()) return Frame::Root;
    const State& parent = frames_.back();
    if (parent.frame == Frame::EntriesArray) return Frame::Entry;
    if (parent.frame == Frame::Entry && parent.last_key == "identity") return Frame::Identity;
    return Frame::Other;
  }
  Frame array_frame() const {
    if (!frames_.empty() && frames_.back().frame == Frame::Root &&
        frames_.back().last_key == "entries") {
      return Frame::EntriesArray;
    }
    return Frame::Other;
  }
  void push(Frame frame) {
    // A value that is an object or array ends the key that introduced it.
    frames_.push_back(State{frame, {}, {}});
  }
  static bool known(Frame frame, const std::string& key) {
    switch (frame) {
      case Frame::Root:
        return key == "entries";
      case Frame::Entry:
        return key == "host" || key == "port" || key == "identity";
      case Frame::Identity:
        return key == "algorithm" || key == "fingerprint";
      default:
        return false;
    }
  }
  void on_key(const std::string& key) {
    State& top = frames_.back();
    if (known(top.frame, key) && !top.seen.insert(key).second) {
      throw ContentError{"duplicate key \"" + key + "\""};
    }
    top.last_key = key;
  }

  std::vector<State> frames_;
};

const Json& member(const Json& object, const char* key, Json::value_t type, const char* type_name) {
  auto it = object.find(key);
  if (it == object.end()) throw ContentError{std::string("missing key \"") + key + "\""};
  if (it->type() != type) {
    throw ContentError{std::string("key \"") + key + "\" must be " + type_name};
  }
  return *it;
}

std::uint16_t port_of(const Json& entry) {
  auto it = entry.find("port");
  if (it == entry.end()) throw ContentError{"missing key \"port\""};
  constexpr auto max_port = std::numeric_limits<std::uint16_t>::max();
  if (it->is_number_unsigned() && it->get<std::uint64_t>() <= max_port) {
    return static_cast<std::uint16_t>(it->get<std::uint64_t>());
  }
  throw ContentError{"key \"port\" must be an integer from 0 to 65535"};
}

KnownHostEntry entry_of(const Json& entry) {
  if (!entry.is_object()) throw ContentError{"every element of \"entries\" must be an object"};
  const Json& identity = member(entry, "identity", Json::value_t::object, "an object");
  return KnownHostEntry{
      member(entry, "host", Json::value_t::string, "a string").get<std::string>(), port_of(entry),
      HostKeyIdentity{
          member(identity, "algorithm", Json::value_t::string, "a string").get<std::string>(),
          member(identity, "fingerprint", Json::value_t::string, "a string").get<std::string>()}};
}

}  // namespace

Result<KnownHosts> parse_known_hosts(std::string_view bytes) {
  try {
    const Json root = Json::parse(bytes, DuplicateGuard{});
    if (!root.is_object()) return fail(ErrorCode::Store, "the trust file must hold a JSON object");
    const Json& entries = member(root, "entries", Json::value_t::array, "an array");
    KnownHosts store;
    store.entries.reserve(entries.size());
    for (const Json& entry : entries)
      store.entries.push_back(entry_of(entry));
    return store;
  } catch (const ContentError& error) {
    return fail(ErrorCode::Store, error.message);
  } catch (const Json::exception& error) {
    return fail(ErrorCode::Store, error.what());
  }
}

Result<std::string> serialize_known_hosts(const KnownHosts& store) {
  // ordered_json keeps members in insertion order, which is the file's order.
  OrderedJson entries = OrderedJson::array();
  for (const KnownHostEntry& entry : store.entries) {
    OrderedJson identity = OrderedJson::object();
    identity["algorithm"] = entry.identity.algorithm;
    identity["fingerprint"] = entry.identity.fingerprint;
    OrderedJson object = OrderedJson::object();
    object["host"] = entry.host;
    object["port"] = entry.port;
    object["identity"] = std::move(identity);
    entries.push_back(std::move(object));
  }
  OrderedJson root = OrderedJson::object();
  root["entries"] = std::move(entries);
  try {
    return root.dump(2);
  } catch (const OrderedJson::exception& error) {
    // Only text that is not UTF-8 can get here.
    return fail(ErrorCode::Store, error.what());
  }
}

}  // namespace remote::ssh
