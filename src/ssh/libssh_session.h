// The thin layer over libssh: the only code that calls it. Turns its
// SSH_OK / SSH_AGAIN / SSH_ERROR codes and ssh_get_error texts into Results.
// Internal to this folder.
#pragma once

#include <libssh/libssh.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "ssh/error.h"
#include "ssh/session.h"
#include "ssh/trust_store.h"

namespace remote::ssh {

// Owns an ssh_session in non-blocking mode over a TCP socket we connected.
class LibsshSession {
 public:
  LibsshSession() = default;
  LibsshSession(const LibsshSession&) = delete;
  LibsshSession& operator=(const LibsshSession&) = delete;
  ~LibsshSession();

  // TCP connect (every resolved address in order) and the SSH handshake. On
  // failure the text is "connect: " and the reason.
  Result<void> connect(const std::string& host, std::uint16_t port, const std::string& user);
  // The server's host key, known once connect() succeeded.
  Result<HostKeyIdentity> server_identity();
  Result<void> authenticate(const SshCredentials& credentials);
  // Opens the session channel, requests the pseudo-terminal and the shell.
  Result<void> open_shell(std::uint16_t columns, std::uint16_t rows);

  // Disconnect with "by application" and an empty description.
  void disconnect();

  ssh_session raw() const { return session_; }
  ssh_channel channel() const { return channel_; }
  // Our own descriptor of the connection: it stays open, and keeps its
  // number, until this object goes, whatever libssh did with its copy.
  int fd() const { return socket_; }
  std::string last_error() const { return ssh_get_error(session_); }

  // Waits on the socket for whatever libssh needs next.
  void wait_socket() const;

 private:
  // Polls until libssh has marked its socket writable with nothing queued,
  // so the next packet is written at once; at most `budget`.
  void poll_until_writable(std::chrono::milliseconds budget);

  ssh_session session_ = nullptr;
  ssh_channel channel_ = nullptr;
  int socket_ = -1;
  int libssh_socket_ = -1;
};

// Algorithm name and fingerprint of a libssh public key.
Result<HostKeyIdentity> identity_of(ssh_key key);

}  // namespace remote::ssh
