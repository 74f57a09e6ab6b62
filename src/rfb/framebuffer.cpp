#include "rfb/framebuffer.h"

#include <atomic>
#include <cassert>
#include <cstring>

#include "rfb/limits.h"

namespace remote::rfb {

Framebuffer::Framebuffer(std::uint16_t width, std::uint16_t height)
    : pixels_(std::make_shared<PixelBuffer>(std::size_t{width} * height * 4)),
      width_(width),
      height_(height) {}

Framebuffer Framebuffer::create(std::uint16_t width, std::uint16_t height) {
  assert(std::uint64_t{width} * height <= max_framebuffer_pixels);
  return Framebuffer(width, height);
}

Rgba Framebuffer::pixel_at(std::uint32_t x, std::uint32_t y) const {
  if (x >= width_ || y >= height_) return {0, 0, 0, 0};
  Rgba p;
  std::memcpy(p.data(), row(y) + std::size_t{x} * 4, 4);
  return p;
}

void Framebuffer::set_pixel(std::uint32_t x, std::uint32_t y, const Rgba& pixel) {
  if (x >= width_ || y >= height_ || is_shared()) return;
  std::memcpy(row(y) + std::size_t{x} * 4, pixel.data(), 4);
}

void Framebuffer::make_exclusive() {
  if (is_shared()) {
    pixels_ = std::make_shared<PixelBuffer>(*pixels_);
    return;
  }
  // The last other owner (a snapshot on the user-interface thread) let go
  // with a releasing decrement; this fence orders our writes after its reads.
  std::atomic_thread_fence(std::memory_order_acquire);
}

VncFrame Framebuffer::snapshot() const {
  return VncFrame{pixels_, generation_, width_, height_};
}

}  // namespace remote::rfb
