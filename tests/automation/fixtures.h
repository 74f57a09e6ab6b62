// A fake application host and helpers that run a real endpoint in a private
// temporary runtime directory.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "automation/host.h"
#include "automation/limits.h"
#include "automation/server.h"

namespace kova::automation::testing {

using actions::operation::Invocation;
using actions::operation::Outcome;
using actions::resource::ActionSpec;
using actions::resource::EncodedInvocation;
using actions::resource::OperationClass;
using actions::resource::Resource;

// Records every call; answers are set by the test.
struct FakeHost final : AutomationHost {
  std::vector<Resource> listed;
  std::vector<std::string> calls;  // "execute <class> <json>", "poll <id> <cancel>", ...
  Outcome execute_answer = Outcome::completed();
  Outcome start_answer = Outcome::pending();
  std::deque<Outcome> poll_answers;  // then no news
  std::optional<std::string> change_error;
  std::optional<std::string> connections = R"([{"name":"Build Box"}])";
  bool act_answer = true;

  std::vector<Resource> resources() override {
    calls.push_back("resources");
    return listed;
  }
  Outcome execute(const Invocation& inv) override {
    calls.push_back("execute " + std::to_string(static_cast<int>(inv.declared)) + " " + inv.json);
    return execute_answer;
  }
  Outcome start(const Invocation& inv) override {
    calls.push_back("start " + std::to_string(static_cast<int>(inv.declared)) + " " + inv.json);
    return start_answer;
  }
  Outcome poll(std::string_view id, bool cancel) override {
    calls.push_back("poll " + std::string(id) + (cancel ? " cancel" : ""));
    if (poll_answers.empty()) return Outcome::no_news();
    Outcome out = poll_answers.front();
    poll_answers.pop_front();
    return out;
  }
  std::expected<void, std::string> change(std::string_view type, std::string_view json) override {
    calls.push_back("change " + std::string(type) + " " + std::string(json));
    if (change_error) return std::unexpected(*change_error);
    return {};
  }
  std::optional<std::string> query(std::string_view name) override {
    calls.push_back("query " + std::string(name));
    return name == "connections" ? connections : std::nullopt;
  }
  std::optional<ui::AccessNode> tree() override {
    calls.push_back("tree");
    ui::AccessNode root;
    root.role = ui::AccessRole::Window;
    root.label = "Remote";
    root.id = "remote.root";
    root.bounds = ui::Rect::from_xywh(0, 0, 1280, 800);
    ui::AccessNode button;
    button.role = ui::AccessRole::Button;
    button.label = "Connect";
    button.id = "remote.connect";
    button.states.focused = true;
    root.children.push_back(button);
    return root;
  }
  bool act(std::string_view node, ui::AccessAction action, const std::optional<std::string>& value) override {
    calls.push_back("act " + std::string(node) + " " + std::string(ui::action_name(action)) +
                    (value ? " " + *value : ""));
    return act_answer;
  }
  std::expected<void, std::string> snapshot(const std::filesystem::path& path) override {
    calls.push_back("snapshot " + path.string());
    return {};
  }
};

// A resource tree with each kind of action.
inline std::vector<Resource> sample_resources() {
  Resource conn =
      Resource{"remote.connection", "remote.connection:1", "Build Box", {}, {}}
             .with_action(ActionSpec::encoded("open", "Open", {"remote.operation", R"({"EditConnection":1})"})
                              .with_operation_class(OperationClass::View))
             .with_action(ActionSpec::encoded("connect", "Connect", {"remote.operation", R"({"Connect":1})"})
                              .with_operation_class(OperationClass::Background)
                              .with_contract({"network", "session"}))
             .with_action(ActionSpec::built("rename", "Rename", {"value", "New name", "connection name", ""},
                                            [](const actions::params::ActionArgs& args) {
                                              return EncodedInvocation{
                                                  "remote.action",
                                                  R"({"RenameConnection":")" + args.text("value").value_or("") +
                                                      R"("})"};
                                            }))
             .with_action(ActionSpec::encoded("delete", "Delete", {"remote.action", R"({"DeleteConnection":1})"})
                              .destructive())
             .with_action(ActionSpec::encoded("send", "Send", {"remote.operation", R"({"SendText":1})"})
                              .with_operation_class(OperationClass::Background)
                              .unavailable_because("terminal_not_connected", "Text input requires a connected SSH terminal"));
  return {Resource{"remote.connections", "remote.connection-list", "Remote connections", {}, {}}.with_child(
      std::move(conn))};
}

// A private runtime directory, set as XDG_RUNTIME_DIR for this process.
class RuntimeDir {
 public:
  RuntimeDir() {
    char tmpl[] = "/tmp/kova-automation-XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    if (!made) throw std::runtime_error("mkdtemp failed");
    path_ = made;
    ::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
  }
  ~RuntimeDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path socket() const { return path_ / "kova" / "test.app.sock"; }

 private:
  std::filesystem::path path_;
};

inline std::unique_ptr<Server> start_server(const std::filesystem::path& path, uid_t uid = ::geteuid(),
                                            std::size_t outbox_bytes = max_client_outbox_bytes) {
  auto server = Server::start({path, uid, outbox_bytes});
  if (!server) {
    ADD_FAILURE() << "server did not start: " << server.error();
    return nullptr;
  }
  return std::move(*server);
}

// A blocking-free test client driven together with the server on one thread.
class Client {
 public:
  explicit Client(const std::filesystem::path& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.string().size());
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~Client() { close(); }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool connected() const { return connected_; }
  int fd() const { return fd_; }
  void shutdown_write() { ::shutdown(fd_, SHUT_WR); }

  // Sends everything, serving the endpoint whenever the socket is full.
  void send(Server& server, AutomationHost& host, std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
      } else if (n < 0 && errno == EAGAIN) {
        server.serve_ready(host);
      } else {
        ADD_FAILURE() << "send failed: " << std::strerror(errno);
        return;
      }
    }
  }

  // Serves the endpoint until this client has a whole line; "" on EOF or
  // when nothing arrives within many rounds.
  std::string read_line(Server& server, AutomationHost& host) {
    for (int round = 0; round < 500; ++round) {
      if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      server.serve_ready(host);
      pollfd p{fd_, POLLIN, 0};
      pollfd s{server.fd(), POLLIN, 0};
      ::poll(&p, 1, 0);
      if (!(p.revents & POLLIN)) ::poll(&s, 1, 20);
      char chunk[65536];
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n == 0) {
        eof_ = true;
        return "";
      }
      if (n > 0) buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    return "";
  }
  bool saw_eof() const { return eof_; }

  std::string request(Server& server, AutomationHost& host, std::string_view line) {
    send(server, host, std::string(line) + "\n");
    return read_line(server, host);
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool eof_ = false;
  std::string buffer_;
};

}  // namespace kova::automation::testing
