#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "document/store.h"
#include "shell/event_loop.h"
#include "shell/launch.h"
#include "shell/options.h"
#include "shell/persist.h"
#include "shell/window_frontend.h"
#include "ui_toolkit/frontend.h"

namespace {

namespace fs = std::filesystem;
using namespace kova::shell;
namespace doc = kova::doc;

struct TempDir {
  fs::path path;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "kova-shell-XXXXXX").string();
    path = ::mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Ends a loop that would otherwise hang when the behaviour under test is
// broken; the test then fails on its own assertions.
struct HangGuard {
  std::atomic<bool> done{false};
  std::thread thread;
  HangGuard()
      : thread([this] {
          for (int i = 0; i < 300 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
          if (!done) ::kill(::getpid(), SIGTERM);
        }) {}
  ~HangGuard() {
    done = true;
    thread.join();
  }
};

TEST(LaunchOptions, Table) {
  const struct {
    const char* name;
    std::vector<std::string_view> args;
    std::function<void(LaunchOptions&)> expect;
  } ok[] = {
      {"none", {}, [](LaunchOptions&) {}},
      {"headless", {"--headless"}, [](LaunchOptions& o) { o.headless = true; }},
      {"review state", {"--review-state", "form"}, [](LaunchOptions& o) { o.review_state = "form"; }},
      {"inline value", {"--size=800x600"}, [](LaunchOptions& o) { o.size = WindowSize{800, 600}; }},
      {"scale", {"--scale", "1.5"}, [](LaunchOptions& o) { o.scale = 1.5; }},
      {"snapshot", {"--snapshot", "/tmp/x.png"}, [](LaunchOptions& o) { o.snapshot = "/tmp/x.png"; }},
      {"help", {"-h"}, [](LaunchOptions& o) { o.help = true; }},
      {"largest size", {"--size", "16384x1"}, [](LaunchOptions& o) { o.size = WindowSize{16384, 1}; }},
  };
  for (const auto& c : ok) {
    SCOPED_TRACE(c.name);
    const auto parsed = parse_launch_options(c.args);
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    LaunchOptions expected;
    c.expect(expected);
    EXPECT_EQ(*parsed, expected);
  }
  const struct {
    const char* name;
    std::vector<std::string_view> args;
    std::string error;
  } bad[] = {
      {"unknown", {"--frobnicate"}, "unknown argument: --frobnicate"},
      {"stray word", {"doc"}, "unknown argument: doc"},
      {"missing value", {"--size"}, "option --size needs a value"},
      {"zero side", {"--size", "0x600"}, "--size wants WIDTHxHEIGHT with each side from 1 to 16384, not 0x600"},
      {"too large", {"--size", "16385x600"}, "--size wants WIDTHxHEIGHT with each side from 1 to 16384, not 16385x600"},
      {"sign", {"--size", "+800x600"}, "--size wants WIDTHxHEIGHT with each side from 1 to 16384, not +800x600"},
      {"scale too small", {"--scale", "0.1"}, "--scale wants a number from 0.25 to 8, not 0.1"},
      {"scale not a number", {"--scale", "nan"}, "--scale wants a number from 0.25 to 8, not nan"},
      {"repeated", {"--review-state", "a", "--review-state", "b"}, "option --review-state given twice"},
      {"flag with value", {"--headless=1"}, "option --headless takes no value"},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.name);
    const auto parsed = parse_launch_options(c.args);
    ASSERT_FALSE(parsed.has_value());
    EXPECT_EQ(parsed.error(), c.error);
  }
}

// Records what the loop asks of it; `on_change` and `on_paint` let a test
// end the loop at the moment it has seen what it waited for.
struct FakeApp : Application {
  std::string_view type_name() const override { return "test::FakeApp"; }
  void document_changed(doc::Document& d) override {
    ++changes;
    if (on_change) on_change(d);
  }
  void paint(kova::ui::Painter&) override {
    ++paints;
    if (on_paint) on_paint();
  }
  bool handle_event(const kova::ui::Event& e) override {
    events.push_back(e.index());
    if (on_event) on_event(e);
    return true;
  }
  kova::shell::NavigationSplit layout(const kova::ui::Rect& box) override {
    laid_out = box;
    return {};
  }
  bool needs_redraw() const override { return redraw.load(); }
  void did_draw() override {
    redraw = false;
    ++draws_done;
  }
  void set_waker(std::function<void()> w) override { waker = std::move(w); }
  void platform_notice(std::string_view text) override { notice = text; }

