#include "replay_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace remote::rfb::bench {

ReplayServer::ReplayServer(std::span<const std::uint8_t> stream) : stream_(stream) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::listen(listener_, 1) == 0 &&
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port_ = ntohs(addr.sin_port);
  }
}

ReplayServer::~ReplayServer() {
  finish();
  if (listener_ >= 0) ::close(listener_);
}

void ReplayServer::serve_one() {
  finish();
  worker_ = std::thread([this] {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::size_t sent = 0;
    while (sent < stream_.size()) {
      const ssize_t r = ::send(fd, stream_.data() + sent, stream_.size() - sent, MSG_NOSIGNAL);
      if (r <= 0) break;
      sent += static_cast<std::size_t>(r);
    }
    // Closing with the client's requests unread would reset the connection
    // before the client has read the end of the stream.
    ::shutdown(fd, SHUT_WR);
    std::uint8_t sink[4096];
    while (::recv(fd, sink, sizeof sink, 0) > 0) {
    }
    ::close(fd);
  });
}

void ReplayServer::finish() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace remote::rfb::bench
