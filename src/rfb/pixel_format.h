// The pixel format record, the one format the client requests, and the
// conversion of wire pixels into the display layout (red, green, blue, alpha).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "rfb/wire.h"

namespace remote::rfb {

struct PixelFormat {
  std::uint8_t bits_per_pixel = 0;
  std::uint8_t depth = 0;
  bool big_endian = false;
  bool true_colour = false;
  std::uint16_t red_max = 0;
  std::uint16_t green_max = 0;
  std::uint16_t blue_max = 0;
  std::uint8_t red_shift = 0;
  std::uint8_t green_shift = 0;
  std::uint8_t blue_shift = 0;

  bool operator==(const PixelFormat&) const = default;
};

// Display pixel: red, green, blue, alpha.
using Rgba = std::array<std::uint8_t, 4>;

// 32 bits, little-endian, 8 bits per channel: a wire pixel arrives as blue,
// green, red and an ignored fourth byte.
inline constexpr PixelFormat requested_pixel_format{32, 24, false, true, 255, 255, 255, 16, 8, 0};

// Decoding treats any non-zero flag as true and performs no validation.
PixelFormat decode_pixel_format(std::span<const std::uint8_t, pixel_format_bytes> bytes);
std::array<std::uint8_t, pixel_format_bytes> encode_pixel_format(const PixelFormat& format);

// (bits_per_pixel + 7) / 8; a format is usable only when this is 1 to 4.
unsigned bytes_per_pixel(const PixelFormat& format);

// Converts `bytes_per_pixel(format)` wire bytes to a display pixel (opaque).
// The format must be usable.
Rgba to_display_pixel(const PixelFormat& format, const std::uint8_t* wire);

// Converts `count` consecutive wire pixels into `count` display pixels.
void convert_pixels(const PixelFormat& format, const std::uint8_t* wire, std::size_t count,
                    std::uint8_t* rgba_out);

}  // namespace remote::rfb
