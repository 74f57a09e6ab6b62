#include "automation/server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "automation/dispatch.h"
#include "automation/endpoint.h"
#include "automation/limits.h"
#include "automation/protocol.h"
#include "core/fs.h"

namespace kova::automation {

namespace {

std::string errno_text(std::string_view call, const std::filesystem::path& path) {
  return std::string(call) + " " + path.string() + ": " + std::strerror(errno);
}

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

std::expected<sockaddr_un, std::string> socket_address(const std::filesystem::path& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (text.size() > max_socket_path_bytes)
    return std::unexpected("socket path " + text + " is longer than " +
                           std::to_string(max_socket_path_bytes) + " bytes");
  std::memcpy(addr.sun_path, text.data(), text.size());
  return addr;
}

// The socket's directory must be a real directory of ours, closed to others.
std::expected<void, std::string> prepare_directory(const std::filesystem::path& dir) {
  if (auto made = kova::create_directories_with_mode(dir, 0700); !made)
    return std::unexpected("cannot create " + dir.string() + ": " + made.error().message());
  struct stat st{};
  if (::lstat(dir.c_str(), &st) != 0) return std::unexpected(errno_text("lstat", dir));
  if (!S_ISDIR(st.st_mode))
    return std::unexpected(dir.string() + " is not a directory; refusing to put the automation socket there");
  if (st.st_uid != ::geteuid())
    return std::unexpected(dir.string() + " belongs to another user; refusing to put the automation socket there");
  if ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) return std::unexpected(errno_text("chmod", dir));
  return {};
}

// Whether a process accepts connections on the socket at `addr`.
bool something_answers(const sockaddr_un& addr) {
  Fd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (probe.get() < 0) return false;
  const int rc = ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  // EAGAIN: the listener's backlog is full, so it is alive.
  return rc == 0 || errno == EAGAIN || errno == EINPROGRESS;
}

std::string another_instance(const std::filesystem::path& path) {
  return "another instance is already serving automation at " + path.string() +
         "; this one does not take it over";
}

// Clears the way for binding `path`: nothing there, or a stale socket that no
// process answers on any more (removed). Anything else is refused.
std::expected<void, std::string> claim_path(const std::filesystem::path& path, const sockaddr_un& addr) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    return std::unexpected(errno_text("lstat", path));
  }
  if (!S_ISSOCK(st.st_mode))
    return std::unexpected(path.string() + " exists and is not a socket; refusing to replace it");
  if (something_answers(addr)) return std::unexpected(another_instance(path));
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return std::unexpected(errno_text("unlink", path));
  return {};
}

struct Client {
  Fd fd;
  std::string inbox;
  std::size_t scanned = 0;  // inbox bytes known to hold no newline
  bool discarding = false;  // skipping the rest of an over-long line
  bool read_closed = false;
  std::string outbox;
  std::size_t sent = 0;  // outbox bytes already written
  bool dropped = false;
  std::size_t waiting = 0;  // background invocations whose reply is due
  std::uint32_t interest = 0;

  std::size_t unsent() const { return outbox.size() - sent; }
};

