#include "rfb/framebuffer.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>

#include "rfb/limits.h"

namespace remote::rfb {

Framebuffer::Framebuffer(std::uint16_t width, std::uint16_t height)
    : pixels_(std::make_shared<PixelBuffer>(std::size_t{width} * height * 4)),
      tiles_across_((width + tile_size - 1) / tile_size),
      width_(width),
      height_(height) {
  const std::size_t tiles = std::size_t{tiles_across_} * ((height + tile_size - 1) / tile_size);
  lagging_.assign(tiles, 0);
}

Framebuffer Framebuffer::create(std::uint16_t width, std::uint16_t height) {
  assert(std::uint64_t{width} * height <= max_framebuffer_pixels);
  return Framebuffer(width, height);
}

Rgba Framebuffer::pixel_at(std::uint32_t x, std::uint32_t y) const {
  if (x >= width_ || y >= height_) return {0, 0, 0, 0};
  const std::uint8_t* from =
      lagging_[tile_index(x, y)] ? source_->data() + std::size_t{y} * width_ * 4 : row(y);
  Rgba p;
  std::memcpy(p.data(), from + std::size_t{x} * 4, 4);
  return p;
}

void Framebuffer::set_pixel(std::uint32_t x, std::uint32_t y, const Rgba& pixel) {
  if (x >= width_ || y >= height_ || is_shared()) return;
  prepare_write(x, y, 1, 1);
  std::memcpy(row(y) + std::size_t{x} * 4, pixel.data(), 4);
}

void Framebuffer::make_exclusive() {
  if (!is_shared()) {
    // The last other owner (a snapshot on the user-interface thread) let go
    // with a releasing decrement; this fence orders our writes after its reads.
    std::atomic_thread_fence(std::memory_order_acquire);
    return;
  }
  finish_update();
  const auto free_spare = std::ranges::find_if(
      spares_, [](const Spare& spare) { return spare.pixels.use_count() == 1; });
  if (free_spare != spares_.end()) {
    std::atomic_thread_fence(std::memory_order_acquire);
    // The buffer left stays published and unchanged; it becomes a spare,
    // identical so far, and is the source of the tiles the new current one
    // lags behind in. The other spares' tiles stay right: the current
    // picture is the same.
    std::swap(pixels_, free_spare->pixels);
    lagging_.swap(free_spare->differs);
    lagging_count_ = static_cast<std::size_t>(std::ranges::count(lagging_, 1));
    std::ranges::fill(free_spare->differs, 0);
    source_ = free_spare->pixels.get();
    return;
  }
  // Every buffer is held: the oldest spare gives way to the buffer left.
  if (spares_.size() == max_spares) spares_.erase(spares_.begin());
  spares_.push_back({pixels_, std::vector<std::uint8_t>(lagging_.size(), 0)});
  pixels_ = std::make_shared<PixelBuffer>(*spares_.back().pixels);
  source_ = nullptr;
  ++whole_copies_;
}

template <typename Visit>
void Framebuffer::for_tiles(std::uint32_t x, std::uint32_t y, std::uint32_t width,
                            std::uint32_t height, Visit visit) const {
  const std::uint32_t right = std::min<std::uint32_t>(x + width, width_);
  const std::uint32_t bottom = std::min<std::uint32_t>(y + height, height_);
  if (x >= right || y >= bottom) return;
  for (std::uint32_t ty = y / tile_size; ty <= (bottom - 1) / tile_size; ++ty) {
    const std::uint32_t top = ty * tile_size;
    const std::uint32_t end_y = std::min<std::uint32_t>(top + tile_size, height_);
    for (std::uint32_t tx = x / tile_size; tx <= (right - 1) / tile_size; ++tx) {
      const std::uint32_t left = tx * tile_size;
      const std::uint32_t end_x = std::min<std::uint32_t>(left + tile_size, width_);
      const bool covered = x <= left && right >= end_x && y <= top && bottom >= end_y;
      visit(std::size_t{ty} * tiles_across_ + tx, covered);
    }
  }
}

void Framebuffer::bring_over(std::size_t index) {
  const std::uint32_t left = static_cast<std::uint32_t>(index % tiles_across_) * tile_size;
  const std::uint32_t top = static_cast<std::uint32_t>(index / tiles_across_) * tile_size;
  const std::size_t bytes = std::size_t{std::min<std::uint32_t>(tile_size, width_ - left)} * 4;
  const std::uint32_t bottom = std::min<std::uint32_t>(top + tile_size, height_);
  for (std::uint32_t y = top; y < bottom; ++y) {
    const std::size_t offset = (std::size_t{y} * width_ + left) * 4;
    std::memcpy(pixels_->data() + offset, source_->data() + offset, bytes);
  }
  tile_bytes_copied_ += bytes * (bottom - top);
  lagging_[index] = 0;
  --lagging_count_;
}

void Framebuffer::prepare_write(std::uint32_t x, std::uint32_t y, std::uint32_t width,
                                std::uint32_t height) {
  for_tiles(x, y, width, height, [&](std::size_t index, bool covered) {
    for (Spare& spare : spares_)
      spare.differs[index] = 1;
    if (!lagging_[index]) return;
    if (covered) {
      lagging_[index] = 0;
      --lagging_count_;
    } else {
      bring_over(index);
    }
  });
}

void Framebuffer::prepare_read(std::uint32_t x, std::uint32_t y, std::uint32_t width,
                               std::uint32_t height) {
  if (lagging_count_ == 0) return;
  for_tiles(x, y, width, height, [&](std::size_t index, bool) {
    if (lagging_[index]) bring_over(index);
  });
}

void Framebuffer::finish_update() {
  for (std::size_t i = 0; i < lagging_.size() && lagging_count_ > 0; ++i) {
    if (lagging_[i]) bring_over(i);
  }
}

VncFrame Framebuffer::snapshot() const {
  assert(lagging_count_ == 0);
  return VncFrame{pixels_, generation_, width_, height_};
}

}  // namespace remote::rfb
