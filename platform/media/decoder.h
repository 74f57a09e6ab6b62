// H.264 decoding into RGBA pictures, and the matching encoder the local
// demonstration device uses to produce a stream.
//
// A Decoder or Encoder belongs to one thread at a time; neither is shared.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kova::callstream {

// One decoded picture: 4 bytes per pixel in the order red, green, blue,
// alpha, rows top to bottom with no padding (stride = width * 4).
struct DecodedFrame {
  std::vector<std::uint8_t> pixels;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

class Decoder {
 public:
  // Never fails: when the codec cannot be set up, decode() yields nothing.
  Decoder();
  ~Decoder();
  Decoder(Decoder&&) noexcept;
  Decoder& operator=(Decoder&&) noexcept;

  // Feeds one encoded frame (Annex B byte stream: start codes and NAL units)
  // and returns the newest picture it completes, or nothing when the bytes
  // do not decode into a picture (garbage, a frame missing its reference, a
  // picture larger than the limits).
  std::optional<DecodedFrame> decode(std::span<const std::uint8_t> bytes);
  // The same, writing the picture into `spare`'s storage (an earlier
  // picture's pixels, given back) instead of fresh memory; `spare` is moved
  // from only when a picture results.
  std::optional<DecodedFrame> decode(std::span<const std::uint8_t> bytes,
                                     std::vector<std::uint8_t>& spare);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class Encoder {
 public:
  // A low-latency encoder for pictures of width x height (both even) at
  // `frames_per_second`, emitting a key frame every `key_interval` frames.
  // Every key frame carries its parameter sets, so a decoder may join the
  // stream at any key frame.
  static std::expected<Encoder, std::string> create(std::uint32_t width, std::uint32_t height,
                                                    int frames_per_second, int key_interval);
  ~Encoder();
  Encoder(Encoder&&) noexcept;
  Encoder& operator=(Encoder&&) noexcept;

  // Encodes one RGBA picture of the encoder's size (stride = width * 4) and
  // returns the encoded bytes of that frame (Annex B).
  std::expected<std::vector<std::uint8_t>, std::string> encode(
      std::span<const std::uint8_t> rgba);

 private:
  struct State;
  explicit Encoder(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kova::callstream
