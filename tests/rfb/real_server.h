// Real VNC servers for the integration tests, started unprivileged on a free
// 127.0.0.1 port with their files in a private temporary directory. A missing
// server binary fails the test with a message naming the package.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace remote::rfb::testing {

// Runs a program to completion; its exit status, or -1 when it cannot start.
int run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                const std::string& stdin_text = {}, const std::filesystem::path& stdout_file = {});

class Xvnc {
 public:
  struct Options {
    std::string security_types = "None";  // -SecurityTypes
    std::string password;                 // written with vncpasswd when not empty
    std::uint16_t width = 64;
    std::uint16_t height = 48;
  };

  explicit Xvnc(const Options& options);
  ~Xvnc();
  Xvnc(const Xvnc&) = delete;
  Xvnc& operator=(const Xvnc&) = delete;

  // Empty when the server is up; otherwise why it is not.
  const std::string& problem() const { return problem_; }
  std::uint16_t port() const { return port_; }
  std::string display() const { return ":" + std::to_string(display_); }
  // Runs an X client against this server (xsetroot, xdotool).
  int run_x_client(std::vector<std::string> argv, const std::filesystem::path& out = {}) const;
  // Ends the server with `signal` and reaps it.
  void kill(int signal);

 private:
  std::filesystem::path dir_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
  int display_ = -1;
  std::string problem_;
};

// x11vnc sharing an Xvfb display; VNC Authentication when a password is
// given, else no authentication.
class X11vnc {
 public:
  X11vnc(const std::string& password, std::uint16_t width, std::uint16_t height);
  ~X11vnc();
  X11vnc(const X11vnc&) = delete;
  X11vnc& operator=(const X11vnc&) = delete;

  const std::string& problem() const { return problem_; }
  std::uint16_t port() const { return port_; }
  int run_x_client(std::vector<std::string> argv) const;

 private:
  std::filesystem::path dir_;
  pid_t xvfb_ = -1;
  pid_t x11vnc_ = -1;
  std::uint16_t port_ = 0;
  int display_ = -1;
  std::string problem_;
};

std::uint16_t free_loopback_port();
std::filesystem::path make_temp_dir();

}  // namespace remote::rfb::testing
