// Drives a real SDL window on a private Xvfb display, with keys and clicks
// injected by xdotool as a person would type them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include "ui_toolkit/frontend.h"

extern char** environ;

namespace kova::ui {
namespace {

using namespace std::chrono_literals;

// Runs `argv` and returns its exit status and standard output.
std::pair<int, std::string> run(std::vector<std::string> argv) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {-1, ""};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return {-1, "cannot run " + argv[0] + ": " + std::strerror(rc)};
  }
  std::string text;
  std::array<char, 256> buf;
  ssize_t n;
  while ((n = read(out[0], buf.data(), buf.size())) > 0) text.append(buf.data(), static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

// A private X server on a display it picks itself (-displayfd), so parallel
// tests never collide.
class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    // Give the server the write end without close-on-exec, as fd 3.
    posix_spawn_file_actions_adddup2(&fa, fds[1], 3);
    std::vector<std::string> argv = {"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24",
                                     "-nolisten", "tcp", "-noreset"};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    int rc = posix_spawnp(&pid_, "Xvfb", &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
      error_ = std::string("cannot start Xvfb (install the xvfb package, see scripts/deps): ") + std::strerror(rc);
      pid_ = 0;
      close(fds[0]);
      return;
    }
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(fds[0]);
    if (number.empty()) {
      error_ = "Xvfb did not report a display within 10 seconds";
      return;
    }
    display_ = ":" + number;
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }
  const std::string& error() const { return error_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
  std::string error_;
};

std::string describe(const std::vector<Event>& events) {
  std::ostringstream s;
  for (const auto& e : events) s << e.index() << ' ';
  return s.str();
}

// Collects events until `done` says so or ten seconds pass.
template <typename Done>
std::vector<Event> collect_until(Frontend& f, Done done) {
  std::vector<Event> all;
  auto give_up = Frontend::Clock::now() + 10s;
  while (Frontend::Clock::now() < give_up) {
    for (auto& e : f.wait_events(Frontend::Clock::now() + 100ms)) all.push_back(std::move(e));
    if (done(all)) break;
  }
  return all;
}

TEST(SdlWindow, ReceivesKeysPointerResizeAndWakeUps) {
  Xvfb x;
  ASSERT_TRUE(x.error().empty()) << x.error();
  setenv("DISPLAY", x.display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  auto xdotool = run({"xdotool", "version"});
  ASSERT_EQ(xdotool.first, 0) << "xdotool is missing (install the xdotool package, see scripts/deps): "
                              << xdotool.second;

  WindowOptions options;
  options.title = "kova-ui-window-test";
  options.logical = {320, 200};
  options.scale = 1;
  auto opened = open_window(options);
  ASSERT_TRUE(opened) << opened.error().message;
  Frontend& f = **opened;
  EXPECT_FALSE(f.headless());
  EXPECT_EQ(f.logical_size(), (Size{320, 200}));
  {
    Painter p(f.canvas());
    p.clear(Color::rgb(0x204080));
  }
  f.present();

  auto found = run({"xdotool", "search", "--sync", "--name", "kova-ui-window-test"});
  ASSERT_EQ(found.first, 0) << "window not found";
  std::string id = found.second.substr(0, found.second.find('\n'));
  ASSERT_EQ(run({"xdotool", "windowfocus", "--sync", id}).first, 0);
  ASSERT_EQ(run({"xdotool", "key", "--delay", "20", "x", "ctrl+n", "Escape"}).first, 0);
  ASSERT_EQ(run({"xdotool", "mousemove", "--window", id, "40", "30", "click", "1"}).first, 0);

  auto events = collect_until(f, [](const std::vector<Event>& all) {
    bool released = false;
    for (const auto& e : all) {
      if (auto* b = std::get_if<PointerButtonEvent>(&e); b && !b->pressed) released = true;
    }
    return released;
  });
  std::vector<KeyEvent> presses;
  std::optional<PointerButtonEvent> click;
  for (const auto& e : events) {
    if (auto* k = std::get_if<KeyEvent>(&e); k && k->pressed) presses.push_back(*k);
    if (auto* b = std::get_if<PointerButtonEvent>(&e); b && b->pressed) click = *b;
  }
  auto find = [&](Key key, char32_t ch) -> const KeyEvent* {
    for (const auto& k : presses) {
      if (k.key == key && k.character == ch) return &k;
    }
    return nullptr;
  };
  const KeyEvent* x_key = find(Key::Character, 'x');
  ASSERT_NE(x_key, nullptr) << "events seen: " << describe(events);
  EXPECT_EQ(x_key->text, "x");
  EXPECT_NE(x_key->physical, 0u);
  const KeyEvent* ctrl_n = find(Key::Character, 'n');
  ASSERT_NE(ctrl_n, nullptr);
  EXPECT_TRUE(ctrl_n->modifiers.control());
  EXPECT_TRUE(ctrl_n->text.empty());
  EXPECT_NE(find(Key::Escape, 0), nullptr);
  ASSERT_TRUE(click.has_value());
  EXPECT_EQ(click->button, PointerButton::Primary);
  EXPECT_EQ(click->position, (Point{40, 30}));

  // Text input follows the focused field: off, keys carry no text (they
  // reach shortcuts, not an input method); on again, they do.
  const auto typed = [&](const char* key) -> std::optional<KeyEvent> {
    EXPECT_EQ(run({"xdotool", "key", key}).first, 0);
    const char32_t ch = static_cast<char32_t>(key[0]);
    auto seen = collect_until(f, [ch](const std::vector<Event>& all) {
      for (const auto& e : all)
        if (auto* k = std::get_if<KeyEvent>(&e); k && !k->pressed && k->character == ch) return true;
      return false;
    });
    for (const auto& e : seen)
      if (auto* k = std::get_if<KeyEvent>(&e); k && k->pressed && k->character == ch) return *k;
    return std::nullopt;
  };
  f.set_text_input_area(std::nullopt);
  const auto off = typed("y");
  ASSERT_TRUE(off.has_value());
  EXPECT_TRUE(off->text.empty());
  f.set_text_input_area(Rect{20, 20, 22, 38});
  const auto on = typed("z");
  ASSERT_TRUE(on.has_value());
  EXPECT_EQ(on->text, "z");

  ASSERT_EQ(run({"xdotool", "windowsize", id, "500", "260"}).first, 0);
  auto resized = collect_until(f, [](const std::vector<Event>& all) {
    for (const auto& e : all) {
      if (auto* r = std::get_if<ResizeEvent>(&e); r && r->logical.width == 500) return true;
    }
    return false;
  });
  EXPECT_EQ(f.logical_size(), (Size{500, 260})) << "events seen: " << describe(resized);
  EXPECT_EQ(f.canvas().device_width(), 500);
  f.present();

  // Idle: the wait sleeps until another thread wakes it.
  auto waker = f.waker();
  std::thread t([waker] {
    std::this_thread::sleep_for(50ms);
    waker->wake();
  });
  bool woke = false;
  while (!woke) {
    for (const auto& e : f.wait_events(std::nullopt)) woke |= std::holds_alternative<WakeEvent>(e);
  }
  t.join();
  opened->reset();
  waker->wake();  // the window is gone: harmless
}

}  // namespace
}  // namespace kova::ui