  int changes = 0;
  int paints = 0;
  std::atomic<bool> redraw{false};
  std::atomic<int> draws_done{0};
  std::function<void()> waker;
  std::function<void(doc::Document&)> on_change;
  std::function<void()> on_paint;
  std::function<void(const kova::ui::Event&)> on_event;
  std::vector<std::size_t> events;
  kova::ui::Rect laid_out;
  std::string notice;
};

struct LoopFixture : ::testing::Test {
  void SetUp() override {
    block_quit_signals();
    auto s = LoopSources::create();
    ASSERT_TRUE(s.has_value()) << s.error();
    sources.emplace(std::move(*s));
  }
  std::optional<LoopSources> sources;
  TempDir dir;
};

TEST_F(LoopFixture, SigtermEndsTheLoopCleanly) {
  FakeApp app;
  auto store = doc::Store::in_memory();
  HeadlessFrontend frontend({64, 48}, 1.0, std::nullopt);
  app.on_paint = [] { ::kill(::getpid(), SIGTERM); };
  HangGuard guard;
  run_loop(app, store, *sources, frontend);
  EXPECT_EQ(app.paints, 1);
}

TEST_F(LoopFixture, WorkerWakeUpLeadsToAFrame) {
  FakeApp app;
  app.set_waker(sources->waker());
  auto store = doc::Store::in_memory();
  HeadlessFrontend frontend({64, 48}, 1.0, std::nullopt);
  std::thread worker;
  app.on_paint = [&] {
    if (app.paints == 1) {
      // A worker hands something over after the frame is done.
      worker = std::thread([&] {
        while (app.draws_done == 0) std::this_thread::yield();
        app.redraw = true;
        app.waker();
      });
    } else {
      ::kill(::getpid(), SIGTERM);
    }
  };
  HangGuard guard;
  run_loop(app, store, *sources, frontend);
  worker.join();
  EXPECT_EQ(app.paints, 2);
}

TEST_F(LoopFixture, ChangeByAnotherProcessReachesTheApplication) {
  const fs::path file = dir.path / "doc.sqlite";
  auto mine = doc::Store::open(file);
  ASSERT_TRUE(mine.has_value()) << mine.error().message;
  FakeApp app;
  HeadlessFrontend frontend({64, 48}, 1.0, std::nullopt);
  std::optional<doc::Value> seen;
  app.on_change = [&](doc::Document& d) {
    seen = d.get(doc::root, "k");
    ::kill(::getpid(), SIGTERM);
  };
  app.on_paint = [&] {
    if (app.paints != 1) return;
    // A second store on the same file stands for the other process.
    auto other = doc::Store::open(file);
    ASSERT_TRUE(other.has_value());
    ASSERT_TRUE(other->doc().put(doc::root, "k", doc::Scalar{std::string{"v"}}));
    ASSERT_TRUE(other->commit("other"));
  };
  HangGuard guard;
  run_loop(app, *mine, *sources, frontend);
  EXPECT_EQ(app.changes, 1);
  EXPECT_EQ(seen, (doc::Value{doc::Scalar{std::string{"v"}}}));
}

TEST_F(LoopFixture, SnapshotWritesOnePngAndFinishes) {
  FakeApp app;
  auto store = doc::Store::in_memory();
  const fs::path png = dir.path / "shot.png";
  HeadlessFrontend frontend({64, 48}, 2.0, png);
  HangGuard guard;
  run_loop(app, store, *sources, frontend);
  EXPECT_EQ(app.paints, 1);
  EXPECT_FALSE(frontend.error());
  EXPECT_EQ(read_file(png).substr(1, 3), "PNG");
}

// The window path, driven through the toolkit's headless frontend: input
// reaches the application, descriptors wake the toolkit's wait through the
// helper thread, and a quit event ends the loop.
TEST_F(LoopFixture, WindowFrontendDeliversInputDocumentChangesAndQuit) {
  auto ui = kova::ui::HeadlessFrontend::create({320, 200}, 1.0);
  ASSERT_TRUE(ui.has_value());
  kova::ui::HeadlessFrontend* toolkit = ui->get();
  UiFrontendAdapter frontend(std::move(*ui));
  const fs::path file = dir.path / "doc.sqlite";
  auto mine = doc::Store::open(file);
  ASSERT_TRUE(mine.has_value()) << mine.error().message;
  FakeApp app;
  app.on_paint = [&] {
    if (app.paints != 1) return;
    toolkit->push_event(kova::ui::KeyEvent{});
  };
  app.on_event = [&](const kova::ui::Event&) {
    auto other = doc::Store::open(file);
    ASSERT_TRUE(other.has_value());
    ASSERT_TRUE(other->doc().put(doc::root, "k", doc::Scalar{true}));
    ASSERT_TRUE(other->commit("other"));
  };
  app.on_change = [&](doc::Document&) { toolkit->push_event(kova::ui::QuitEvent{}); };
  HangGuard guard;
  run_loop(app, *mine, *sources, frontend);
  EXPECT_TRUE(frontend.finished());
  EXPECT_EQ(app.events, std::vector<std::size_t>{0});  // the key event only
  EXPECT_EQ(app.changes, 1);
  EXPECT_EQ(app.laid_out, kova::ui::Rect::from_xywh(0, 0, 320, 200));
  EXPECT_GE(toolkit->presented(), 1);
}

TEST(Persist, DamagedFileIsLeftAloneAndNoticed) {
  TempDir dir;
  const fs::path file = dir.path / "doc.sqlite";
  const std::string garbage = "this is not a database, and it must stay exactly like this\n";
  std::ofstream(file) << garbage;
  auto opened = persist::open_path(file);
  ASSERT_TRUE(opened.notice.has_value());
  EXPECT_NE(opened.notice->find(file.string()), std::string::npos);
  EXPECT_FALSE(opened.store.path().has_value());
  ASSERT_TRUE(opened.store.doc().put(doc::root, "k", doc::Scalar{true}));
  ASSERT_TRUE(opened.store.commit("in memory"));
  EXPECT_EQ(read_file(file), garbage);
}

TEST(Persist, DocumentPathFollowsTheStateDirectory) {
  ::setenv("XDG_STATE_HOME", "/somewhere/state", 1);
  EXPECT_EQ(persist::document_path("so.kova.remote"),
            fs::path("/somewhere/state/kova/documents/so.kova.remote.sqlite"));
  ::unsetenv("XDG_STATE_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(persist::document_path("so.kova.remote"), std::nullopt);
  EXPECT_TRUE(persist::open("so.kova.remote").notice.has_value());
}

struct LaunchRecord {
  bool installed = false;
  std::optional<LaunchOptions> options;
  int changes = 0;
  std::string notice;
};

launch::LaunchDescription describe(LaunchRecord& record) {
  launch::LaunchDescription desc;
  desc.app_id = "test.app";
  desc.usage = "usage: test [--headless]";
  desc.install_registry = [&record](App& app) {
    record.installed = true;
    EXPECT_TRUE(app.action_registry_mut().type_names().empty());
  };
  desc.factory = [&record](const LaunchOptions& options) -> std::unique_ptr<Application> {
    record.options = options;
    auto app = std::make_unique<FakeApp>();
    app->on_change = [&record](doc::Document&) { ++record.changes; };
    return app;
  };
  return desc;
}

TEST(Launch, HelpAndBadArguments) {
  LaunchRecord record;
  const auto desc = describe(record);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(launch::run(desc, std::vector<std::string_view>{"--help"}), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "usage: test [--headless]\n");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(launch::run(desc, std::vector<std::string_view>{"--bogus"}), 2);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "unknown argument: --bogus\nusage: test [--headless]\n");
  EXPECT_FALSE(record.installed);
}

TEST(Launch, HeadlessSnapshotRunsTheWholeStartUp) {
  TempDir dir;
  ::setenv("XDG_STATE_HOME", dir.path.c_str(), 1);
  LaunchRecord record;
  const auto desc = describe(record);
  const std::string png = (dir.path / "shot.png").string();
  const std::vector<std::string_view> args{"--headless", "--review-state", "form", "--snapshot", png};
  HangGuard guard;
  EXPECT_EQ(launch::run(desc, args), 0);
  EXPECT_TRUE(record.installed);
  ASSERT_TRUE(record.options.has_value());
  EXPECT_EQ(record.options->review_state, "form");
  EXPECT_EQ(record.changes, 1);
  EXPECT_TRUE(fs::exists(dir.path / "kova" / "documents" / "test.app.sqlite"));
  EXPECT_TRUE(fs::exists(png));
}

}  // namespace
