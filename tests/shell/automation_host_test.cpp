// The automation endpoint served by the shell's own loop through
// ShellAutomationHost: clients on other threads (the real command-line
// client, or a raw socket) while the loop runs on this thread, as in the
// running program.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "action_host/registry.h"
#include "automation/ctl.h"
#include "automation/endpoint.h"
#include "automation/server.h"
#include "document/store.h"
#include "shell/automation_host.h"
#include "shell/event_loop.h"

namespace {

namespace fs = std::filesystem;
using namespace kova::shell;
using kova::actions::operation::Invocation;
using kova::actions::operation::Outcome;
using kova::actions::resource::ActionSpec;
using kova::actions::resource::OperationClass;
using kova::actions::resource::Resource;
using namespace std::chrono_literals;

constexpr std::string_view app_id = "test.shell.app";

// A private runtime directory for the endpoint, removed afterwards.
struct RuntimeDir {
  fs::path path;
  RuntimeDir() {
    std::string tmpl = (fs::temp_directory_path() / "kova-shell-automation-XXXXXX").string();
    path = ::mkdtemp(tmpl.data());
    ::setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
  }
  ~RuntimeDir() { fs::remove_all(path); }
};

// Ends the loop if the behaviour under test never happens; the test then
// fails on its own assertions.
struct HangGuard {
  std::atomic<bool> done{false};
  std::thread thread;
  HangGuard()
      : thread([this] {
          for (int i = 0; i < 300 && !done; ++i) std::this_thread::sleep_for(100ms);
          if (!done) ::kill(::getpid(), SIGTERM);
        }) {}
  ~HangGuard() {
    done = true;
    thread.join();
  }
};

// One background job ("test.job:1" / "run") that finishes after a number of
// polls. Every call the endpoint makes is recorded with the thread and
// whether a frame was being painted at that moment.
struct JobApp final : Application {
  std::string_view type_name() const override { return "test::JobApp"; }
  std::vector<std::string> operation_namespaces() const override { return {"test.op"}; }
  std::vector<Resource> resources(const kova::doc::Document&) override {
    note("resources");
    return {Resource{"test.job", "test.job:1", "Job", {}, {}}.with_action(
        ActionSpec::encoded("run", "Run", {"test.op", R"({"Run":1})"}).with_operation_class(OperationClass::Background))};
  }
  std::optional<std::string> automation_query(std::string_view name, const kova::doc::Document&) override {
    note("query " + std::string(name));
    return "[]";
  }
  Outcome start_operation(const Invocation& inv) override {
    note("start " + inv.type_name + " " + inv.json);
    started = true;
    return Outcome::pending();
  }
  Outcome poll_operation(std::string_view id, bool cancel) override {
    note("poll " + std::string(id) + (cancel ? " cancel" : ""));
    if (cancel) {
      ::kill(::getpid(), SIGTERM);
      return Outcome::cancelled("job cancelled");
    }
    return ++polls >= finish_after ? Outcome::completed() : Outcome::no_news();
  }
  void paint(kova::ui::Painter&) override {
    painting = true;
    ++paints;
    painting = false;
  }

  void note(std::string call) {
    std::lock_guard lock(mutex);
    calls.push_back(std::move(call));
    if (std::this_thread::get_id() != ui_thread) off_thread = true;
    if (painting) during_paint = true;
  }
  std::vector<std::string> recorded() {
    std::lock_guard lock(mutex);
    return calls;
  }

  std::thread::id ui_thread = std::this_thread::get_id();
  int finish_after = 3;
  int polls = 0;
  int paints = 0;
  bool painting = false;
  std::atomic<bool> started = false;
  bool off_thread = false;
  bool during_paint = false;
  std::mutex mutex;
  std::vector<std::string> calls;
};

// The loop with an endpoint, as launch wires them, run on this thread.
struct HostFixture : ::testing::Test {
  void SetUp() override {
    block_quit_signals();
    auto s = LoopSources::create();
    ASSERT_TRUE(s.has_value()) << s.error();
    sources.emplace(std::move(*s));
    auto where = kova::automation::endpoint_path(app_id);
    ASSERT_TRUE(where.has_value()) << where.error();
    auto started = kova::automation::Server::start({*where, ::geteuid(), kova::automation::max_client_outbox_bytes});
    ASSERT_TRUE(started.has_value()) << started.error();
    server = std::move(*started);
  }
  void run() {
    ShellAutomationHost host(app, store, registry, std::string(app_id), {64, 48});
    const AutomationService service{*server, host};
    HeadlessFrontend frontend({64, 48}, 1.0, std::nullopt);
    HangGuard guard;
    run_loop(app, store, *sources, frontend, false, nullptr, &service);
  }
  kova::automation::CtlResult ctl(std::vector<std::string_view> args) {
    return kova::automation::run_ctl(app_id, args);
  }

