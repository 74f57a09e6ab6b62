#include "automation/ctl.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>

#include "automation/endpoint.h"
#include "automation/limits.h"
#include "automation/protocol.h"

namespace kova::automation {

namespace {

using nlohmann::json;
using Args = std::span<const std::string_view>;

struct Call {
  std::string method;
  json fields = json::object();
};

std::string str(std::string_view v) { return std::string(v); }

std::optional<int> parse_class(std::string_view text) {
  if (text == "0" || text == "none") return 0;
  if (text == "1" || text == "background") return 1;
  if (text == "2" || text == "view") return 2;
  return std::nullopt;
}

// The request a command line asks for, or nothing for a usage error.
std::optional<Call> parse_call(Args args) {
  if (args.empty()) return std::nullopt;
  const std::string_view sub = args[0];
  const Args rest = args.subspan(1);
  Call call{str(sub)};
  if (sub == "resources" || sub == "connections" || sub == "tree") {
    if (!rest.empty()) return std::nullopt;
    return call;
  }
  if (sub == "invoke") {
    if (rest.size() != 2 && !(rest.size() == 4 && rest[2] == "--text")) return std::nullopt;
    call.fields = {{"resource", str(rest[0])}, {"action", str(rest[1])}};
    if (rest.size() == 4) call.fields["text"] = str(rest[3]);
    return call;
  }
  if (sub == "execute" || sub == "start") {
    if (rest.size() != 2) return std::nullopt;
    const auto cls = parse_class(rest[0]);
    if (!cls) return std::nullopt;
    call.fields = {{"class", *cls}, {"json", str(rest[1])}};
    return call;
  }
  if (sub == "poll") {
    if (rest.empty() || rest.size() > 2 || (rest.size() == 2 && rest[1] != "--cancel")) return std::nullopt;
    call.fields = {{"invocation", str(rest[0])}, {"cancel", rest.size() == 2}};
    return call;
  }
  if (sub == "change") {
    if (rest.size() != 1) return std::nullopt;
    call.fields = {{"json", str(rest[0])}};
    return call;
  }
  if (sub == "act") {
    if (rest.size() != 2 && rest.size() != 3) return std::nullopt;
    call.fields = {{"node", str(rest[0])}, {"action", str(rest[1])}};
    if (rest.size() == 3) call.fields["value"] = str(rest[2]);
    return call;
  }
  if (sub == "snapshot") {
    if (rest.size() != 1 || rest[0].empty()) return std::nullopt;
    std::error_code ec;
    // The program's working directory is not ours: send an absolute path.
    const auto path = std::filesystem::absolute(std::filesystem::path(rest[0]), ec);
    if (ec) return std::nullopt;
    call.fields = {{"path", path.string()}};
    return call;
  }
  return std::nullopt;
}

struct Exchange {
  std::string reply;
  std::string unreachable;  // set when no program could be reached
};

Exchange round_trip(const std::filesystem::path& path, const std::string& line) {
  const std::string text = path.string();
  if (text.size() > max_socket_path_bytes) return {{}, "socket path " + text + " is too long"};
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, text.data(), text.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return {{}, std::string("socket: ") + std::strerror(errno)};
  Exchange out;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    out.unreachable = "no running program answers at " + text + ": " + std::strerror(errno);
    ::close(fd);
    return out;
  }
  for (std::size_t sent = 0; sent < line.size();) {
    const ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      out.unreachable = "the program at " + text + " closed the connection: " + std::strerror(errno);
      ::close(fd);
      return out;
    }
    sent += static_cast<std::size_t>(n);
  }
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      out.unreachable = "the program at " + text + " closed the connection without answering";
      break;
    }
    const std::string_view got(chunk, static_cast<std::size_t>(n));
    const auto nl = got.find('\n');
    out.reply.append(got.substr(0, nl));
    if (nl != std::string_view::npos) break;
    if (out.reply.size() > max_reply_line_bytes) {
      out.unreachable = "the program at " + text + " sent an over-long reply";
      break;
    }
  }
  ::close(fd);
  if (!out.unreachable.empty()) out.reply.clear();
  return out;
}

// Indented for people, members kept in the program's order.
std::string pretty(const std::string& json_text) {
  const auto value = nlohmann::ordered_json::parse(json_text, nullptr, false);
  if (value.is_discarded()) return json_text + "\n";
  return value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string ctl_usage_text() {
  return "usage: kova-remote ctl resources\n"
         "       kova-remote ctl invoke RESOURCE ACTION [--text TEXT]\n"
         "       kova-remote ctl execute CLASS JSON\n"
         "       kova-remote ctl start CLASS JSON\n"
         "       kova-remote ctl poll INVOCATION [--cancel]\n"
         "       kova-remote ctl change JSON\n"
         "       kova-remote ctl connections\n"
         "       kova-remote ctl tree\n"
         "       kova-remote ctl act NODE ACTION [VALUE]\n"
         "       kova-remote ctl snapshot PATH\n"
         "CLASS is 1 (background) or 2 (view); ACTION of act is activate, focus, toggle,\n"
         "set-value or scroll-into-view. Exit status: 0 success, 1 the program answered\n"
         "with a failure, 2 usage error, 3 no running program could be reached.\n";
}

CtlResult run_ctl(std::string_view app_id, Args args) {
  const auto call = parse_call(args);
  if (!call) return {ctl_usage, {}, ctl_usage_text()};
  const auto path = endpoint_path(app_id);
  if (!path) return {ctl_unreachable, {}, path.error() + "\n"};
  const Exchange ex = round_trip(*path, request_line(call->method, call->fields.dump(), 1));
  if (!ex.unreachable.empty()) return {ctl_unreachable, {}, ex.unreachable + "\n"};
  const auto reply = parse_reply(ex.reply);
  if (!reply) return {ctl_failed, {}, "unreadable answer: " + reply.error() + "\n"};
  CtlResult result{reply->ok ? ctl_ok : ctl_failed, {}, {}};
  if (reply->ok || reply->result_json != "null") result.out = pretty(reply->result_json);
  if (!reply->ok) {
    result.err = reply->error_message.empty() ? reply->error_code : reply->error_message;
    if (!reply->error_code.empty() && !reply->error_message.empty()) result.err += " (" + reply->error_code + ")";
    result.err += "\n";
  }
  return result;
}

int ctl_main(Args args) {
  const CtlResult r = run_ctl(ctl_app_id, args);
  std::fwrite(r.out.data(), 1, r.out.size(), stdout);
  std::fwrite(r.err.data(), 1, r.err.size(), stderr);
  std::fflush(stdout);
  return r.status;
}

}  // namespace kova::automation
