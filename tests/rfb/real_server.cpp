#include "real_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "support/spawn.h"

extern char** environ;

namespace remote::rfb::testing {
namespace {

bool on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (::access((std::filesystem::path(dir) / program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

using kova::testing::c_strings;

std::vector<std::string> environment_with(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    env.emplace_back(*e);
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

// A server outlives a test that aborts unless the kernel ends it with us.
std::vector<std::string> dying_with_us(std::vector<std::string> argv) {
  argv.insert(argv.begin(), {"setpriv", "--pdeathsig", "KILL", "--"});
  return argv;
}

// Starts `argv` with `fd` of the child connected to a pipe and stderr in
// `log`; returns the first line the child writes there (empty on timeout).
std::string spawn_and_read_line(std::vector<std::string> argv, int fd,
                                const std::filesystem::path& log, pid_t& pid) {
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ready[1], fd);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  argv = dying_with_us(std::move(argv));
  auto c_args = c_strings(argv);
  const int rc = ::posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, c_args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ready[1]);
  std::string line;
  if (rc != 0) {
    pid = -1;
  } else {
    char c = 0;
    pollfd p{ready[0], POLLIN, 0};
    while (::poll(&p, 1, 20'000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n')
      line += c;
  }
  ::close(ready[0]);
  return line;
}

std::string file_text(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Asks the server to end and reaps it; a server that ignores the request
// for five seconds (x11vnc can, with a client still attached) is killed, so
// a test never hangs in its teardown.
void stop(pid_t& pid, int signal) {
  if (pid <= 0) return;
  ::kill(pid, signal);
  for (int waited_ms = 0; waited_ms < 5000; waited_ms += 20) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) {
      pid = -1;
      return;
    }
    ::usleep(20'000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace

std::filesystem::path make_temp_dir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "rfb-test-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) return {};
  return tmpl;
}

std::uint16_t free_loopback_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

int run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                const std::string& stdin_text, const std::filesystem::path& stdout_file) {
  if (!on_path(argv[0])) return -1;
  int in[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  if (!stdout_file.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, stdout_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  }
  std::vector<std::string> args = argv;
  std::vector<std::string> envs = environment_with(env);
  auto c_args = c_strings(args);
  auto c_env = c_strings(envs);
  pid_t pid = -1;
  const int rc =
      ::posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, c_args.data(), c_env.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  if (rc == 0 && !stdin_text.empty()) {
    [[maybe_unused]] auto w = ::write(in[1], stdin_text.data(), stdin_text.size());
  }
  ::close(in[1]);
  if (rc != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Xvnc::Xvnc(const Options& options) : dir_(make_temp_dir()) {
  if (!on_path("Xvnc")) {
    problem_ = "Xvnc not found on PATH: install tigervnc-standalone-server";
    return;
  }
  std::vector<std::string> argv{
      "Xvnc",
      "-displayfd",
      "3",
      "-localhost",
      "-interface",
      "127.0.0.1",
      "-geometry",
      std::to_string(options.width) + "x" + std::to_string(options.height),
      "-depth",
      "24",
      "-SecurityTypes",
      options.security_types,
      "-nolisten",
      "tcp"};
  if (!options.password.empty()) {
    const auto file = dir_ / "passwd";
    if (run_program({"vncpasswd", "-f"}, {}, options.password + "\n", file) != 0) {
      problem_ = "vncpasswd -f failed: install tigervnc-tools";
      return;
    }
    argv.insert(argv.end(), {"-PasswordFile", file.string()});
  }
  port_ = free_loopback_port();
  argv.insert(argv.end(), {"-rfbport", std::to_string(port_)});

  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) {
    problem_ = "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
  const auto log = dir_ / "Xvnc.log";
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  argv = dying_with_us(std::move(argv));
  auto c_args = c_strings(argv);
  const int rc = ::posix_spawnp(&pid_, argv[0].c_str(), &actions, nullptr, c_args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ready[1]);
  if (rc != 0) {
    ::close(ready[0]);
    pid_ = -1;
    problem_ = std::string("cannot start Xvnc: ") + std::strerror(rc);
    return;
  }
  // The display number arrives on fd 3 once the server accepts connections.
  std::string number;
  char c = 0;
  pollfd p{ready[0], POLLIN, 0};
  while (::poll(&p, 1, 20'000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n')
    number += c;
  ::close(ready[0]);
  if (number.empty()) {
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    problem_ = "Xvnc did not become ready; its log:\n" + text.str();
    return;
  }
  display_ = std::stoi(number);
}

int Xvnc::run_x_client(std::vector<std::string> argv, const std::filesystem::path& out) const {
  return run_program(argv, {"DISPLAY=" + display()}, {}, out);
}

void Xvnc::kill(int signal) {
  stop(pid_, signal);
}

X11vnc::X11vnc(const std::string& password, std::uint16_t width, std::uint16_t height)
    : dir_(make_temp_dir()) {
  for (const char* program : {"Xvfb", "x11vnc"}) {
    if (!on_path(program)) {
      problem_ = std::string(program) + " not found on PATH: install xvfb and x11vnc";
      return;
    }
  }
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const std::string number =
      spawn_and_read_line({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp"},
                          3, dir_ / "Xvfb.log", xvfb_);
  if (number.empty()) {
    problem_ = "Xvfb did not become ready; its log:\n" + file_text(dir_ / "Xvfb.log");
    return;
  }
  display_ = std::stoi(number);
  port_ = free_loopback_port();
  std::vector<std::string> argv{
      "x11vnc",     "-display", ":" + number, "-rfbport", std::to_string(port_),
      "-localhost", "-forever", "-quiet",     "-nocursor"};
  if (password.empty()) {
    argv.push_back("-nopw");
  } else {
    const auto file = dir_ / "passwd";
    if (run_program({"x11vnc", "-storepasswd", password, file.string()}, {}, {},
                    dir_ / "storepasswd.out") != 0) {
      problem_ = "x11vnc -storepasswd failed";
      return;
    }
    argv.insert(argv.end(), {"-rfbauth", file.string()});
  }
  // x11vnc prints PORT=<n> on standard output once it listens.
  const std::string line = spawn_and_read_line(argv, 1, dir_ / "x11vnc.log", x11vnc_);
  if (!line.starts_with("PORT=")) {
    problem_ = "x11vnc did not become ready; its log:\n" + file_text(dir_ / "x11vnc.log");
  }
}

int X11vnc::run_x_client(std::vector<std::string> argv) const {
  return run_program(argv, {"DISPLAY=:" + std::to_string(display_)});
}

X11vnc::~X11vnc() {
  stop(x11vnc_, SIGTERM);
  stop(xvfb_, SIGTERM);
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

Xvnc::~Xvnc() {
  kill(SIGTERM);
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

}  // namespace remote::rfb::testing
