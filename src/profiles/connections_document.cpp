#include "profiles/connections_document.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace remote::profiles {

namespace {

namespace doc = kova::doc;

constexpr std::string_view connections_key = "connections";

// Creating an object on a map we hold, or putting a scalar into it, can only
// fail if the document broke its own contract; going on would silently lose
// the user's edit.
[[noreturn]] void invariant_broken(const char* message) {
  std::fputs(message, stderr);
  std::fputc('\n', stderr);
  std::abort();
}

std::optional<doc::ObjId> object_at(const doc::Document& document, doc::ObjId obj,
                                    std::string_view key, doc::ObjType type) {
  const auto value = document.get(obj, key);
  if (!value) return std::nullopt;
  const auto* ref = std::get_if<doc::ObjRef>(&*value);
  if (!ref || ref->type != type) return std::nullopt;
  return ref->id;
}

std::optional<doc::Scalar> scalar_at(const doc::Document& document, doc::ObjId obj,
                                     std::string_view key) {
  auto value = document.get(obj, key);
  if (!value) return std::nullopt;
  auto* scalar = std::get_if<doc::Scalar>(&*value);
  if (!scalar) return std::nullopt;
  return std::move(*scalar);
}

std::string string_at(const doc::Document& document, doc::ObjId obj, std::string_view key) {
  auto scalar = scalar_at(document, obj, key);
  if (!scalar) return {};
  auto* text = std::get_if<std::string>(&*scalar);
  return text ? std::move(*text) : std::string();
}

// Truncates toward zero, saturating at the signed 64-bit limits (NaN is 0).
std::int64_t saturating_integer(double value) {
  if (std::isnan(value)) return 0;
  constexpr double limit = 9223372036854775808.0;  // 2^63
  if (value >= limit) return std::numeric_limits<std::int64_t>::max();
  if (value < -limit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

// Any integer-like scalar keeps its low 16 bits, as a stored 70000 reads as
// 4464; anything else is 0.
std::uint16_t port_at(const doc::Document& document, doc::ObjId obj) {
  const auto scalar = scalar_at(document, obj, "port");
  if (!scalar) return 0;
  const auto low_bits = [](std::int64_t v) {
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(v) & 0xFFFFu);
  };
  if (const auto* v = std::get_if<std::int64_t>(&*scalar)) return low_bits(*v);
  if (const auto* v = std::get_if<std::uint64_t>(&*scalar)) {
    return static_cast<std::uint16_t>(*v & 0xFFFFu);
  }
  if (const auto* v = std::get_if<doc::Counter>(&*scalar)) return low_bits(v->value);
  if (const auto* v = std::get_if<doc::Timestamp>(&*scalar)) return low_bits(v->millis);
  if (const auto* v = std::get_if<double>(&*scalar)) return low_bits(saturating_integer(*v));
  return 0;
}

bool favorite_at(const doc::Document& document, doc::ObjId obj) {
  const auto scalar = scalar_at(document, obj, "favorite");
  if (!scalar) return false;
  const auto* flag = std::get_if<bool>(&*scalar);
  return flag && *flag;
}

std::string name_at(const doc::Document& document, doc::ObjId obj) {
  const auto text = object_at(document, obj, "name", doc::ObjType::Text);
  if (!text) return {};
  auto content = document.text(*text);
  return content ? std::move(*content) : std::string();
}

ConnectionProfile read_profile(const doc::Document& document, const ConnectionId& id,
                               doc::ObjId obj) {
  return ConnectionProfile{
      .id = id,
      .name = name_at(document, obj),
      .host = string_at(document, obj, "host"),
      .port = port_at(document, obj),
      .user = string_at(document, obj, "user"),
      .group = string_at(document, obj, "group"),
      .kind = kind_from_text(string_at(document, obj, "kind")),
      .auth = auth_from_label(string_at(document, obj, "auth")),
      .favorite = favorite_at(document, obj),
      .last_used = string_at(document, obj, "last_used"),
      .presence = presence_from_text(string_at(document, obj, "presence")),
  };
}

// Calls `visit(id, map)` for every well-formed entry in store order until it
// returns true.
template <class Visit>
void for_each_connection(const doc::Document& document, Visit visit) {
  const auto connections = object_at(document, doc::root, connections_key, doc::ObjType::Map);
  if (!connections) return;
  for (const auto& [key, value] : document.entries(*connections)) {
    const auto id = ConnectionId::parse(key);
    if (!id) continue;
    const auto* ref = std::get_if<doc::ObjRef>(&value);
    if (ref == nullptr || ref->type != doc::ObjType::Map) continue;
    if (visit(*id, ref->id)) return;
  }
}

// Puts the scalar only when the stored value is not already the same scalar.
void put_if_changed(doc::Document& document, doc::ObjId obj, std::string_view key,
                    doc::Scalar value) {
  if (scalar_at(document, obj, key) == value) return;
  if (!document.put(obj, key, std::move(value))) {
    invariant_broken("put on a connection map never fails");
  }
}

doc::ObjId name_text(doc::Document& document, doc::ObjId connection) {
  if (auto text = object_at(document, connection, "name", doc::ObjType::Text)) return *text;
  auto created = document.put_object(connection, "name", doc::ObjType::Text);
  if (!created) invariant_broken("put_object name never fails");
  return *created;
}

void set_name(doc::Document& document, doc::ObjId connection, std::string_view name) {
  // The outcome is not examined: a name the store refuses (not UTF-8) keeps
  // the stored one rather than stopping anything.
  (void)kova::doc::splice_text_diffed(document, name_text(document, connection), name);
}

}  // namespace

std::vector<ConnectionProfile> load_connections(const doc::Document& document) {
  std::vector<ConnectionProfile> profiles;
  for_each_connection(document, [&](const ConnectionId& id, doc::ObjId obj) {
    profiles.push_back(read_profile(document, id, obj));
    return false;
  });
  return profiles;
}

std::optional<ConnectionProfile> find_connection(const doc::Document& document,
                                                 const ConnectionId& id) {
  std::optional<ConnectionProfile> found;
  for_each_connection(document, [&](const ConnectionId& key_id, doc::ObjId obj) {
    if (key_id != id) return false;
    found = read_profile(document, id, obj);
    return true;
  });
  return found;
}

doc::ObjId ensure_connections_map(doc::Document& document) {
  if (auto map = object_at(document, doc::root, connections_key, doc::ObjType::Map)) return *map;
  auto created = document.put_object(doc::root, connections_key, doc::ObjType::Map);
  if (!created) invariant_broken("put_object connections on root never fails");
  return *created;
}

void write_profile(doc::Document& document, const ConnectionProfile& profile) {
  const auto connections = ensure_connections_map(document);
  const auto key = profile.id.to_string();
  auto connection = object_at(document, connections, key, doc::ObjType::Map);
  if (!connection) {
    auto created = document.put_object(connections, key, doc::ObjType::Map);
    if (!created) invariant_broken("put_object connection map never fails");
    connection = *created;
  }
  set_name(document, *connection, profile.name);
  put_if_changed(document, *connection, "host", profile.host);
  put_if_changed(document, *connection, "port", std::int64_t{profile.port});
  put_if_changed(document, *connection, "user", profile.user);
  put_if_changed(document, *connection, "kind", std::string(kind_document_text(profile.kind)));
  put_if_changed(document, *connection, "auth", std::string(auth_label(profile.auth)));
  put_if_changed(document, *connection, "last_used", profile.last_used);
  put_if_changed(document, *connection, "presence",
                 std::string(presence_document_text(profile.presence)));
  put_if_changed(document, *connection, "group", profile.group);
  put_if_changed(document, *connection, "favorite", profile.favorite);
}

void write_rename(doc::Document& document, const ConnectionId& id, std::string_view name) {
  const auto connections = ensure_connections_map(document);
  const auto connection = object_at(document, connections, id.to_string(), doc::ObjType::Map);
  if (!connection) return;
  set_name(document, *connection, name);
}

void write_favorite(doc::Document& document, const ConnectionId& id, bool favorite) {
  const auto connections = ensure_connections_map(document);
  const auto connection = object_at(document, connections, id.to_string(), doc::ObjType::Map);
  if (!connection) return;
  put_if_changed(document, *connection, "favorite", favorite);
}

void write_delete(doc::Document& document, const ConnectionId& id) {
  const auto connections = ensure_connections_map(document);
  // A key that is not there is the only expected failure, and it means the
  // connection is already gone.
  (void)document.delete_key(connections, id.to_string());
}

}  // namespace remote::profiles
