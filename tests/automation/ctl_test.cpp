#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "automation/ctl.h"
#include "fixtures.h"

namespace kova::automation::testing {
namespace {

// Serves the endpoint on its own thread while the client blocks in run_ctl.
class ServedEndpoint {
 public:
  explicit ServedEndpoint(const std::filesystem::path& path) : server_(start_server(path)) {
    host.listed = sample_resources();
    if (!server_) return;
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd p{server_->fd(), POLLIN, 0};
        ::poll(&p, 1, 10);
        server_->serve_ready(host);
      }
    });
  }
  ~ServedEndpoint() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool running() const { return server_ != nullptr; }
  // Read only after the client returned: the serving thread is then idle
  // between requests.
  FakeHost host;

 private:
  std::unique_ptr<Server> server_;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

CtlResult ctl(std::initializer_list<std::string_view> args) {
  const std::vector<std::string_view> v(args);
  return run_ctl("test.app", v);
}

TEST(Ctl, EachSubcommandsExitStatus) {
  RuntimeDir dir;
  ServedEndpoint endpoint(dir.socket());
  ASSERT_TRUE(endpoint.running());
  endpoint.host.poll_answers = {Outcome::completed()};
  struct Case {
    const char* name;
    std::vector<std::string_view> args;
    int status;
    const char* out_part;
    const char* err_part;
  };
  const Case cases[] = {
      {"resources", {"resources"}, ctl_ok, "\"kind\": \"remote.connections\"", ""},
      {"connections", {"connections"}, ctl_ok, "\"name\": \"Build Box\"", ""},
      {"tree", {"tree"}, ctl_ok, "\"role\": \"window\"", ""},
      {"act", {"act", "remote.connect", "activate"}, ctl_ok, "\"handled\": true", ""},
      {"act value", {"act", "remote.field:port", "set-value", "12"}, ctl_ok, "\"handled\": true", ""},
      {"snapshot", {"snapshot", "/tmp/shot.png"}, ctl_ok, "/tmp/shot.png", ""},
      {"change", {"change", R"({"DeleteConnection":"1"})"}, ctl_ok, "{}", ""},
      {"execute", {"execute", "2", "\"ShowConnections\""}, ctl_ok, "\"status\": \"completed\"", ""},
      {"start", {"start", "1", R"({"Connect":"1"})"}, ctl_ok, "\"status\": \"pending\"", ""},
      {"invoke background", {"invoke", "remote.connection:1", "connect"}, ctl_ok, "\"status\": \"completed\"", ""},
      {"invoke with text", {"invoke", "remote.connection:1", "rename", "--text", "Lab"}, ctl_ok, "{}", ""},
      {"invoke unavailable", {"invoke", "remote.connection:1", "send"}, ctl_failed, "",
       "Text input requires a connected SSH terminal (terminal_not_connected)"},
      {"poll no news", {"poll", "automation-9"}, ctl_ok, "\"status\": \"no_news\"", ""},
      {"no arguments", {}, ctl_usage, "", "usage:"},
      {"unknown subcommand", {"reboot"}, ctl_usage, "", "usage:"},
      {"invoke missing action", {"invoke", "r"}, ctl_usage, "", "usage:"},
      {"invoke bad flag", {"invoke", "r", "a", "--txt", "x"}, ctl_usage, "", "usage:"},
      {"execute bad class", {"execute", "7", "{}"}, ctl_usage, "", "usage:"},
      {"poll bad flag", {"poll", "i", "--now"}, ctl_usage, "", "usage:"},
      {"resources extra", {"resources", "x"}, ctl_usage, "", "usage:"},
      {"act missing action", {"act", "node"}, ctl_usage, "", "usage:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CtlResult r = run_ctl("test.app", c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.out.find(c.out_part), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.err_part), std::string::npos) << r.err;
  }
}

TEST(Ctl, AFailedOutcomeExitsOneWithItsMessage) {
  RuntimeDir dir;
  ServedEndpoint endpoint(dir.socket());
  ASSERT_TRUE(endpoint.running());
  endpoint.host.start_answer = Outcome::failed("another remote operation is still running");
  const CtlResult r = ctl({"start", "background", R"({"Connect":"1"})"});
  EXPECT_EQ(r.status, ctl_failed);
  EXPECT_NE(r.out.find("\"status\": \"failed\""), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "another remote operation is still running (failed)\n");
}

TEST(Ctl, SnapshotSendsAnAbsolutePath) {
  RuntimeDir dir;
  ServedEndpoint endpoint(dir.socket());
  ASSERT_TRUE(endpoint.running());
  const CtlResult r = ctl({"snapshot", "shot.png"});
  EXPECT_EQ(r.status, ctl_ok) << r.err;
  const auto expected = (std::filesystem::current_path() / "shot.png").string();
  EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
}

TEST(Ctl, NoRunningProgramExitsThree) {
  RuntimeDir dir;
  for (const auto& args : {std::vector<std::string_view>{"resources"}, {"connections"}, {"tree"}}) {
    const CtlResult r = run_ctl("test.app", args);
    EXPECT_EQ(r.status, ctl_unreachable);
    EXPECT_NE(r.err.find("no running program answers at " + dir.socket().string()), std::string::npos) << r.err;
  }
  ::unsetenv("XDG_RUNTIME_DIR");
  ::unsetenv("XDG_STATE_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(ctl({"resources"}).status, ctl_unreachable);
}

}  // namespace
}  // namespace kova::automation::testing
