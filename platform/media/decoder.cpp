#include "media/decoder.h"

#include <cstring>

#include "media/limits.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace kova::callstream {
namespace {

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScaleDeleter {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

std::string error_text(int code) {
  char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buffer, sizeof(buffer));
  return buffer;
}

// Converts between a codec picture format and packed RGBA, keeping the
// scaler for as long as the geometry stays the same.
class Converter {
 public:
  bool convert_to_rgba(const AVFrame& frame, DecodedFrame& out) {
    auto format = static_cast<AVPixelFormat>(frame.format);
    SwsContext* context = sws_getCachedContext(scaler_.release(), frame.width, frame.height,
                                               format, frame.width, frame.height,
                                               AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr,
                                               nullptr);
    scaler_.reset(context);
    if (context == nullptr) return false;
    const auto width = static_cast<std::uint32_t>(frame.width);
    const auto height = static_cast<std::uint32_t>(frame.height);
    out.width = width;
    out.height = height;
    out.pixels.resize(std::size_t{width} * height * 4);
    std::uint8_t* planes[4] = {out.pixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {frame.width * 4, 0, 0, 0};
    sws_scale(context, frame.data, frame.linesize, 0, frame.height, planes, strides);
    return true;
  }

  bool convert_from_rgba(const std::uint8_t* rgba, AVFrame& frame) {
    SwsContext* context = sws_getCachedContext(scaler_.release(), frame.width, frame.height,
                                               AV_PIX_FMT_RGBA, frame.width, frame.height,
                                               static_cast<AVPixelFormat>(frame.format),
                                               SWS_POINT, nullptr, nullptr, nullptr);
    scaler_.reset(context);
    if (context == nullptr) return false;
    const std::uint8_t* planes[4] = {rgba, nullptr, nullptr, nullptr};
    int strides[4] = {frame.width * 4, 0, 0, 0};
    sws_scale(context, planes, strides, 0, frame.height, frame.data, frame.linesize);
    return true;
  }

 private:
  std::unique_ptr<SwsContext, ScaleDeleter> scaler_;
};

// The codec libraries log to stderr by default; a damaged stream from a
// device is expected input, not something to print.
void silence_codec_logging() {
  static const bool silenced = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)silenced;
}

bool within_limits(const AVFrame& frame) {
  return frame.width > 0 && frame.height > 0 &&
         static_cast<std::uint32_t>(frame.width) <= max_frame_dimension &&
         static_cast<std::uint32_t>(frame.height) <= max_frame_dimension;
}

}  // namespace

struct Decoder::State {
  CodecContext context;
  Frame frame{av_frame_alloc()};
  Packet packet{av_packet_alloc()};
  Converter converter;
  std::vector<std::uint8_t> padded;
};

Decoder::Decoder() : state_(std::make_unique<State>()) {
  silence_codec_logging();
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (codec == nullptr) return;
  CodecContext context(avcodec_alloc_context3(codec));
  if (!context) return;
  context->thread_count = 1;
  // The newest picture matters, not every picture: never hold frames back.
  context->flags |= AV_CODEC_FLAG_LOW_DELAY;
  context->max_pixels = std::int64_t{max_frame_dimension} * max_frame_dimension;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return;
  state_->context = std::move(context);
}

Decoder::~Decoder() = default;
Decoder::Decoder(Decoder&&) noexcept = default;
Decoder& Decoder::operator=(Decoder&&) noexcept = default;

std::optional<DecodedFrame> Decoder::decode(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> none;
  return decode(bytes, none);
}

std::optional<DecodedFrame> Decoder::decode(std::span<const std::uint8_t> bytes,
                                            std::vector<std::uint8_t>& spare) {
  State& s = *state_;
  if (!s.context || !s.frame || !s.packet || bytes.empty() ||
      bytes.size() > max_encoded_frame_bytes) {
    return std::nullopt;
  }
  // The codec's bitstream reader may read past the end; it requires zeroed
  // padding after the data.
  s.padded.assign(bytes.begin(), bytes.end());
  s.padded.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  s.packet->data = s.padded.data();
  s.packet->size = static_cast<int>(bytes.size());
  int sent = avcodec_send_packet(s.context.get(), s.packet.get());
  s.packet->data = nullptr;
  s.packet->size = 0;
  if (sent < 0 && sent != AVERROR(EAGAIN)) return std::nullopt;

  std::optional<DecodedFrame> newest;
  while (avcodec_receive_frame(s.context.get(), s.frame.get()) == 0) {
    if (within_limits(*s.frame)) {
      // Storage of a picture this call already made beats the spare: only
      // the newest picture is returned.
      std::vector<std::uint8_t>& storage = newest ? newest->pixels : spare;
      DecodedFrame picture;
      picture.pixels = std::move(storage);
      if (s.converter.convert_to_rgba(*s.frame, picture))
        newest = std::move(picture);
      else
        storage = std::move(picture.pixels);
    }
    av_frame_unref(s.frame.get());
  }
  return newest;
}

