// A loopback server that plays one recorded stream to each client that
// connects, so both clients in the comparison read through the same socket
// path a real session has.
#pragma once

#include <cstdint>
#include <span>
#include <thread>

namespace remote::rfb::bench {

class ReplayServer {
 public:
  // Listens on 127.0.0.1 at a port the system picks; port() is 0 on failure.
  explicit ReplayServer(std::span<const std::uint8_t> stream);
  ~ReplayServer();
  ReplayServer(const ReplayServer&) = delete;
  ReplayServer& operator=(const ReplayServer&) = delete;

  std::uint16_t port() const { return port_; }

  // Serves the next connection on a thread of its own: writes the whole
  // stream, ends its side, and drains the client's requests until it closes.
  void serve_one();
  // Waits for the connection being served to finish.
  void finish();

 private:
  std::span<const std::uint8_t> stream_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread worker_;
};

}  // namespace remote::rfb::bench
