#include "ssh/libssh_session.h"

#include <fcntl.h>
#include <libssh/callbacks.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <system_error>

#include "ssh/host_key.h"
#include "ssh/limits.h"

namespace remote::ssh {
namespace {

// libssh reports why a key file could not be loaded only through its log.
// Each thread keeps the last warning it logged, so the worker can quote it.
thread_local std::string last_log_message;

void keep_log_message(int /*priority*/, const char* function, const char* message,
                      void* /*userdata*/) {
  // libssh prefixes the text with the name of the function that logged it.
  std::string_view text(message);
  const std::string prefix = std::string(function != nullptr ? function : "") + ": ";
  if (text.starts_with(prefix)) text.remove_prefix(prefix.size());
  last_log_message = text;
}

// libssh keeps its log callback and level per thread.
void install_log_capture() {
  thread_local bool installed = false;
  if (installed) return;
  installed = true;
  ssh_set_log_callback(keep_log_message);
  ssh_set_log_level(SSH_LOG_WARNING);
}

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

// Every resolved address in order; the first that accepts is used and the
// last error counts when none does.
Result<int> tcp_connect(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* raw = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &raw); rc != 0) {
    return fail(ErrorCode::Session, std::string("connect: ") + ::gai_strerror(rc));
  }
  std::unique_ptr<addrinfo, AddrInfoDeleter> list(raw);
  int last_errno = 0;
  for (const addrinfo* address = list.get(); address != nullptr; address = address->ai_next) {
    const int fd =
        ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol);
    if (fd < 0) {
      last_errno = errno;
      continue;
    }
    if (::connect(fd, address->ai_addr, address->ai_addrlen) == 0) return fd;
    last_errno = errno;
    ::close(fd);
  }
  if (last_errno == 0) return fail(ErrorCode::Session, "connect: could not resolve to any address");
  return fail(ErrorCode::Session, "connect: " + std::generic_category().message(last_errno));
}

// Repeats a non-blocking libssh step while it answers `again` (SSH_AGAIN for
// most calls, SSH_AUTH_AGAIN for authentication).
template <class Step>
int until_done(const LibsshSession& session, Step step, int again = SSH_AGAIN) {
  for (;;) {
    const int rc = step();
    if (rc != again) return rc;
    session.wait_socket();
  }
}

std::string algorithm_name(ssh_key key) {
  switch (ssh_key_type(key)) {
    case SSH_KEYTYPE_ECDSA_P256:
    case SSH_KEYTYPE_ECDSA_P384:
    case SSH_KEYTYPE_ECDSA_P521:
    case SSH_KEYTYPE_ECDSA_P256_CERT01:
    case SSH_KEYTYPE_ECDSA_P384_CERT01:
    case SSH_KEYTYPE_ECDSA_P521_CERT01:
      return ssh_pki_key_ecdsa_name(key);
    case SSH_KEYTYPE_ED25519:
    case SSH_KEYTYPE_ED25519_CERT01:
      return "ssh-ed25519";
    case SSH_KEYTYPE_RSA:
    case SSH_KEYTYPE_RSA_CERT01:
      return "ssh-rsa";
    case SSH_KEYTYPE_DSS:
    case SSH_KEYTYPE_DSS_CERT01:
      return "ssh-dss";
    default:
      break;
  }
  const char* name = ssh_key_type_to_char(ssh_key_type(key));
  return name != nullptr ? name : "unknown";
}

}  // namespace

Result<HostKeyIdentity> identity_of(ssh_key key) {
  char* base64 = nullptr;
  if (ssh_pki_export_pubkey_base64(key, &base64) != SSH_OK || base64 == nullptr) {
    return fail(ErrorCode::Session, "connect: the server's host key cannot be encoded");
  }
  const auto blob = decode_base64(base64);
  ssh_string_free_char(base64);
  if (!blob) return fail(ErrorCode::Session, "connect: the server's host key cannot be encoded");
  return host_key_identity(algorithm_name(key), *blob);
}

