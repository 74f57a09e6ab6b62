// rfb_replay [--tcp] FILE: replays a recorded server stream through the
// client's handshake and decoders (client writes discarded) and prints wire
// throughput, updates and painted pixels per second, next to memcpy of the
// same number of bytes measured in the same run. --tcp plays the stream from
// a small replay server over a loopback connection instead of from memory.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "rfb/handshake.h"
#include "rfb/socket.h"
#include "rfb/update.h"
#include "stream_format.h"

namespace {

using namespace remote::rfb;
using Clock = std::chrono::steady_clock;

// Handshake and every message until the stream ends; false on a decode error.
bool replay(Stream& in) {
  auto init = run_handshake(in, "");
  if (!init) {
    std::fprintf(stderr, "handshake: %s\n", init.error().text.c_str());
    return false;
  }
  Framebuffer fb = Framebuffer::create(init->width, init->height);
  std::vector<std::uint8_t> scratch;
  for (;;) {
    auto type = read_u8(in);
    if (!type) return type.error().kind == ErrorKind::UnexpectedEof;
    if (auto r = read_server_message(in, *type, fb, scratch); !r) {
      std::fprintf(stderr, "decode: %s\n", r.error().text.c_str());
      return false;
    }
  }
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double replay_memory(const std::vector<std::uint8_t>& bytes) {
  MemoryStream in(bytes);
  in.discard_writes();
  const auto start = Clock::now();
  if (!replay(in)) return -1;
  return seconds_since(start);
}

// The replay server accepts one connection and writes the whole stream.
double replay_tcp(const std::vector<std::uint8_t>& bytes) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 1) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("replay server");
    return -1;
  }
  std::thread server([&] {
    const int fd = ::accept(listener, nullptr, nullptr);
    std::size_t sent = 0;
    while (fd >= 0 && sent < bytes.size()) {
      const ssize_t r = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (r <= 0) break;
      sent += static_cast<std::size_t>(r);
    }
    if (fd < 0) return;
    // Drain the client's requests until it closes: closing with unread bytes
    // would reset the connection before the client has read everything.
    ::shutdown(fd, SHUT_WR);
    std::uint8_t sink[4096];
    while (::recv(fd, sink, sizeof sink, 0) > 0) {
    }
    ::close(fd);
  });
  SocketCanceller canceller;
  const auto start = Clock::now();
  auto fd = connect_tcp("127.0.0.1", ntohs(addr.sin_port), canceller);
  double elapsed = -1;
  if (fd) {
    SocketStream in(*fd, canceller);
    if (replay(in)) elapsed = seconds_since(start);
  }
  server.join();
  ::close(listener);
  return elapsed;
}

double memcpy_seconds(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& dst) {
  const auto start = Clock::now();
  std::memcpy(dst.data(), bytes.data(), bytes.size());
  const double t = seconds_since(start);
  if (dst[bytes.size() / 2] != bytes[bytes.size() / 2]) std::abort();
  return t;
}

// memcpy of `pixels` * 4 bytes in framebuffer-sized blocks: the ceiling for
// painting that many pixels when every pixel is moved once.
double painted_memcpy_seconds(std::uint64_t pixels, std::size_t block) {
  std::vector<std::uint8_t> src(block, 3), dst(block, 0);
  std::uint64_t left = pixels * 4;
  const auto start = Clock::now();
  while (left > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block));
    std::memcpy(dst.data(), src.data(), n);
    left -= n;
  }
  const double t = seconds_since(start);
  if (dst[0] != 3) std::abort();
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const bool tcp = argc == 3 && std::string(argv[1]) == "--tcp";
  if (argc != 2 && !tcp) {
    std::fputs("usage: rfb_replay [--tcp] FILE\n", stderr);
    return 2;
  }
  std::ifstream file(argv[argc - 1], std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
  remote::rfb::bench::StreamStats stats;
  if (bytes.empty() || !remote::rfb::bench::scan_stream(bytes, stats)) {
    std::fprintf(stderr, "%s is not a recorded stream\n", argv[argc - 1]);
    return 1;
  }
  std::vector<std::uint8_t> dst(bytes.size(), 1);
  constexpr int runs = 5;
  double best = 1e30, best_memcpy = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double t = tcp ? replay_tcp(bytes) : replay_memory(bytes);
    if (t < 0) return 1;
    best = std::min(best, t);
    best_memcpy = std::min(best_memcpy, memcpy_seconds(bytes, dst));
  }
  const double painted_memcpy = painted_memcpy_seconds(stats.painted_pixels, 1920u * 1080u * 4u);
  const double mb = static_cast<double>(bytes.size()) / 1e6;
  std::printf("source            %s\n", tcp ? "loopback TCP" : "memory");
  std::printf("stream            %.1f MB, %llu updates, %llu rectangles, %.1f Mpixels painted\n",
              mb, static_cast<unsigned long long>(stats.updates),
              static_cast<unsigned long long>(stats.rectangles),
              static_cast<double>(stats.painted_pixels) / 1e6);
  std::printf("replay            %.1f MB/s wire, %.1f updates/s, %.0f Mpixels/s (best of %d)\n",
              mb / best, static_cast<double>(stats.updates) / best,
              static_cast<double>(stats.painted_pixels) / 1e6 / best, runs);
  std::printf("memcpy            %.1f MB/s of the same bytes\n", mb / best_memcpy);
  std::printf("replay / memcpy   %.2f of memcpy speed\n", best_memcpy / best);
  std::printf("memcpy of pixels  %.0f Mpixels/s (4 bytes each, 1080p blocks)\n",
              static_cast<double>(stats.painted_pixels) / 1e6 / painted_memcpy);
  return 0;
}
