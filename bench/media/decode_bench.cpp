// H.264 frames per second decoded and converted to RGBA rows by a device
// session's decoder thread ("remote-kova-decode": the encoded slot, the
// wake-up token, the decoder, the decoded slot), next to a plain
// libavcodec + libswscale loop decoding the same stream with the same codec
// options into the same pixel format. The two take turns frame by frame; the
// counters give each rate and their ratio (thread / plain).
//
// The stream is made once per run with the platform's encoder: a desktop-like
// picture (a gradient, a window that moves, a text pane that scrolls) with a
// key frame every 30 frames and predicted frames between them.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "device/session.h"
#include "media/decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int stream_frames = 60;
constexpr int key_interval = 30;

// A desktop at frame `n`: the picture moves a little every frame, as a
// session's surface does, so predicted frames carry real motion.
void paint_desktop(Bytes& rgba, std::uint32_t w, std::uint32_t h, int n) {
  const std::uint32_t win_w = w / 2, win_h = h / 2;
  const std::uint32_t win_x = (w / 8 + static_cast<std::uint32_t>(n) * 6) % (w - win_w);
  const std::uint32_t win_y = h / 6 + static_cast<std::uint32_t>(n % 20) * 2;
  const std::uint32_t scroll = static_cast<std::uint32_t>(n) * 3;
  for (std::uint32_t y = 0; y < h; ++y) {
    std::uint8_t* p = &rgba[std::size_t{y} * w * 4];
    for (std::uint32_t x = 0; x < w; ++x, p += 4) {
      p[0] = static_cast<std::uint8_t>(30 + 80 * x / w);
      p[1] = static_cast<std::uint8_t>(40 + 60 * y / h);
      p[2] = static_cast<std::uint8_t>(110 + 40 * (w - x) / w);
      p[3] = 255;
      const bool in_window = x >= win_x && x < win_x + win_w && y >= win_y && y < win_y + win_h;
      if (!in_window) continue;
      if (y < win_y + 28) {  // title bar
        p[0] = 60, p[1] = 64, p[2] = 72;
        continue;
      }
      // Text: glyph-sized cells lit by a hash of their scrolled row and column.
      const std::uint32_t row = (y - win_y + scroll) / 16, col = (x - win_x) / 8;
      const std::uint32_t gx = (x - win_x) % 8, gy = (y - win_y + scroll) % 16;
      const std::uint32_t hash = (row * 2654435761u) ^ (col * 40503u) ^ (gx * 7 + gy * 13);
      const bool ink = col < 20 + row * 7 % 60 && gy > 2 && gy < 13 && gx < 7 && (hash & 3) == 0;
      const std::uint8_t v = ink ? 20 : 245;
      p[0] = v, p[1] = v, p[2] = v;
    }
  }
}

std::vector<Bytes> make_stream(std::uint32_t w, std::uint32_t h) {
  auto encoder = kova::callstream::Encoder::create(w, h, 30, key_interval);
  if (!encoder) {
    std::fprintf(stderr, "encoder: %s\n", encoder.error().c_str());
    return {};
  }
  std::vector<Bytes> frames;
  Bytes rgba(std::size_t{w} * h * 4);
  for (int n = 0; n < stream_frames; ++n) {
    paint_desktop(rgba, w, h, n);
    auto bytes = encoder->encode(rgba);
    if (!bytes || bytes->empty()) return {};
    frames.push_back(std::move(*bytes));
  }
  return frames;
}

