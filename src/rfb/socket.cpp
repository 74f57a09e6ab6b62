#include "rfb/socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "rfb/limits.h"

namespace remote::rfb {

bool SocketCanceller::attach(int fd) {
  std::lock_guard lock(mutex_);
  if (cancelled_) return false;
  fd_ = fd;
  return true;
}

void SocketCanceller::detach() {
  std::lock_guard lock(mutex_);
  fd_ = -1;
}

void SocketCanceller::cancel() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

bool SocketCanceller::cancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

Error system_error(int errnum) {
  if (errnum == ECONNREFUSED) return {ErrorKind::ConnectionRefused, "Connection refused"};
  if (errnum == ETIMEDOUT) return {ErrorKind::TimedOut, "Connection timed out"};
  return {ErrorKind::System, std::strerror(errnum)};
}

namespace {

void close_attached(int fd, SocketCanceller& canceller) {
  canceller.detach();
  ::close(fd);
}

}  // namespace

Result<int> connect_tcp(const std::string& host, std::uint16_t port, SocketCanceller& canceller) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc == EAI_NONAME || rc == EAI_NODATA || (rc == 0 && list == nullptr)) {
    if (list != nullptr) ::freeaddrinfo(list);
    return fail(ErrorKind::InvalidInput, "could not resolve to any addresses");
  }
  if (rc != 0) {
    return fail(ErrorKind::System,
                std::string("failed to lookup address information: ") + ::gai_strerror(rc));
  }
  Error last{ErrorKind::InvalidInput, "could not resolve to any addresses"};
  int connected = -1;
  for (addrinfo* a = list; a != nullptr && connected < 0; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      last = system_error(errno);
      continue;
    }
    if (!canceller.attach(fd)) {
      ::close(fd);
      last = {ErrorKind::System, "session closed"};
      break;
    }
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      connected = fd;
    } else {
      last = system_error(errno);
      close_attached(fd, canceller);
    }
  }
  ::freeaddrinfo(list);
  if (connected < 0) return std::unexpected(last);
  const int one = 1;
  // Without no-delay every small input event would wait for the previous ACK.
  static_cast<void>(::setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one));
  return connected;
}

SocketStream::SocketStream(int fd, SocketCanceller& canceller)
    : fd_(fd), canceller_(canceller), buffer_(socket_buffer_bytes) {}

SocketStream::~SocketStream() {
  close_attached(fd_, canceller_);
}

Result<void> SocketStream::fill(std::uint8_t* out, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::recv(fd_, out + got, n - got, 0);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r == 0) {
      return fail(ErrorKind::UnexpectedEof, eof_text);
    } else if (errno != EINTR) {
      return std::unexpected(system_error(errno));
    }
  }
  return {};
}

Result<std::span<const std::uint8_t>> SocketStream::read(std::size_t n) {
  const std::size_t buffered = end_ - begin_;
  if (n <= buffered) {
    auto out = std::span<const std::uint8_t>(buffer_).subspan(begin_, n);
    begin_ += n;
    return out;
  }
  if (n > buffer_.size()) {
    large_.resize(n);
    std::memcpy(large_.data(), buffer_.data() + begin_, buffered);
    begin_ = end_ = 0;
    if (auto r = fill(large_.data() + buffered, n - buffered); !r)
      return std::unexpected(r.error());
    return std::span<const std::uint8_t>(large_.data(), n);
  }
  // Move the unread bytes to the front only when the request would not fit
  // behind them, so most reads append without copying anything twice.
  if (buffered == 0 || buffer_.size() - begin_ < n) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, buffered);
    begin_ = 0;
    end_ = buffered;
  }
  while (end_ - begin_ < n) {
    const ssize_t r = ::recv(fd_, buffer_.data() + end_, buffer_.size() - end_, 0);
    if (r > 0) {
      end_ += static_cast<std::size_t>(r);
    } else if (r == 0) {
      return fail(ErrorKind::UnexpectedEof, eof_text);
    } else if (errno != EINTR) {
      return std::unexpected(system_error(errno));
    }
  }
  auto out = std::span<const std::uint8_t>(buffer_).subspan(begin_, n);
  begin_ += n;
  return out;
}

Result<void> SocketStream::write(std::span<const std::uint8_t> bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t r = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (r >= 0) {
      sent += static_cast<std::size_t>(r);
    } else if (errno != EINTR) {
      return std::unexpected(system_error(errno));
    }
  }
  return {};
}

Result<bool> SocketStream::wait_readable(int timeout_ms) {
  if (end_ > begin_) return true;
  pollfd p{fd_, POLLIN, 0};
  const int r = ::poll(&p, 1, timeout_ms);
  if (r < 0) {
    if (errno == EINTR) return false;
    return std::unexpected(system_error(errno));
  }
  return r > 0;
}

}  // namespace remote::rfb
