// A real OpenSSH server for the tests: started on a free loopback port with
// its own host key, authorized_keys and configuration in a temporary
// directory, and killed when the object goes. A missing sshd fails the test
// with a clear message.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>

#include "test_support.h"

namespace remote::ssh::testing {

struct SshdOptions {
  std::string host_key_type = "ed25519";
  std::string authorized_keys;  // contents of the authorized_keys file
};

class Sshd {
 public:
  static std::expected<std::unique_ptr<Sshd>, std::string> start(const SshdOptions& options);
  ~Sshd();

  std::uint16_t port() const { return port_; }
  const std::filesystem::path& dir() const { return dir_.path(); }
  std::filesystem::path host_key() const { return dir_.path() / "host_key"; }
  // Replaces the host key with a fresh one of the same type and restarts.
  std::expected<void, std::string> replace_host_key();
  void kill_now();
  std::string log() const;

 private:
  Sshd() = default;
  std::expected<void, std::string> launch();

  TempDir dir_;
  SshdOptions options_;
  std::uint16_t port_ = 0;
  pid_t pid_ = -1;
};

// The login and password of a dedicated local account for password tests.
// Created once (needs root, as in CI); fails clearly otherwise.
struct PasswordUser {
  std::string name;
  std::string password;
};
std::expected<PasswordUser, std::string> password_user();

// Who the key tests log in as: the dedicated account when running as root
// (root's own shell start-up files are the machine's, not the test's), else
// the current user, the only one an unprivileged sshd can serve.
std::expected<std::string, std::string> login_user();

// Generates a key pair at `path` (and path.pub) with ssh-keygen.
std::expected<void, std::string> make_key(const std::filesystem::path& path,
                                          const std::string& type,
                                          const std::string& passphrase = "");

// The identity ssh-keygen -l prints for a public key file.
std::expected<std::pair<std::string, std::string>, std::string> keygen_identity(
    const std::filesystem::path& public_key);

}  // namespace remote::ssh::testing
