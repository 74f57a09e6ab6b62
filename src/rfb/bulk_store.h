// Bulk conversion of received pixels into framebuffer rows.
//
// A large Raw rectangle is written with streaming stores: its lines go to
// memory without first being read into the cache, which saves a third of the
// memory traffic of painting a region bigger than the cache and leaves the
// cache to what is still being worked on. Small rectangles use ordinary
// stores, since their lines are likely to be painted again or read soon.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rfb/pixel_format.h"

namespace remote::rfb {

// Rectangles of at least this many bytes of display pixels are streamed:
// about half the second-level cache of the machines we measure on.
inline constexpr std::size_t streaming_store_min_bytes = 256 * 1024;

// Converts `count` wire pixels into display pixels at `dst`, like
// convert_pixels.
void convert_store(const PixelFormat& format, const std::uint8_t* wire, std::size_t count,
                   std::uint8_t* dst, bool streaming);

// Copies `count` display pixels from `src` to `dst` with streaming stores
// where the target allows them.
void stream_pixels(const std::uint8_t* src, std::size_t count, std::uint8_t* dst);

// Orders the streaming stores of this thread before its later stores, so a
// snapshot published afterwards shows them to other threads.
void store_fence();

}  // namespace remote::rfb
