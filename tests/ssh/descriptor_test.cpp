// The connection's descriptor is closed exactly once, whichever way the
// session ends. libssh closes the socket it holds on some paths and not on
// others; a second close would land on whatever another thread had opened
// under the same number in the meantime.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "ssh/libssh_session.h"
#include "sshd_fixture.h"
#include "support/loopback.h"

namespace remote::ssh {
namespace {

std::size_t open_descriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

// Descriptors opened where the connection's numbers were; each must survive
// the session object's end.
struct Bystanders {
  std::vector<int> fds;
  Bystanders() {
    for (int i = 0; i < 16; ++i)
      fds.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  }
  ~Bystanders() {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
  }
  bool all_open() const {
    for (int fd : fds)
      if (fd < 0 || ::fcntl(fd, F_GETFD) == -1) return false;
    return true;
  }
};

// Accepts one connection, sends a version line and hangs up: the handshake
// fails on libssh's side after it has taken the socket.
class HangUpServer {
 public:
  HangUpServer() {
    listener_ = kova::testing::listen_loopback(port_);
    thread_ = std::thread([this] {
      const int peer = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (peer < 0) return;
      const char banner[] = "SSH-2.0-HangUp\r\n";
      [[maybe_unused]] auto sent = ::write(peer, banner, std::strlen(banner));
      ::close(peer);
    });
  }
  ~HangUpServer() {
    thread_.join();
    ::close(listener_);
  }
  std::uint16_t port() const { return port_; }

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

// Lets `end` take a session to its end, opens bystanders just before the
// session object goes, and checks that they survive it and nothing leaked.
template <class End>
void expect_closed_once(End end) {
  const std::size_t before = open_descriptors();
  std::optional<Bystanders> bystanders;
  {
    LibsshSession session;
    end(session);
    bystanders.emplace();
  }
  EXPECT_TRUE(bystanders->all_open());
  bystanders.reset();
  EXPECT_EQ(open_descriptors(), before);
}

TEST(SshDescriptor, FailedHandshakeClosesTheSocketOnceAndLeaksNothing) {
  expect_closed_once([](LibsshSession& session) {
    HangUpServer server;
    EXPECT_FALSE(session.connect("127.0.0.1", server.port(), "nobody").has_value());
  });
}

TEST(SshDescriptor, ConnectedSessionLeaksNothingWhetherDisconnectedOrDropped) {
  auto sshd = testing::Sshd::start({});
  ASSERT_TRUE(sshd.has_value()) << sshd.error();
  for (const bool disconnect_first : {true, false}) {
    SCOPED_TRACE(disconnect_first ? "disconnected" : "dropped");
    expect_closed_once([&](LibsshSession& session) {
      ASSERT_TRUE(session.connect("127.0.0.1", (*sshd)->port(), "nobody").has_value());
      if (disconnect_first) session.disconnect();
    });
  }
}

TEST(SshDescriptor, LostConnectionClosesTheSocketOnce) {
  auto sshd = testing::Sshd::start({});
  ASSERT_TRUE(sshd.has_value()) << sshd.error();
  expect_closed_once([&](LibsshSession& session) {
    ASSERT_TRUE(session.connect("127.0.0.1", (*sshd)->port(), "nobody").has_value());
    (*sshd)->kill_now();
    // libssh notices the hang-up while it waits for an answer and drops its
    // socket on the way.
    EXPECT_FALSE(session.authenticate(PasswordCredentials{"wrong"}).has_value());
  });
}

}  // namespace
}  // namespace remote::ssh
