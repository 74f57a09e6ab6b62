// The real kova-remote in a real window on a private Xvfb display, driven by
// xdotool the way a person would: open the form from the rail, type a name
// and a host, save; the saved document then holds the connection.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct TempDir {
  fs::path path;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "kova-ui-XXXXXX").string();
    path = ::mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

// A child process with its standard output (and, when asked, error) on a
// pipe. The environment is the parent's plus `env`.
class Child {
 public:
  Child(std::vector<std::string> argv, const std::vector<std::string>& env,
        bool capture_err = false) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], capture_err ? 2 : 1);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    std::vector<std::string> env_store(env);
    for (char** e = environ; *e; ++e)
      env_store.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env_store)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (auto& a : argv)
      args.push_back(a.data());
    args.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, args[0], &fa, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    if (rc != 0) {
      error_ = "cannot start " + argv[0] + ": " + std::strerror(rc);
      pid_ = -1;
      ::close(out[0]);
      return;
    }
    fd_ = out[0];
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  const std::string& error() const { return error_; }
  pid_t pid() const { return pid_; }

  // Reads until `needle` appears or `timeout` passes.
  bool wait_for(std::string_view needle, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (text_.find(needle) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left <= 0ms || !read_some(left)) return false;
    }
    return true;
  }
  // Waits for the exit; the status, or -1.
  int finish(std::chrono::milliseconds timeout = 20s) {
    while (read_some(timeout)) {
    }
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& text() const { return text_; }

 private:
  bool read_some(std::chrono::milliseconds timeout) {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
    char buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) return false;
    text_.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string text_;
  std::string error_;
};

// Runs a short command to its end; its exit status and standard output.
std::pair<int, std::string> run(std::vector<std::string> argv,
                                const std::vector<std::string>& env) {
  Child c(std::move(argv), env);
  if (!c.error().empty()) return {-1, c.error()};
  const int status = c.finish();
  return {status, c.text()};
}

// A private X server on a display it picks itself, so parallel tests never
// collide.
class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 3);
    std::vector<std::string> argv{"Xvfb", "-displayfd",  "3",         "-screen",
                                  "0",    "1400x900x24", "-nolisten", "tcp"};
    std::vector<char*> args;
    for (auto& a : argv)
      args.push_back(a.data());
    args.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, "Xvfb", &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
      error_ = std::string("cannot start Xvfb (install the xvfb package, see scripts/deps): ") +
               std::strerror(rc);
      pid_ = -1;
      ::close(fds[0]);
      return;
    }
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, 10000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
      number.push_back(c);
    ::close(fds[0]);
    if (number.empty())
      error_ = "Xvfb did not report a display within 10 seconds";
    else
      display_ = ":" + number;
  }
  ~Xvfb() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& display() const { return display_; }
  const std::string& error() const { return error_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string error_;
};

TEST(RealWindow, AddConnectionFromTheRailIsSavedToTheDocument) {
  Xvfb x;
  ASSERT_TRUE(x.error().empty()) << x.error();
  TempDir state;
  const std::vector<std::string> env{"DISPLAY=" + x.display(),
                                     "XDG_STATE_HOME=" + state.path.string(),
                                     "KOVA_REMOTE_SAMPLE=0", "SDL_AUDIODRIVER=dummy"};
  Child app({KOVA_REMOTE_PROGRAM, "--trace"}, env, /*capture_err=*/true);
  ASSERT_TRUE(app.error().empty()) << app.error();
  ASSERT_TRUE(app.wait_for("ready", 20s)) << "kova-remote never became ready: " << app.text();

  const auto [found, ids] =
      run({"xdotool", "search", "--sync", "--onlyvisible", "--name", "RemoteApp"}, env);
  ASSERT_EQ(found, 0) << "no window found (is xdotool installed? see scripts/deps): " << ids;
  const std::string window = ids.substr(0, ids.find('\n'));
  const auto xdo = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    const auto [status, out] = run(std::move(args), env);
    EXPECT_EQ(status, 0) << out;
    std::this_thread::sleep_for(150ms);
  };
  xdo({"windowfocus", "--sync", window});
  // The rail's "+" item: 12..52 across, 128..168 down.
  xdo({"mousemove", "--window", window, "32", "148"});
  xdo({"click", "1"});
  xdo({"type", "--delay", "20", "Lab box"});
  xdo({"key", "Tab"});
  xdo({"type", "--delay", "20", "lab.example"});
  xdo({"key", "Return"});

  // The running program commits after it draws; another process reads the
  // document meanwhile, as a second copy of the program would.
  std::string doc;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < deadline) {
    const auto [status, out] = run({KOVA_REMOTE_PROGRAM, "doc", "show"}, env);
    ASSERT_EQ(status, 0) << out;
    doc = out;
    if (doc.find("Lab box") != std::string::npos) break;
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_NE(doc.find("Lab box"), std::string::npos) << doc;
  EXPECT_NE(doc.find("lab.example"), std::string::npos) << doc;
  ::kill(app.pid(), SIGTERM);
  EXPECT_EQ(app.finish(), 0) << app.text();
}

}  // namespace
