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

// Fills `count` pixels from column `x` of row `y`, clipped to the framebuffer.
inline void fill_run(Framebuffer& fb, std::uint32_t x, std::uint32_t y, std::uint32_t count,
                     const Rgba& pixel) {
  if (y >= fb.height()) return;
  const std::uint32_t n = visible_run(x, count, fb.width());
  std::uint8_t* out = fb.row(y) + std::size_t{x} * 4;
  std::uint32_t value;
  std::memcpy(&value, pixel.data(), 4);
  for (std::uint32_t i = 0; i < n; ++i) std::memcpy(out + 4 * std::size_t{i}, &value, 4);
}

}  // namespace remote::rfb