struct Encoder::State {
  CodecContext context;
  Frame frame{av_frame_alloc()};
  Packet packet{av_packet_alloc()};
  Converter converter;
  std::int64_t next_pts = 0;
};

Encoder::Encoder(std::unique_ptr<State> state) : state_(std::move(state)) {}
Encoder::~Encoder() = default;
Encoder::Encoder(Encoder&&) noexcept = default;
Encoder& Encoder::operator=(Encoder&&) noexcept = default;

std::expected<Encoder, std::string> Encoder::create(std::uint32_t width, std::uint32_t height,
                                                    int frames_per_second, int key_interval) {
  if (width == 0 || height == 0 || width % 2 != 0 || height % 2 != 0 ||
      width > max_frame_dimension || height > max_frame_dimension || frames_per_second <= 0 ||
      key_interval <= 0) {
    return std::unexpected("unsupported picture geometry");
  }
  silence_codec_logging();
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_H264);
  if (codec == nullptr) return std::unexpected("no H.264 encoder is available");
  auto state = std::make_unique<State>();
  state->context.reset(avcodec_alloc_context3(codec));
  if (!state->context || !state->frame || !state->packet) {
    return std::unexpected("out of memory");
  }
  AVCodecContext& c = *state->context;
  c.width = static_cast<int>(width);
  c.height = static_cast<int>(height);
  c.pix_fmt = AV_PIX_FMT_YUV420P;
  c.time_base = AVRational{1, frames_per_second};
  c.framerate = AVRational{frames_per_second, 1};
  c.gop_size = key_interval;
  c.max_b_frames = 0;
  c.thread_count = 1;
  av_opt_set(c.priv_data, "preset", "ultrafast", 0);
  av_opt_set(c.priv_data, "tune", "zerolatency", 0);
  // Parameter sets in every key frame let a viewer join mid-stream.
  av_opt_set(c.priv_data, "x264-params", "repeat-headers=1", 0);
  if (int opened = avcodec_open2(&c, codec, nullptr); opened < 0) {
    return std::unexpected("could not open the H.264 encoder: " + error_text(opened));
  }
  AVFrame& f = *state->frame;
  f.format = c.pix_fmt;
  f.width = c.width;
  f.height = c.height;
  if (int allocated = av_frame_get_buffer(&f, 0); allocated < 0) {
    return std::unexpected("could not allocate a picture: " + error_text(allocated));
  }
  return Encoder(std::move(state));
}

std::expected<std::vector<std::uint8_t>, std::string> Encoder::encode(
    std::span<const std::uint8_t> rgba) {
  State& s = *state_;
  AVFrame& f = *s.frame;
  if (rgba.size() != static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height) * 4) {
    return std::unexpected("picture size does not match the encoder");
  }
  if (int writable = av_frame_make_writable(&f); writable < 0) {
    return std::unexpected("picture buffer unavailable: " + error_text(writable));
  }
  if (!s.converter.convert_from_rgba(rgba.data(), f)) {
    return std::unexpected("could not convert the picture");
  }
  f.pts = s.next_pts++;
  if (int sent = avcodec_send_frame(s.context.get(), &f); sent < 0) {
    return std::unexpected("encoding failed: " + error_text(sent));
  }
  std::vector<std::uint8_t> out;
  while (avcodec_receive_packet(s.context.get(), s.packet.get()) == 0) {
    out.insert(out.end(), s.packet->data, s.packet->data + s.packet->size);
    av_packet_unref(s.packet.get());
  }
  return out;
}

}  // namespace kova::callstream