// The plain loop: the decoder's codec options (one thread, low delay, the
// same pixel limit), packets padded once up front, one reused RGBA buffer.
class PlainDecoder {
 public:
  PlainDecoder() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    context_ = avcodec_alloc_context3(codec);
    context_->thread_count = 1;
    context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context_->max_pixels = std::int64_t{8192} * 8192;
    ok_ = avcodec_open2(context_, codec, nullptr) >= 0;
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
  }
  ~PlainDecoder() {
    sws_freeContext(scaler_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
  }
  PlainDecoder(const PlainDecoder&) = delete;
  PlainDecoder& operator=(const PlainDecoder&) = delete;

  // Pictures produced from `padded` (each with AV_INPUT_BUFFER_PADDING_SIZE
  // zero bytes beyond `size`).
  int decode(const Bytes& padded, std::size_t size) {
    if (!ok_) return 0;
    packet_->data = const_cast<std::uint8_t*>(padded.data());
    packet_->size = static_cast<int>(size);
    avcodec_send_packet(context_, packet_);
    int pictures = 0;
    while (avcodec_receive_frame(context_, frame_) == 0) {
      scaler_ = sws_getCachedContext(
          scaler_, frame_->width, frame_->height, static_cast<AVPixelFormat>(frame_->format),
          frame_->width, frame_->height, AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr, nullptr);
      rgba_.resize(std::size_t(frame_->width) * std::size_t(frame_->height) * 4);
      std::uint8_t* planes[4] = {rgba_.data(), nullptr, nullptr, nullptr};
      int strides[4] = {frame_->width * 4, 0, 0, 0};
      sws_scale(scaler_, frame_->data, frame_->linesize, 0, frame_->height, planes, strides);
      benchmark::DoNotOptimize(rgba_.data());
      av_frame_unref(frame_);
      ++pictures;
    }
    return pictures;
  }

 private:
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* scaler_ = nullptr;
  Bytes rgba_;
  bool ok_ = false;
};

double seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// One frame through the plain loop; seconds, or -1 when it gave no picture.
double plain_frame(PlainDecoder& decoder, const Bytes& padded, std::size_t size) {
  const auto start = Clock::now();
  if (decoder.decode(padded, size) != 1) return -1;
  return seconds(Clock::now() - start);
}

// One frame through the session as the user-interface thread drives it: the
// frame event copies the bytes into the encoded slot and wakes the decoder
// thread; the picture is then taken from the decoded slot (and its storage
// given back, as the view does) before the next frame goes in, so no frame is
// skipped and every predicted frame has its reference. Seconds, or -1 when
// the picture does not arrive.
double thread_frame(remote::device::DeviceSession& session, const Bytes& bytes) {
  const auto start = Clock::now();
  session.handle(remote::device::Frame{bytes});
  const auto give_up = start + std::chrono::seconds(5);
  std::optional<remote::device::DecodedFrame> picture;
  while (!(picture = session.take_picture())) {
    if (Clock::now() > give_up) return -1;
    // The view would poll at its frame rate; polling at once measures the
    // thread path itself.
    std::this_thread::yield();
  }
  const double taken = seconds(Clock::now() - start);
  benchmark::DoNotOptimize(picture->pixels.data());
  session.recycle(std::move(*picture));
  return taken;
}

void h264_decode(benchmark::State& state) {
  const auto w = static_cast<std::uint32_t>(state.range(0));
  const auto h = static_cast<std::uint32_t>(state.range(1));
  const std::vector<Bytes> frames = make_stream(w, h);
  if (frames.empty()) {
    state.SkipWithError("could not encode the stream");
    return;
  }
  std::vector<Bytes> padded;
  std::vector<std::size_t> sizes;
  std::size_t stream_bytes = 0;
  for (const Bytes& f : frames) {
    Bytes p(f);
    p.resize(f.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    padded.push_back(std::move(p));
    sizes.push_back(f.size());
    stream_bytes += f.size();
  }
  auto session = remote::device::DeviceSession::start(1);
  if (!session) {
    state.SkipWithError(session.error().c_str());
    return;
  }
  session->handle(remote::device::Started{w, h});
  PlainDecoder plain;

  // The two paths take turns frame by frame, so a busy machine slows both
  // alike.
  double ours = 0, theirs = 0;
  bool ours_first = true;
  for (auto _ : state) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
      double a = 0, b = 0;
      if (ours_first) {
        a = thread_frame(*session, frames[i]);
        b = plain_frame(plain, padded[i], sizes[i]);
      } else {
        b = plain_frame(plain, padded[i], sizes[i]);
        a = thread_frame(*session, frames[i]);
      }
      if (a < 0 || b < 0) {
        state.SkipWithError("a frame of the stream gave no picture");
        return;
      }
      ours += a;
      theirs += b;
      ours_first = !ours_first;
    }
  }
  const double n = static_cast<double>(frames.size()) * static_cast<double>(state.iterations());
  state.counters["thread_fps"] = n / ours;
  state.counters["plain_fps"] = n / theirs;
  state.counters["ratio"] = theirs / ours;
  state.counters["stream_KiB"] = static_cast<double>(stream_bytes) / 1024;
}
BENCHMARK(h264_decode)
    ->Args({1280, 720})
    ->Args({1920, 1080})
    ->Iterations(6)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