  RuntimeDir dir;
  std::optional<LoopSources> sources;
  std::unique_ptr<kova::automation::Server> server;
  kova::doc::Store store = kova::doc::Store::in_memory();
  kova::actions::registry::Registry registry;
  JobApp app;
};

// A connected socket that says nothing.
int silent_client() {
  const auto path = kova::automation::endpoint_path(app_id).value();
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.string().size());
  EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  return fd;
}

TEST_F(HostFixture, InvocationsArePolledOnTheUiThreadBetweenFramesUntilTheyFinish) {
  const fs::path shot = dir.path / "shot.png";
  std::vector<kova::automation::CtlResult> results;
  std::thread client([&] {
    // A client that connects and never speaks holds up nobody.
    const int quiet = silent_client();
    results.push_back(ctl({"invoke", "test.job:1", "run"}));
    // The raw entry point names no type: the application's own is used.
    results.push_back(ctl({"start", "background", R"({"Run":2})"}));
    results.push_back(ctl({"connections"}));
    results.push_back(ctl({"snapshot", shot.string()}));
    ::close(quiet);
    ::kill(::getpid(), SIGTERM);
  });
  run();
  client.join();
  ASSERT_EQ(results.size(), 4u);
  const char* expected_out[] = {R"("status": "completed")", R"("status": "pending")", "[]", shot.c_str()};
  for (std::size_t i = 0; i < results.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(results[i].status, kova::automation::ctl_ok) << results[i].err;
    EXPECT_NE(results[i].out.find(expected_out[i]), std::string::npos) << results[i].out;
  }
  const std::vector<std::string> calls = {
      "resources",         R"(start test.op {"Run":1})", "poll automation-1", "poll automation-1",
      "poll automation-1", R"(start test.op {"Run":2})", "query connections"};
  EXPECT_EQ(app.recorded(), calls);
  EXPECT_FALSE(app.off_thread) << "the endpoint called the application from another thread";
  EXPECT_FALSE(app.during_paint) << "a request was served in the middle of a frame";

  // The picture is drawn at the window's size and is private to the user.
  std::ifstream in(shot, std::ios::binary);
  const std::string png{std::istreambuf_iterator<char>(in), {}};
  ASSERT_GE(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  const auto be32 = [&](std::size_t at) {
    return (static_cast<unsigned>(static_cast<unsigned char>(png[at])) << 24) |
           (static_cast<unsigned>(static_cast<unsigned char>(png[at + 1])) << 16) |
           (static_cast<unsigned>(static_cast<unsigned char>(png[at + 2])) << 8) |
           static_cast<unsigned>(static_cast<unsigned char>(png[at + 3]));
  };
  EXPECT_EQ(be32(16), 64u);
  EXPECT_EQ(be32(20), 48u);
  struct stat st{};
  ASSERT_EQ(::stat(shot.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(HostFixture, AClientLeavingMidInvocationCancelsIt) {
  app.finish_after = 1 << 30;
  std::thread client([&] {
    const int fd = silent_client();
    const std::string line = R"({"id":1,"method":"invoke","resource":"test.job:1","action":"run"})" "\n";
    EXPECT_EQ(::send(fd, line.data(), line.size(), MSG_NOSIGNAL), static_cast<ssize_t>(line.size()));
    for (int i = 0; i < 2000 && !app.started; ++i) std::this_thread::sleep_for(5ms);
    ::close(fd);  // the job's cancellation ends the loop (JobApp::poll_operation)
  });
  run();
  client.join();
  const auto calls = app.recorded();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[1], R"(start test.op {"Run":1})");
  EXPECT_EQ(calls.back(), "poll automation-1 cancel");
  EXPECT_FALSE(server->wants_poll());
}

}  // namespace