// End of input alone cannot tell a half-close (the peer still reads its
// replies) from a close; a hang-up can.
bool peer_gone(const Client& c) {
  pollfd p{c.fd.get(), 0, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

struct PendingInvocation {
  int client_fd;
  std::string id_json;
  std::string invocation_id;
};

}  // namespace

struct Server::State {
  std::filesystem::path path;
  uid_t allowed_uid = 0;
  std::size_t max_outbox_bytes = max_client_outbox_bytes;
  Fd lock;
  Fd listener;
  Fd epoll;
  ino_t inode = 0;
  std::vector<std::unique_ptr<Client>> clients;
  std::vector<PendingInvocation> pending;
  InvocationIds ids;

  void set_interest(Client& c) {
    std::uint32_t want = 0;
    if (!c.read_closed) want |= EPOLLIN;
    if (c.unsent() > 0) want |= EPOLLOUT;
    if (want == c.interest) return;
    epoll_event ev{};
    ev.events = want;
    ev.data.fd = c.fd.get();
    ::epoll_ctl(epoll.get(), EPOLL_CTL_MOD, c.fd.get(), &ev);
    c.interest = want;
  }

  void queue(Client& c, std::string_view bytes) {
    if (c.unsent() + bytes.size() > max_outbox_bytes) {
      c.dropped = true;  // it does not read its replies
      return;
    }
    if (c.sent > 0 && c.sent >= c.outbox.size() / 2) {
      c.outbox.erase(0, c.sent);
      c.sent = 0;
    }
    c.outbox.append(bytes);
  }

  void flush(Client& c) {
    while (!c.dropped && c.unsent() > 0) {
      const ssize_t n = ::send(c.fd.get(), c.outbox.data() + c.sent, c.unsent(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        c.sent += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) c.dropped = true;
        break;
      }
    }
    if (c.unsent() == 0) {
      c.outbox.clear();
      c.sent = 0;
    }
  }

  void accept_clients() {
    for (;;) {
      Fd fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (fd.get() < 0) return;  // EAGAIN, or a client that vanished
      ucred cred{};
      socklen_t len = sizeof cred;
      if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != allowed_uid)
        continue;  // another user: closed at once, nothing read or written
      if (clients.size() >= max_clients) {
        const std::string busy = reply_error("null", "too_many_clients", "too many automation clients are connected");
        [[maybe_unused]] const auto n = ::send(fd.get(), busy.data(), busy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        continue;
      }
      auto client = std::make_unique<Client>();
      epoll_event ev{};
      ev.events = EPOLLIN;
      ev.data.fd = fd.get();
      if (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, fd.get(), &ev) != 0) continue;
      client->interest = EPOLLIN;
      client->fd = std::move(fd);
      clients.push_back(std::move(client));
    }
  }

  void read_available(Client& c) {
    std::size_t budget = max_read_per_turn_bytes;
    char chunk[64 * 1024];
    while (budget > 0 && !c.read_closed && !c.dropped) {
      const ssize_t n = ::recv(c.fd.get(), chunk, std::min(sizeof chunk, budget), MSG_DONTWAIT);
      if (n > 0) {
        take_bytes(c, std::string_view(chunk, static_cast<std::size_t>(n)));
        budget -= static_cast<std::size_t>(n);
      } else if (n == 0) {
        // Half-closed: replies still go out, and a last request without its
        // newline still counts.
        c.read_closed = true;
        if (!c.inbox.empty() && !c.discarding) c.inbox.push_back('\n');
      } else if (errno == EINTR) {
        continue;
      } else {
        if (errno != EAGAIN && errno != EWOULDBLOCK) c.dropped = true;
        return;
      }
    }
  }

  // Appends bytes without ever keeping more than one bounded line: over-long
  // input is answered and skipped up to its newline.
  void take_bytes(Client& c, std::string_view bytes) {
    if (c.discarding) {
      const auto nl = bytes.find('\n');
      if (nl == std::string_view::npos) return;
      c.discarding = false;
      bytes.remove_prefix(nl + 1);
    }
    c.inbox.append(bytes);
    if (c.inbox.find('\n', c.scanned) == std::string::npos && c.inbox.size() > max_request_line_bytes) {
      c.inbox.clear();
      c.scanned = 0;
      c.discarding = true;
      queue(c, reply_error("null", "line_too_long",
                           "request line is longer than " + std::to_string(max_request_line_bytes) + " bytes"));
    }
  }

  void answer_lines(Client& c, AutomationHost& host) {
    std::size_t start = 0;
    for (;;) {
      const auto nl = c.inbox.find('\n', std::max(start, c.scanned));
      if (nl == std::string::npos) break;
      std::string_view line(c.inbox.data() + start, nl - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      start = nl + 1;
      c.scanned = start;
      if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
      if (line.size() > max_request_line_bytes) {
        queue(c, reply_error("null", "line_too_long", "request line is too long"));
        continue;
      }
      answer_line(c, host, line);
      if (c.dropped) return;
    }
    c.inbox.erase(0, start);
    c.scanned = c.inbox.size();
  }

  void answer_line(Client& c, AutomationHost& host, std::string_view line) {
    auto request = parse_request(line);
    if (!request) {
      queue(c, reply_error(request.error().id_json, request.error().code, request.error().message));
      return;
    }
    if (request->method == Method::Invoke && pending.size() >= max_pending_invocations) {
      queue(c, reply_error(request->id_json, "busy", "too many background invocations are waiting"));
      return;
    }
    Answer answer = answer_request(host, *request, ids);
    if (answer.pending_invocation) {
      pending.push_back({c.fd.get(), request->id_json, *answer.pending_invocation});
      ++c.waiting;
      return;
    }
    queue(c, answer.reply);
  }

  Client* find_client(int fd) {
    for (auto& c : clients)
      if (c->fd.get() == fd && !c->dropped) return c.get();
    return nullptr;
  }

  void poll_pending(AutomationHost& host) {
    for (std::size_t i = 0; i < pending.size();) {
      const auto outcome = host.poll(pending[i].invocation_id, false);
      if (outcome.status == actions::operation::Outcome::Status::NoNews) {
        ++i;
        continue;
      }
      if (Client* c = find_client(pending[i].client_fd)) {
        queue(*c, reply_for_outcome(pending[i].id_json, outcome, pending[i].invocation_id));
        --c->waiting;
      }
      pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }

  // Drops clients that are gone or done. A client that left while its
  // background invocation ran takes the invocation with it.
  void sweep(AutomationHost* host) {
    for (auto it = clients.begin(); it != clients.end();) {
      Client& c = **it;
      const bool done = c.read_closed && c.unsent() == 0 && c.waiting == 0;
      if (!c.dropped && !done && !(c.read_closed && peer_gone(c))) {
        ++it;
        continue;
      }
      const int fd = c.fd.get();
      for (auto p = pending.begin(); p != pending.end();) {
        if (p->client_fd != fd) {
          ++p;
          continue;
        }
        if (host) host->poll(p->invocation_id, true);
        p = pending.erase(p);
      }
      it = clients.erase(it);
    }
  }
};

std::expected<ServerOptions, std::string> default_server_options(std::string_view app_id) {
  auto path = endpoint_path(app_id);
  if (!path) return std::unexpected(path.error());
  return ServerOptions{*path, ::geteuid(), max_client_outbox_bytes};
}

Server::Server(std::unique_ptr<State> state) : state_(std::move(state)) {}

Server::~Server() {
  // Remove the socket only while it is still the one this server bound.
  struct stat st{};
  if (::lstat(state_->path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == state_->inode)
    ::unlink(state_->path.c_str());
}

std::expected<std::unique_ptr<Server>, std::string> Server::start(const ServerOptions& options) {
  auto state = std::make_unique<State>();
  state->path = options.socket_path;
  state->allowed_uid = options.allowed_uid;
  state->max_outbox_bytes = options.max_outbox_bytes;
  const auto addr = socket_address(options.socket_path);
  if (!addr) return std::unexpected(addr.error());
  if (auto dir = prepare_directory(options.socket_path.parent_path()); !dir) return std::unexpected(dir.error());

  // The lock serialises instances, so two of them cannot both find a stale
  // socket and bind in turn; it is held for the server's life.
  const std::filesystem::path lock_path = options.socket_path.string() + ".lock";
  state->lock = Fd(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (state->lock.get() < 0) return std::unexpected(errno_text("open", lock_path));
  if (::flock(state->lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return std::unexpected(another_instance(options.socket_path));
    return std::unexpected(errno_text("flock", lock_path));
  }
  if (auto claimed = claim_path(options.socket_path, *addr); !claimed) return std::unexpected(claimed.error());

  state->listener = Fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (state->listener.get() < 0) return std::unexpected(errno_text("socket", options.socket_path));
  if (::bind(state->listener.get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0)
    return std::unexpected(errno_text("bind", options.socket_path));
  // Before listen(): nobody can connect until the mode is final (the
  // directory is private anyway).
  if (::chmod(options.socket_path.c_str(), 0600) != 0) {
    ::unlink(options.socket_path.c_str());
    return std::unexpected(errno_text("chmod", options.socket_path));
  }
  struct stat st{};
  if (::lstat(options.socket_path.c_str(), &st) == 0) state->inode = st.st_ino;
  if (::listen(state->listener.get(), SOMAXCONN) != 0) {
    ::unlink(options.socket_path.c_str());
    return std::unexpected(errno_text("listen", options.socket_path));
  }
  state->epoll = Fd(::epoll_create1(EPOLL_CLOEXEC));
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = state->listener.get();
  if (state->epoll.get() < 0 || ::epoll_ctl(state->epoll.get(), EPOLL_CTL_ADD, state->listener.get(), &ev) != 0) {
    ::unlink(options.socket_path.c_str());
    return std::unexpected(errno_text("epoll", options.socket_path));
  }
  return std::unique_ptr<Server>(new Server(std::move(state)));
}

int Server::fd() const { return state_->epoll.get(); }

void Server::serve_ready(AutomationHost& host) {
  State& s = *state_;
  s.accept_clients();
  s.poll_pending(host);
  for (auto& c : s.clients) {
    if (c->dropped) continue;
    s.read_available(*c);
    s.answer_lines(*c, host);
    s.flush(*c);
  }
  s.sweep(&host);
  for (auto& c : s.clients) s.set_interest(*c);
}

bool Server::wants_poll() const { return !state_->pending.empty(); }

std::size_t Server::client_count() const { return state_->clients.size(); }

const std::filesystem::path& Server::path() const { return state_->path; }

}  // namespace kova::automation
