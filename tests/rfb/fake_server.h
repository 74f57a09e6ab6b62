// A scripted server on 127.0.0.1 for the session tests: it accepts one
// connection on a free port and runs the script on its own thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>
#include <thread>
#include <vector>

#include "support/eventually.h"
#include "support/loopback.h"
#include "wire_builder.h"

namespace remote::rfb::testing {

// The server's end of the connection. Reads give up after a few seconds so
// that a broken client fails the test instead of hanging it.
class Peer {
 public:
  explicit Peer(int fd) : fd_(fd) {}
  ~Peer();

  void send(const std::vector<std::uint8_t>& bytes);
  void send(const Wire& w) { send(w.bytes); }
  void send(std::string_view s) { send(std::vector<std::uint8_t>(s.begin(), s.end())); }
  // Exactly n bytes, or fewer when the client closed or went quiet.
  std::vector<std::uint8_t> recv(std::size_t n);
  // The next client message that is not a FramebufferUpdateRequest; counts
  // the requests it passes over. Empty when the connection ended.
  std::vector<std::uint8_t> next_input_message();
  // Waits for the next FramebufferUpdateRequest; its bytes, or empty.
  std::vector<std::uint8_t> next_update_request();
  // True when the client closes its end within `limit`.
  bool client_closes_within(std::chrono::seconds limit);
  // Sends end of stream, waits for the client to close, then closes.
  void close();

  int update_requests = 0;

 private:
  std::vector<std::uint8_t> next_message();
  int fd_;
};

class FakeServer {
 public:
  explicit FakeServer(std::function<void(Peer&)> script);
  ~FakeServer();
  std::uint16_t port() const { return port_; }
  // True once a client has connected.
  bool accepted() const { return accepted_.load(); }

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> accepted_{false};
  std::thread thread_;
};

// The 3.8 exchange with security type None, up to and including the client's
// first FramebufferUpdateRequest; checks every byte the client sends.
void handshake_none(Peer& peer, std::uint16_t width, std::uint16_t height);

using kova::testing::eventually;

using kova::testing::closed_port;

}  // namespace remote::rfb::testing
