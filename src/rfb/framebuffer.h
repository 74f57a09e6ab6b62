// The client's copy of the remote desktop in the display layout, shared with
// published snapshots by reference counting.
//
// Buffers take turns: the current one and up to two spares, previously
// published ones (one may wait in the frame slot while the view still holds
// an older one). When an update must write while a snapshot still shares the
// current buffer and nobody holds a spare any more, the framebuffer switches
// to that spare instead of copying the whole picture. The spare lags behind by
// the tiles written since it was last identical; those tiles are brought over
// from the buffer just left, each only when it is about to be read or partly
// written (a tile a rectangle covers whole is simply overwritten), and the
// rest before the picture is published. The copying then scales with the
// damage of the previous updates. Only when every buffer is held is the whole
// picture copied.
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

  // Starts an update: gives the framebuffer a private buffer if a snapshot
  // still shares it, by switching to the free spare or else by copying.
  void make_exclusive();
  // Before the decoders write raw rows: every pixel of the rectangle (clipped
  // to the framebuffer) will be written.
  void prepare_write(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height);
  // Before the decoders read raw rows of the rectangle (clipped).
  void prepare_read(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height);
  // Ends an update: brings over every tile still lagging, so the buffer holds
  // the whole picture and may be published.
  void finish_update();

  bool is_shared() const { return pixels_.use_count() > 1; }
  // The current buffer, shared without copying; only between updates.
  VncFrame snapshot() const;
  const PixelBuffer& pixels() const { return *pixels_; }

  // Whole-picture copies made because every buffer was held, and bytes of
  // lagging tiles brought over. For tests and benchmarks.
  std::uint64_t whole_copies() const { return whole_copies_; }
  std::uint64_t tile_bytes_copied() const { return tile_bytes_copied_; }

  // Start of row `y` for the decoders' bulk writes; only valid while the
  // buffer is exclusive, and after prepare_write or prepare_read of the
  // pixels touched.
  std::uint8_t* row(std::uint32_t y) { return pixels_->data() + std::size_t{y} * width_ * 4; }
  const std::uint8_t* row(std::uint32_t y) const {
    return pixels_->data() + std::size_t{y} * width_ * 4;
  }

 private:
  Framebuffer(std::uint16_t width, std::uint16_t height);

  // Edge of the square tiles in pixels: small enough that a rectangle's
  // partly covered border tiles cost little, large enough that the bitmaps
  // stay tiny (510 tiles at 1920 x 1080).
  static constexpr std::uint32_t tile_size = 64;

  std::size_t tile_index(std::uint32_t x, std::uint32_t y) const {
    return std::size_t{y / tile_size} * tiles_across_ + x / tile_size;
  }
  // Tile `index` of the current buffer from the source.
  void bring_over(std::size_t index);
  // Calls `visit(index, fully_covered)` for every tile the clipped rectangle
  // touches.
  template <typename Visit>
  void for_tiles(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height,
                 Visit visit) const;

  // Previously published buffers kept for reuse: the frame slot and the
  // view may each hold one while the worker writes a third.
  static constexpr std::size_t max_spares = 2;

  struct Spare {
    std::shared_ptr<PixelBuffer> pixels;
    std::vector<std::uint8_t> differs;  // tiles where it may differ from the current buffer
  };

  std::shared_ptr<PixelBuffer> pixels_;
  std::vector<Spare> spares_;
  // The buffer left at the last switch, where lagging tiles come from.
  // Points into a spare (a reference would keep it from ever being free).
  const PixelBuffer* source_ = nullptr;
  // Tiles of the current buffer whose content is still only in the source.
  std::vector<std::uint8_t> lagging_;
  std::size_t lagging_count_ = 0;
  std::uint32_t tiles_across_ = 0;
  std::uint64_t whole_copies_ = 0;
  std::uint64_t tile_bytes_copied_ = 0;
  std::uint64_t generation_ = 0;
  std::uint16_t width_ = 0;
  std::uint16_t height_ = 0;
};

}  // namespace remote::rfb
