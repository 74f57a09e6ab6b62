// Listening sockets for the test servers. Test traffic stays on 127.0.0.1.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace kova::testing {

// A socket listening on a free port of 127.0.0.1, stored in `port`; -1 (and
// a test failure) when there is none.
inline int listen_loopback(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 4) != 0) {
    ADD_FAILURE() << "cannot listen on 127.0.0.1";
    if (fd >= 0) ::close(fd);
    return -1;
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

// A port on 127.0.0.1 that nothing listens on (until someone takes it).
inline std::uint16_t closed_port() {
  std::uint16_t port = 0;
  const int fd = listen_loopback(port);
  if (fd >= 0) ::close(fd);
  return port;
}

}  // namespace kova::testing
