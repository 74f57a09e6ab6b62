// rfb_replay [--memory | --tcp] FILE [RUNS]: replays a recorded server stream
// through the client's handshake and decoders (client writes discarded).
//
// By default it measures, interleaved in the same run: our client decoding
// from memory (the updates only, after the handshake and the framebuffer's
// allocation, as memcpy writes into memory already mapped), our client over a
// loopback connection from a small replay server and libvncclient over the
// same kind of connection (both timed from connect to the end of the stream),
// and memcpy of the same number of bytes. It prints each one's wire MB/s,
// updates/s and painted megapixels/s (best of RUNS, default 9) and the ratios
// between them, and checks that both clients end with the same picture.
// --memory and --tcp measure only our client, for profiling.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

#include "peer_client.h"
#include "replay_server.h"
#include "rfb/handshake.h"
#include "rfb/socket.h"
#include "rfb/update.h"
#include "stream_format.h"

namespace {

using namespace remote::rfb;
using remote::rfb::bench::PeerRun;
using remote::rfb::bench::ReplayServer;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct OurRun {
  double seconds = 0;
  std::uint64_t updates = 0;
  std::vector<std::uint8_t> picture;  // RGBA, kept only when asked for
};

// Handshake and every message until the stream ends; nothing on an error.
// Timed from `start`, or when it is not given from the first message after
// the handshake and the framebuffer's allocation.
std::optional<OurRun> replay(Stream& in, std::optional<Clock::time_point> start,
                             bool keep_picture) {
  auto init = run_handshake(in, "");
  if (!init) {
    std::fprintf(stderr, "handshake: %s\n", init.error().text.c_str());
    return std::nullopt;
  }
  Framebuffer fb = Framebuffer::create(init->width, init->height);
  std::vector<std::uint8_t> scratch;
  OurRun run;
  if (!start) start = Clock::now();
  for (;;) {
    auto type = read_u8(in);
    if (!type) {
      if (type.error().kind != ErrorKind::UnexpectedEof) return std::nullopt;
      break;
    }
    auto painted = read_server_message(in, *type, fb, scratch);
    if (!painted) {
      std::fprintf(stderr, "decode: %s\n", painted.error().text.c_str());
      return std::nullopt;
    }
    if (*painted) ++run.updates;
  }
  run.seconds = seconds_since(*start);
  if (keep_picture) run.picture = fb.pixels();
  return run;
}

std::optional<OurRun> replay_memory(const std::vector<std::uint8_t>& bytes) {
  MemoryStream in(bytes);
  in.discard_writes();
  return replay(in, std::nullopt, false);
}

std::optional<OurRun> replay_tcp(ReplayServer& server, bool keep_picture) {
  server.serve_one();
  SocketCanceller canceller;
  const auto start = Clock::now();
  auto fd = connect_tcp("127.0.0.1", server.port(), canceller);
  std::optional<OurRun> run;
  if (fd) {
    SocketStream in(*fd, canceller);
    run = replay(in, start, keep_picture);
  }
  server.finish();
  return run;
}

std::optional<PeerRun> replay_peer(ReplayServer& server, std::vector<std::uint8_t>* picture) {
  server.serve_one();
  auto run = remote::rfb::bench::peer_replay(server.port(), picture);
  server.finish();
  return run;
}

double memcpy_seconds(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& dst) {
  const auto start = Clock::now();
  std::memcpy(dst.data(), bytes.data(), bytes.size());
  const double t = seconds_since(start);
  if (dst[bytes.size() / 2] != bytes[bytes.size() / 2]) std::abort();
  return t;
}

// The peer keeps wire pixels (blue, green, red, unused); ours are red, green,
// blue, opaque alpha. Pixels never painted are zero in both.
bool same_picture(const std::vector<std::uint8_t>& ours, const std::vector<std::uint8_t>& peer) {
  if (ours.size() != peer.size()) return false;
  for (std::size_t i = 0; i < ours.size(); i += 4) {
    const bool painted = ours[i + 3] != 0;
    if (ours[i] != peer[i + 2] || ours[i + 1] != peer[i + 1] || ours[i + 2] != peer[i] ||
        (!painted && (ours[i] | ours[i + 1] | ours[i + 2] | peer[i + 3]) != 0)) {
      return false;
    }
  }
  return true;
}

struct Best {
  double seconds = 1e30;
  void add(double s) { seconds = std::min(seconds, s); }
};

void print_row(const char* name, const Best& best, const bench::StreamStats& stats, double mb) {
  std::printf("%-24s %9.1f MB/s %9.1f updates/s %7.0f Mpixels/s\n", name, mb / best.seconds,
              static_cast<double>(stats.updates) / best.seconds,
              static_cast<double>(stats.painted_pixels) / 1e6 / best.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  std::string mode = "compare";
  if (arg < argc && (std::string(argv[arg]) == "--memory" || std::string(argv[arg]) == "--tcp")) {
    mode = argv[arg++] + 2;
  }
  if (arg >= argc || argc - arg > 2) {
    std::fputs("usage: rfb_replay [--memory | --tcp] FILE [RUNS]\n", stderr);
    return 2;
  }
  const char* path = argv[arg];
  const int runs = arg + 1 < argc ? std::max(1, std::atoi(argv[arg + 1])) : 9;
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  std::vector<std::uint8_t> bytes(file ? static_cast<std::size_t>(file.tellg()) : 0);
  file.seekg(0);
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bench::StreamStats stats;
  if (bytes.empty() || !bench::scan_stream(bytes, stats)) {
    std::fprintf(stderr, "%s is not a recorded stream\n", path);
    return 1;
  }
  ReplayServer server(bytes);
  if (server.port() == 0) {
    std::perror("replay server");
    return 1;
  }

  const bool memory = mode != "tcp", tcp = mode != "memory", peer = mode == "compare";
  std::vector<std::uint8_t> dst(bytes.size(), 1);
  std::vector<std::uint8_t> our_picture, peer_picture;
  Best best_memory, best_tcp, best_peer, best_memcpy;
  for (int i = 0; i < runs; ++i) {
    const bool last = i + 1 == runs;
    if (memory) {
      auto r = replay_memory(bytes);
      if (!r || r->updates != stats.updates) return 1;
      best_memory.add(r->seconds);
    }
    if (tcp) {
      auto r = replay_tcp(server, last && peer);
      if (!r || r->updates != stats.updates) return 1;
      best_tcp.add(r->seconds);
      if (last && peer) our_picture = std::move(r->picture);
    }
    if (peer) {
      auto r = replay_peer(server, last ? &peer_picture : nullptr);
      if (!r) {
        std::fputs("libvncclient refused the stream\n", stderr);
        return 1;
      }
      if (r->updates != stats.updates) {
        std::fprintf(stderr, "libvncclient finished %llu of %llu updates\n",
                     static_cast<unsigned long long>(r->updates),
                     static_cast<unsigned long long>(stats.updates));
        return 1;
      }
      best_peer.add(r->seconds);
    }
    best_memcpy.add(memcpy_seconds(bytes, dst));
  }

  const double mb = static_cast<double>(bytes.size()) / 1e6;
  std::printf("stream %s: %.1f MB, %llu updates, %llu rectangles, %.1f Mpixels painted\n", path, mb,
              static_cast<unsigned long long>(stats.updates),
              static_cast<unsigned long long>(stats.rectangles),
              static_cast<double>(stats.painted_pixels) / 1e6);
  std::printf("best of %d runs each, interleaved:\n", runs);
  if (memory) print_row("ours, memory (updates)", best_memory, stats, mb);
  if (tcp) print_row("ours, loopback TCP", best_tcp, stats, mb);
  if (peer) print_row("libvncclient, loopback", best_peer, stats, mb);
  std::printf("%-24s %9.1f MB/s of the same bytes\n", "memcpy", mb / best_memcpy.seconds);
  // Against memcpy only where nearly all bytes are pixels to convert; the
  // other encodings paint far more than they carry.
  if (memory && stats.raw_bytes * 10 > bytes.size() * 9) {
    std::printf("ours memory / memcpy      %.2f\n", best_memcpy.seconds / best_memory.seconds);
  }
  if (tcp && stats.raw_bytes * 10 > bytes.size() * 9) {
    std::printf("ours TCP / memcpy         %.2f\n", best_memcpy.seconds / best_tcp.seconds);
  }
  if (peer) {
    std::printf("ours TCP / libvncclient   %.2f x the pixels per second\n",
                best_peer.seconds / best_tcp.seconds);
    const bool same = same_picture(our_picture, peer_picture);
    std::printf("final pictures           %s\n", same ? "identical" : "DIFFER");
    if (!same) return 1;
  }
  return 0;
}