namespace {

// Whether two descriptors name the same open socket. While `ours` stays open
// its inode cannot be reused, so a match cannot be a stranger's descriptor.
bool same_socket(int candidate, int ours) {
  struct stat a {};
  struct stat b {};
  if (::fstat(candidate, &a) != 0 || ::fstat(ours, &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

// ssh_free also frees every channel of the session. libssh closes the
// descriptor it was handed on some paths (a lost connection, an error,
// freeing a connected session) and leaves it open on others (a disconnect,
// a session that never connected). It therefore works on a duplicate, which
// is closed here only if it still names our socket: closing a number libssh
// already released would close whatever another thread opened under it.
LibsshSession::~LibsshSession() {
  if (session_ != nullptr) ssh_free(session_);
  if (libssh_socket_ >= 0 && socket_ >= 0 && same_socket(libssh_socket_, socket_)) {
    ::close(libssh_socket_);
  }
  if (socket_ >= 0) ::close(socket_);
}

void LibsshSession::wait_socket() const {
  const int flags = ssh_get_poll_flags(session_);
  pollfd entry{fd(), POLLIN, 0};
  if ((flags & SSH_WRITE_PENDING) != 0) entry.events |= POLLOUT;
  // No deadline: the server's own login grace time or the peer's close
  // bounds a handshake, and the operating system bounds a dead connection.
  ::poll(&entry, 1, -1);
}

Result<void> LibsshSession::connect(const std::string& host, std::uint16_t port,
                                    const std::string& user) {
  install_log_capture();
  auto fd = tcp_connect(host, port);
  if (!fd) return std::unexpected(fd.error());
  socket_ = *fd;
  session_ = ssh_new();
  if (session_ == nullptr) return fail(ErrorCode::Session, "connect: cannot create an SSH session");
  libssh_socket_ = ::fcntl(socket_, F_DUPFD_CLOEXEC, 0);
  if (libssh_socket_ < 0) {
    return fail(ErrorCode::Session, "connect: " + std::generic_category().message(errno));
  }
  socket_t socket = libssh_socket_;
  const int no = 0;
  const std::uint64_t rekey_bytes = rekey_data_bytes;
  const std::uint32_t rekey_seconds = rekey_time_s;
  const long timeout = inactivity_timeout_s;
  const unsigned int wire_port = port;
  // The user's own ssh configuration files are not read: the settings here
  // are the whole configuration.
  ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &no);
  // Trust is decided by our own store alone; the user's known_hosts files
  // must not even reorder the host-key algorithms.
  ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, "/dev/null");
  ssh_options_set(session_, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null");
  ssh_options_set(session_, SSH_OPTIONS_FD, &socket);
  ssh_options_set(session_, SSH_OPTIONS_HOST, host.c_str());
  ssh_options_set(session_, SSH_OPTIONS_PORT, &wire_port);
  ssh_options_set(session_, SSH_OPTIONS_USER, user.c_str());
  ssh_options_set(session_, SSH_OPTIONS_REKEY_DATA, &rekey_bytes);
  ssh_options_set(session_, SSH_OPTIONS_REKEY_TIME, &rekey_seconds);
  ssh_options_set(session_, SSH_OPTIONS_TIMEOUT, &timeout);
  ssh_set_blocking(session_, 0);
  if (until_done(*this, [&] { return ssh_connect(session_); }) != SSH_OK) {
    return fail(ErrorCode::Session, "connect: " + last_error());
  }
  return {};
}

Result<HostKeyIdentity> LibsshSession::server_identity() {
  ssh_key key = nullptr;
  if (ssh_get_server_publickey(session_, &key) != SSH_OK || key == nullptr) {
    return fail(ErrorCode::Session, "connect: " + last_error());
  }
  auto identity = identity_of(key);
  ssh_key_free(key);
  return identity;
}

Result<void> LibsshSession::authenticate(const SshCredentials& credentials) {
  int rc = SSH_AUTH_ERROR;
  if (const auto* password = std::get_if<PasswordCredentials>(&credentials)) {
    rc = until_done(
        *this, [&] { return ssh_userauth_password(session_, nullptr, password->password.c_str()); },
        SSH_AUTH_AGAIN);
  } else {
    const auto& key_file = std::get<KeyCredentials>(credentials);
    ssh_key key = nullptr;
    last_log_message.clear();
    const char* passphrase = key_file.passphrase ? key_file.passphrase->c_str() : nullptr;
    if (ssh_pki_import_privkey_file(key_file.key_path.c_str(), passphrase, nullptr, nullptr,
                                    &key) != SSH_OK) {
      const std::string why =
          last_log_message.empty() ? "the private key cannot be read" : last_log_message;
      return fail(ErrorCode::Session, "load key " + key_file.key_path.string() + ": " + why);
    }
    // libssh picks rsa-sha2-512 or -256 from the server's announced
    // signature algorithms for an RSA key.
    rc = until_done(
        *this, [&] { return ssh_userauth_publickey(session_, nullptr, key); }, SSH_AUTH_AGAIN);
    ssh_key_free(key);
  }
  if (rc == SSH_AUTH_SUCCESS) return {};
  if (rc == SSH_AUTH_ERROR) return fail(ErrorCode::Session, last_error());
  return fail(ErrorCode::Session, "Authentication failed");
}

Result<void> LibsshSession::open_shell(std::uint16_t columns, std::uint16_t rows) {
  channel_ = ssh_channel_new(session_);
  if (channel_ == nullptr) return fail(ErrorCode::Session, last_error());
  if (until_done(*this, [&] { return ssh_channel_open_session(channel_); }) != SSH_OK ||
      until_done(*this,
                 [&] {
                   return ssh_channel_request_pty_size(channel_, "xterm-256color", columns, rows);
                 }) != SSH_OK ||
      until_done(*this, [&] { return ssh_channel_request_shell(channel_); }) != SSH_OK) {
    return fail(ErrorCode::Session, last_error());
  }
  return {};
}

void LibsshSession::disconnect() {
  if (session_ == nullptr) return;
  // libssh writes a packet at once only while its socket is marked writable,
  // and only a poll that sees the socket writable with nothing queued marks
  // it so; ssh_disconnect neither polls nor flushes, and closes the socket
  // right after queueing its packet. So everything queued is flushed first,
  // and then the session is polled until such a poll has happened. A packet
  // arriving meanwhile (the shell's first output makes libssh answer with a
  // window adjustment) writes again and clears the mark, which is why one
  // poll is not enough. On a session with a channel the mark is observed
  // through the channel's write-won't-block callback; without one there is
  // no traffic left to race with and one poll serves. A peer that stopped
  // reading gets a second.
  constexpr auto flush_timeout = std::chrono::milliseconds(1000);
  ssh_blocking_flush(session_, static_cast<int>(flush_timeout.count()));
  poll_until_writable(flush_timeout);
  // libssh substitutes its own text for an empty description.
  ssh_session_set_disconnect_message(session_, "");
  // ssh_disconnect frees the session's channels.
  ssh_disconnect(session_);
  channel_ = nullptr;
}

void LibsshSession::poll_until_writable(std::chrono::milliseconds budget) {
  ssh_event event = ssh_event_new();
  if (event == nullptr) return;
  if (ssh_event_add_session(event, session_) != SSH_OK) {
    ssh_event_free(event);
    return;
  }
  bool writable = false;
  ssh_channel_callbacks_struct callbacks{};
  callbacks.size = sizeof callbacks;
  callbacks.userdata = &writable;
  callbacks.channel_write_wontblock_function = [](ssh_session, ssh_channel, std::uint32_t,
                                                  void* userdata) -> int {
    *static_cast<bool*>(userdata) = true;
    return 0;
  };
  const bool observed =
      channel_ != nullptr && ssh_set_channel_callbacks(channel_, &callbacks) == SSH_OK;
  const auto deadline = std::chrono::steady_clock::now() + budget;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (ssh_event_dopoll(event, static_cast<int>(left.count())) == SSH_ERROR) break;
    if (!observed || writable) break;
  }
  if (observed) ssh_remove_channel_callbacks(channel_, &callbacks);
  ssh_event_remove_session(event, session_);
  ssh_event_free(event);
}

Result<HostKeyIdentity> fetch_host_key(const std::string& host, std::uint16_t port) {
  LibsshSession session;
  if (auto connected = session.connect(host, port, "root"); !connected) {
    return std::unexpected(connected.error());
  }
  auto identity = session.server_identity();
  session.disconnect();
  return identity;
}

}  // namespace remote::ssh
