// The client's copy of the remote desktop in the display layout, shared with
// published snapshots by reference counting and copied on write.
//
// Owned and written by the session worker alone; snapshots are read-only and
// may be read on any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "rfb/pixel_format.h"

namespace remote::rfb {

using PixelBuffer = std::vector<std::uint8_t>;

// A published picture. It never changes after publication.
struct VncFrame {
  std::shared_ptr<const PixelBuffer> pixels;  // width * height * 4 bytes, RGBA, rows top down
  std::uint64_t generation = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
};

class Framebuffer {
 public:
  // All-zero pixels (transparent black), generation 0. The caller has checked
  // the area against max_framebuffer_pixels.
  static Framebuffer create(std::uint16_t width, std::uint16_t height);

  std::uint16_t width() const { return width_; }
  std::uint16_t height() const { return height_; }
  std::uint64_t generation() const { return generation_; }
  void advance_generation() { ++generation_; }

  // Transparent black outside the framebuffer.
  Rgba pixel_at(std::uint32_t x, std::uint32_t y) const;
  // Dropped outside the framebuffer or while a snapshot shares the buffer.
  void set_pixel(std::uint32_t x, std::uint32_t y, const Rgba& pixel);

  // Gives the framebuffer a private buffer if a snapshot still shares it.
  void make_exclusive();
  bool is_shared() const { return pixels_.use_count() > 1; }
  // The current buffer, shared without copying.
  VncFrame snapshot() const;
  const PixelBuffer& pixels() const { return *pixels_; }

  // Start of row `y` for the decoders' bulk writes; only valid while the
  // buffer is exclusive.
  std::uint8_t* row(std::uint32_t y) { return pixels_->data() + std::size_t{y} * width_ * 4; }
  const std::uint8_t* row(std::uint32_t y) const {
    return pixels_->data() + std::size_t{y} * width_ * 4;
  }

 private:
  Framebuffer(std::uint16_t width, std::uint16_t height);

  std::shared_ptr<PixelBuffer> pixels_;
  std::uint64_t generation_ = 0;
  std::uint16_t width_ = 0;
  std::uint16_t height_ = 0;
};

}  // namespace remote::rfb
