// Builds server byte streams for the tests, big-endian like the wire.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace remote::rfb::testing {

struct Wire {
  std::vector<std::uint8_t> bytes;

  Wire& u8(std::uint32_t v) {
    bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  Wire& u16(std::uint32_t v) { return u8(v >> 8).u8(v); }
  Wire& u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
  Wire& text(std::string_view s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  Wire& zeros(std::size_t n) {
    bytes.resize(bytes.size() + n);
    return *this;
  }
  // A pixel in the requested format: blue, green, red, unused.
  Wire& pixel(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return u8(b).u8(g).u8(r).u8(0); }
  // FramebufferUpdate header without the message-type byte.
  Wire& update(std::uint32_t rects) { return u8(0).u16(rects); }
  Wire& rect(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h,
             std::int32_t encoding) {
    return u16(x).u16(y).u16(w).u16(h).u32(static_cast<std::uint32_t>(encoding));
  }
  Wire& append(const Wire& other) {
    bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
    return *this;
  }
};

// ServerInit for a framebuffer of the given size, with a name.
inline Wire server_init(std::uint32_t width, std::uint32_t height, std::string_view name = "t") {
  Wire w;
  w.u16(width).u16(height);
  w.u8(32).u8(24).u8(0).u8(1).u16(255).u16(255).u16(255).u8(16).u8(8).u8(0).zeros(3);
  w.u32(static_cast<std::uint32_t>(name.size())).text(name);
  return w;
}

}  // namespace remote::rfb::testing
