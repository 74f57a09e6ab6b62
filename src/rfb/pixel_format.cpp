#include "rfb/pixel_format.h"

#include <bit>
#include <cstring>

#include "rfb/byte_reader.h"

namespace remote::rfb {

PixelFormat decode_pixel_format(std::span<const std::uint8_t, pixel_format_bytes> bytes) {
  ByteReader r(bytes);
  PixelFormat f;
  f.bits_per_pixel = r.u8();
  f.depth = r.u8();
  f.big_endian = r.u8() != 0;
  f.true_colour = r.u8() != 0;
  f.red_max = r.u16();
  f.green_max = r.u16();
  f.blue_max = r.u16();
  f.red_shift = r.u8();
  f.green_shift = r.u8();
  f.blue_shift = r.u8();
  return f;
}

std::array<std::uint8_t, pixel_format_bytes> encode_pixel_format(const PixelFormat& f) {
  std::vector<std::uint8_t> out;
  put_u8(out, f.bits_per_pixel);
  put_u8(out, f.depth);
  put_u8(out, f.big_endian ? 1 : 0);
  put_u8(out, f.true_colour ? 1 : 0);
  put_u16(out, f.red_max);
  put_u16(out, f.green_max);
  put_u16(out, f.blue_max);
  put_u8(out, f.red_shift);
  put_u8(out, f.green_shift);
  put_u8(out, f.blue_shift);
  std::array<std::uint8_t, pixel_format_bytes> bytes{};
  std::memcpy(bytes.data(), out.data(), out.size());
  return bytes;
}

unsigned bytes_per_pixel(const PixelFormat& f) {
  return (unsigned{f.bits_per_pixel} + 7) / 8;
}

namespace {

std::uint8_t channel(std::uint32_t v, std::uint16_t max, std::uint8_t shift) {
  if (max == 0) return 0;
  const std::uint32_t c = (v >> (shift % 32u)) & max;
  return static_cast<std::uint8_t>((c * 255u + max / 2u) / max);
}

bool is_requested_layout(const PixelFormat& f) {
  return f.bits_per_pixel == 32 && !f.big_endian && f.red_max == 255 && f.green_max == 255 &&
         f.blue_max == 255 && f.red_shift == 16 && f.green_shift == 8 && f.blue_shift == 0;
}

}  // namespace

Rgba to_display_pixel(const PixelFormat& f, const std::uint8_t* wire) {
  // 8-bit channels scale by 255 / 255: the bytes only change places.
  if (is_requested_layout(f)) return {wire[2], wire[1], wire[0], 255};
  const unsigned n = bytes_per_pixel(f);
  std::uint32_t v = 0;
  for (unsigned i = 0; i < n; ++i) {
    if (f.big_endian) {
      v = (v << 8) | wire[i];
    } else {
      v |= std::uint32_t{wire[i]} << (8 * i);
    }
  }
  return {channel(v, f.red_max, f.red_shift), channel(v, f.green_max, f.green_shift),
          channel(v, f.blue_max, f.blue_shift), 255};
}

void convert_pixels(const PixelFormat& f, const std::uint8_t* wire, std::size_t count,
                    std::uint8_t* out) {
  if (is_requested_layout(f) && std::endian::native == std::endian::little) {
    // Blue, green, red, x on the wire becomes red, green, blue, 255: the same
    // result the general formula gives for 8-bit channels, written as 32-bit
    // loads and stores so the compiler can vectorise it.
    const std::uint8_t* __restrict in = wire;
    std::uint8_t* __restrict dst = out;
    for (std::size_t i = 0; i < count; ++i) {
      std::uint32_t v;
      std::memcpy(&v, in + 4 * i, 4);
      const std::uint32_t rgba =
          0xFF000000u | ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
      std::memcpy(dst + 4 * i, &rgba, 4);
    }
    return;
  }
  const unsigned n = bytes_per_pixel(f);
  for (std::size_t i = 0; i < count; ++i) {
    const Rgba p = to_display_pixel(f, wire + n * i);
    std::memcpy(out + 4 * i, p.data(), 4);
  }
}

}  // namespace remote::rfb
