#include "fake_server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace remote::rfb::testing {
namespace {

using kova::testing::listen_loopback;

}  // namespace

Peer::~Peer() {
  close();
}

// Closes gracefully: the client first reads everything sent, then its end
// of stream. Closing with unread client bytes (a periodic update request, for
// one) would reset the connection instead and turn an end into a failure.
void Peer::close() {
  if (fd_ < 0) return;
  ::shutdown(fd_, SHUT_WR);
  client_closes_within(std::chrono::seconds(10));
  ::close(fd_);
  fd_ = -1;
}

void Peer::send(const std::vector<std::uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t r = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (r <= 0) return;
    sent += static_cast<std::size_t>(r);
  }
}

std::vector<std::uint8_t> Peer::recv(std::size_t n) {
  std::vector<std::uint8_t> out(n);
  std::size_t got = 0;
  while (got < n) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 10'000) <= 0) break;
    const ssize_t r = ::recv(fd_, out.data() + got, n - got, 0);
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  out.resize(got);
  return out;
}

std::vector<std::uint8_t> Peer::next_message() {
  auto type = recv(1);
  if (type.empty()) return {};
  std::size_t rest = 0;
  switch (type[0]) {
    case 3:
      rest = 9;
      break;
    case 4:
      rest = 7;
      break;
    case 5:
      rest = 5;
      break;
    default:
      ADD_FAILURE() << "unexpected client message " << int{type[0]};
      return {};
  }
  auto body = recv(rest);
  if (body.size() != rest) return {};
  type.insert(type.end(), body.begin(), body.end());
  return type;
}

std::vector<std::uint8_t> Peer::next_input_message() {
  for (;;) {
    auto m = next_message();
    if (m.empty() || m[0] != 3) return m;
    ++update_requests;
  }
}

std::vector<std::uint8_t> Peer::next_update_request() {
  auto m = next_message();
  if (!m.empty() && m[0] == 3) ++update_requests;
  return m;
}

bool Peer::client_closes_within(std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  std::uint8_t sink[4096];
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t r = ::recv(fd_, sink, sizeof sink, 0);
    if (r <= 0) return true;
  }
  return false;
}

FakeServer::FakeServer(std::function<void(Peer&)> script) {
  listener_ = listen_loopback(port_);
  thread_ = std::thread([this, script = std::move(script)] {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 20'000) <= 0) return;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    accepted_ = true;
    Peer peer(fd);
    script(peer);
  });
}

FakeServer::~FakeServer() {
  thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

void handshake_none(Peer& peer, std::uint16_t width, std::uint16_t height) {
  peer.send("RFB 003.008\n");
  EXPECT_EQ(peer.recv(12), (Wire().text("RFB 003.008\n").bytes));
  peer.send(Wire().u8(1).u8(1));
  EXPECT_EQ(peer.recv(1), std::vector<std::uint8_t>{1});
  peer.send(Wire().u32(0));
  EXPECT_EQ(peer.recv(1), std::vector<std::uint8_t>{1});  // shared flag
  peer.send(server_init(width, height, "fake"));
  EXPECT_EQ(peer.recv(20), (std::vector<std::uint8_t>{0, 0,   0, 0,   32, 24, 0, 1, 0, 255,
                                                      0, 255, 0, 255, 16, 8,  0, 0, 0, 0}));
  EXPECT_EQ(peer.recv(16),
            (std::vector<std::uint8_t>{2, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2}));
  EXPECT_EQ(peer.next_update_request(),
            (Wire().u8(3).u8(0).u16(0).u16(0).u16(width).u16(height).bytes));
}

}  // namespace remote::rfb::testing
