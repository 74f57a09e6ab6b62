// The VNC frame path at 1920 x 1080: from a frame the worker has published
// in its frame slot to the picture on the screen image. A small RFB server on
// loopback answers every update request with a full Raw update whose picture
// differs from the last; the application paints as the window would, and
// each benchmark iteration is the one paint that takes a new frame (take,
// convert into the view's surface, draw the screen). Between iterations the
// application paints idly, every 2 ms, until the next frame is published.
//
// Counters: the bytes copied per shown frame (the view's conversion plus
// whole-framebuffer copies the worker made because both of its buffers were
// still shared, by the view or by the frame slot, plus the lagging tiles it
// brought over) and how many copies of a frame that is.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "app/reducer.h"
#include "app/remote_app.h"
#include "app/session.h"
#include "ui_toolkit/canvas.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t width = 1920;
constexpr std::uint16_t height = 1080;

void put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}
void put32(Bytes& b, std::uint32_t v) {
  put16(b, v >> 16);
  put16(b, v & 0xffff);
}

bool write_all(int fd, const std::uint8_t* data, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    data += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}
bool write_all(int fd, const Bytes& b) {
  return write_all(fd, b.data(), b.size());
}

bool read_exact(int fd, std::uint8_t* data, std::size_t n) {
  while (n > 0) {
    const ssize_t r = ::recv(fd, data, n, 0);
    if (r <= 0) return false;
    data += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

// A full-screen Raw update in the client's format (blue, green, red, unused),
// a diagonal gradient shifted by `phase` so every frame differs.
Bytes full_update(int phase) {
  Bytes b{0, 0};
  put16(b, 1);
  put16(b, 0), put16(b, 0), put16(b, width), put16(b, height), put32(b, 0);
  b.reserve(b.size() + std::size_t{width} * height * 4);
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      const auto v = static_cast<std::uint8_t>((x + y + static_cast<std::uint32_t>(phase) * 7) / 8);
      b.insert(b.end(),
               {v, static_cast<std::uint8_t>(255 - v), static_cast<std::uint8_t>(y / 5), 0});
    }
  return b;
}

// RFB 3.8, security None, one client; answers each update request with the
// next of `frames`, at once or no sooner than `interval` after the last
// update. Ends when the client goes.
class RawServer {
 public:
  explicit RawServer(std::chrono::milliseconds interval)
      : frames_{full_update(0), full_update(1)}, interval_(interval) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~RawServer() {
    ::shutdown(listener_, SHUT_RDWR);
    if (client_ >= 0) ::shutdown(client_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
    if (client_ >= 0) ::close(client_);
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;
  std::uint16_t port() const { return port_; }

 private:
  void serve() {
    client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client_ < 0) return;
    const int fd = client_;
    std::uint8_t buf[64];
    Bytes init;
    put16(init, width), put16(init, height);
    init.insert(init.end(), {32, 24, 0, 1});
    put16(init, 255), put16(init, 255), put16(init, 255);
    init.insert(init.end(), {16, 8, 0, 0, 0, 0});
    put32(init, 5);
    init.insert(init.end(), {'b', 'e', 'n', 'c', 'h'});
    if (!write_all(fd, Bytes{'R', 'F', 'B', ' ', '0', '0', '3', '.', '0', '0', '8', '\n'}) ||
        !read_exact(fd, buf, 12) || !write_all(fd, Bytes{1, 1}) || !read_exact(fd, buf, 1) ||
        !write_all(fd, Bytes{0, 0, 0, 0}) || !read_exact(fd, buf, 1) || !write_all(fd, init))
      return;
    std::size_t next = 0;
    auto last_update = Clock::now();
    for (;;) {
      if (!read_exact(fd, buf, 1)) return;
      switch (buf[0]) {
        case 0:  // SetPixelFormat
          if (!read_exact(fd, buf, 19)) return;
          break;
        case 2: {  // SetEncodings
          if (!read_exact(fd, buf, 3)) return;
          const std::size_t n = (std::size_t{buf[1]} << 8) | buf[2];
          for (std::size_t i = 0; i < n; ++i)
            if (!read_exact(fd, buf, 4)) return;
          break;
        }
        case 3:  // FramebufferUpdateRequest
          if (!read_exact(fd, buf, 9)) return;
          std::this_thread::sleep_until(last_update + interval_);
          last_update = Clock::now();
          if (!write_all(fd, frames_[next])) return;
          next = (next + 1) % frames_.size();
          break;
        case 4:  // KeyEvent
          if (!read_exact(fd, buf, 7)) return;
          break;
        case 5:  // PointerEvent
          if (!read_exact(fd, buf, 5)) return;
          break;
        default:
          return;
      }
    }
  }

  std::vector<Bytes> frames_;
  std::chrono::milliseconds interval_;
  int listener_ = -1;
  std::atomic<int> client_{-1};
  std::uint16_t port_ = 0;
  std::thread thread_;
};

void vnc_frame_to_screen(benchmark::State& state) {
  const bool fit = state.range(0) != 0;
  ::setenv("REMOTE_LIVE_SESSIONS", "1", 1);
  RawServer server(std::chrono::milliseconds(state.range(1)));
  remote::profiles::ConnectionProfile desk;
  desk.id = remote::profiles::ConnectionId::random();
  desk.name = "Desk";
  desk.kind = remote::profiles::ConnectionKind::Vnc;
  desk.host = "127.0.0.1";
  desk.port = server.port();
  remote::app::RemoteApp app({desk}, {});
  kova::doc::Document document;
  app.document_changed(document);
  app.layout(kova::ui::Rect::from_xywh(0, 0, 1280, 800));
  app.set_reduced_motion(true);
  app.state().fit_to_window = fit;
  auto canvas = kova::ui::Canvas::create({1280, 800}, 1);
  if (!canvas) {
    state.SkipWithError("no canvas");
    return;
  }
  const auto paint = [&] {
    kova::ui::Painter painter(*canvas);
    app.paint(painter);
  };
  paint();
  remote::app::connect(app.state(), desk.id);

  const auto& view = app.view().session;
  std::uint64_t taken = 0;
  double idle_seconds = 0;
  std::uint64_t idle_paints = 0;
  for (auto _ : state) {
    const auto give_up = Clock::now() + std::chrono::seconds(10);
    for (;;) {
      const auto start = Clock::now();
      paint();
      const auto took = Clock::now() - start;
      if (view.pictures_taken != taken) {
        taken = view.pictures_taken;
        state.SetIterationTime(std::chrono::duration<double>(took).count());
        break;
      }
      idle_seconds += std::chrono::duration<double>(took).count();
      ++idle_paints;
      if (Clock::now() > give_up) {
        state.SkipWithError("no frame arrived");
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  const double frame_bytes = double{width} * height * 4;
  const double shown = static_cast<double>(view.pictures_taken);
  const remote::rfb::VncFrameCopies worker = app.state().session->vnc->frame_copies();
  const double copied = static_cast<double>(view.picture.bytes_copied()) +
                        static_cast<double>(worker.whole_pictures) * frame_bytes +
                        static_cast<double>(worker.tile_bytes);
  state.counters["bytes_copied_per_frame"] = copied / shown;
  state.counters["frame_copies_per_frame"] = copied / shown / frame_bytes;
  state.counters["worker_copies"] = static_cast<double>(worker.whole_pictures);
  state.counters["worker_tile_copies_per_frame"] =
      static_cast<double>(worker.tile_bytes) / shown / frame_bytes;
  state.counters["idle_paint_ms"] =
      idle_paints ? idle_seconds * 1000 / static_cast<double>(idle_paints) : 0;
  remote::app::disconnect(app.state());
  paint();
}
// interval_ms 0: every update request answered at once (the worker
// publishes faster than the view shows); 33: a desktop changing 30 times a
// second.
BENCHMARK(vnc_frame_to_screen)
    ->ArgNames({"fit", "interval_ms"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 33})
    ->Args({0, 33})
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
