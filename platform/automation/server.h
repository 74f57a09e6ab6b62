// The automation endpoint: a Unix stream socket on which clients of the same
// user send one JSON request per line and receive one JSON reply per line
// (protocol.h).
//
// Threading: the server is owned by the UI thread. It never blocks: the
// shell polls fd() with its other descriptors and calls serve_ready()
// between frames, which accepts, reads what is available, answers complete
// requests through the AutomationHost and writes what the sockets take.
// Replies a client does not read are buffered up to max_client_outbox_bytes;
// past that the client is dropped.
#pragma once

#include <sys/types.h>

#include <expected>
#include <filesystem>
#include <memory>
#include <string>

#include "automation/host.h"
#include "automation/limits.h"

namespace kova::automation {

struct ServerOptions {
  std::filesystem::path socket_path;
  // Only peers running as this user are served; others are closed at once.
  uid_t allowed_uid = 0;
  // Unread replies kept for one client before it is dropped.
  std::size_t max_outbox_bytes = max_client_outbox_bytes;
};

// The options for `app_id` at its usual path (endpoint_path), for the
// effective user of this process.
std::expected<ServerOptions, std::string> default_server_options(std::string_view app_id);

class Server {
 public:
  // Creates the socket's directory (0700) if needed and listens on the
  // socket (0600). Refuses, with a sentence saying why, when another process
  // serves the path, when the path (or its directory) is not what it should
  // be, or when a system call fails. A stale socket left by a process that
  // ended is replaced.
  static std::expected<std::unique_ptr<Server>, std::string> start(const ServerOptions& options);

  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // One descriptor (epoll) that becomes readable when serve_ready has work.
  int fd() const;
  // Serves what is ready without blocking; see the header comment.
  void serve_ready(AutomationHost& host);
  // True while background invocations wait for their outcome: the caller
  // must call serve_ready again within a frame even if fd() stays quiet.
  bool wants_poll() const;

  std::size_t client_count() const;
  const std::filesystem::path& path() const;

  struct State;

 private:
  explicit Server(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kova::automation
