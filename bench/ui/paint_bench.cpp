// One full paint of the list screen with 100 and 10,000 saved connections,
// a search keystroke over 10,000, and a headless start to its first
// snapshot. The paint should cost the rows on screen, not the list length.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/remote_app.h"
#include "ui_toolkit/canvas.h"

extern char** environ;

namespace {

using remote::profiles::ConnectionKind;
using remote::profiles::ConnectionProfile;

std::vector<ConnectionProfile> profiles(std::size_t n) {
  std::vector<ConnectionProfile> out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    ConnectionProfile p;
    p.id = remote::profiles::ConnectionId::random();
    p.name = "machine " + std::to_string(i);
    p.host = "host-" + std::to_string(i) + ".lab";
    p.port = 22;
    p.user = "admin";
    p.group = i % 3 == 0 ? "lab" : "office";
    p.kind = i % 2 == 0 ? ConnectionKind::Ssh : ConnectionKind::Vnc;
    p.favorite = i % 17 == 0;
    p.last_used = "2h ago";
    out.push_back(std::move(p));
  }
  return out;
}

struct Screen {
  remote::app::RemoteApp app;
  kova::doc::Document document;
  kova::ui::Canvas canvas;

  explicit Screen(std::size_t n)
      : app(profiles(n), {}), canvas(*kova::ui::Canvas::create({1280, 800}, 1)) {
    app.document_changed(document);
    app.layout(kova::ui::Rect::from_xywh(0, 0, 1280, 800));
    app.set_reduced_motion(true);
    paint();
  }
  void paint() {
    kova::ui::Painter painter(canvas);
    app.paint(painter);
  }
};

void list_paint(benchmark::State& state) {
  Screen screen(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state)
    screen.paint();
}
BENCHMARK(list_paint)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Typing one character into the focused search field and painting the
// result; the visible list is rebuilt each time because the text changes.
void search_keystroke(benchmark::State& state) {
  Screen screen(10000);
  screen.app.apply(remote::app::msg::FocusField{remote::app::FormField::Search}, screen.document);
  bool add = true;
  for (auto _ : state) {
    kova::ui::KeyEvent key;
    if (add) {
      key.key = kova::ui::Key::Character;
      key.character = U'9';
      key.text = "9";
    } else {
      key.key = kova::ui::Key::Backspace;
    }
    add = !add;
    screen.app.handle_event(key);
    screen.paint();
  }
}
BENCHMARK(search_keystroke)->Unit(benchmark::kMicrosecond);

// kova-remote --headless --snapshot from exec to exit, sample list.
void headless_start_to_snapshot(benchmark::State& state) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kova-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string png = (dir / "x.png").string();
  std::vector<std::string> env_store{"XDG_STATE_HOME=" + dir.string(), "KOVA_REMOTE_SAMPLE=1",
                                     "PATH=/usr/bin:/bin"};
  std::vector<char*> envp;
  for (auto& e : env_store)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_store{KOVA_REMOTE_PROGRAM, "--headless", "--snapshot", png};
  std::vector<char*> argv;
  for (auto& a : argv_store)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
      state.SkipWithError("cannot start kova-remote");
      break;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("kova-remote failed");
      break;
    }
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(headless_start_to_snapshot)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
