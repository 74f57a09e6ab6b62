// The rectangle decoders behind one small interface: each reads the body of
// one rectangle from the stream and paints it into the framebuffer.
//
// Every count and size is checked against limits.h before anything is
// reserved. Positions are saturating 16-bit sums; pixels outside the
// framebuffer are read in full and dropped.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "rfb/byte_reader.h"
#include "rfb/framebuffer.h"
#include "rfb/wire.h"

namespace remote::rfb {

struct DecodeContext {
  Stream& in;
  Framebuffer& framebuffer;  // exclusive for the whole update
  const PixelFormat& format;
  unsigned bytes_per_pixel;
  std::vector<std::uint8_t>& scratch;  // reused between rectangles
};

using RectDecoder = Result<void> (*)(DecodeContext&, const RectHeader&);

Result<void> decode_raw(DecodeContext& ctx, const RectHeader& rect);
Result<void> decode_copyrect(DecodeContext& ctx, const RectHeader& rect);
Result<void> decode_rre(DecodeContext& ctx, const RectHeader& rect);

// a + b, stopping at 65535 instead of wrapping.
inline std::uint32_t saturating_add16(std::uint32_t a, std::uint32_t b) {
  return std::min<std::uint32_t>(a + b, 0xFFFF);
}

// Number of columns from `x` on that land inside a row of `limit` pixels,
// for a run of `count` pixels (saturated positions never land inside).
inline std::uint32_t visible_run(std::uint32_t x, std::uint32_t count, std::uint32_t limit) {
  return x >= limit ? 0 : std::min(count, limit - x);
}

// A display pixel as one 32-bit value whose bytes in memory are red, green,
// blue, alpha.
inline std::uint32_t display_value(const PixelFormat& format, const std::uint8_t* wire) {
  const Rgba p = to_display_pixel(format, wire);
  std::uint32_t v;
  std::memcpy(&v, p.data(), 4);
  return v;
}

// `count` copies of one display pixel; a plain store loop the compiler turns
// into wide stores, cheaper than a library call for the short runs of
// subrectangles.
inline void fill_pixels(std::uint8_t* out, std::uint32_t value, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    std::memcpy(out + 4 * i, &value, 4);
}

}  // namespace remote::rfb
