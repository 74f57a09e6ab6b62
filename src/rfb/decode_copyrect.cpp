#include <cstring>

#include "rfb/decoder.h"
#include "rfb/limits.h"

namespace remote::rfb {

namespace {

bool inside(const Framebuffer& fb, std::uint32_t x, std::uint32_t y, const RectHeader& rect) {
  return x + rect.width <= fb.width() && y + rect.height <= fb.height();
}

// Source and destination wholly inside: copying rows in the order that never
// reads a row already overwritten gives the same picture as the temporary,
// without it. memmove handles the overlap within one row.
void copy_inside(Framebuffer& fb, std::uint32_t src_x, std::uint32_t src_y,
                 const RectHeader& rect) {
  const std::size_t bytes = std::size_t{rect.width} * 4;
  const bool downwards = rect.y > src_y;
  for (std::uint32_t i = 0; i < rect.height; ++i) {
    const std::uint32_t row = downwards ? rect.height - 1 - i : i;
    std::memmove(fb.row(rect.y + row) + std::size_t{rect.x} * 4,
                 fb.row(src_y + row) + std::size_t{src_x} * 4, bytes);
  }
}

}  // namespace

// Otherwise copies through a temporary so that overlapping source and destination come
// out as if copied from an untouched picture.
Result<void> decode_copyrect(DecodeContext& ctx, const RectHeader& rect) {
  auto source = ctx.in.read(4);
  if (!source) return std::unexpected(source.error());
  ByteReader r(*source);
  const std::uint16_t src_x = r.u16();
  const std::uint16_t src_y = r.u16();
  const std::uint64_t area = std::uint64_t{rect.width} * rect.height;
  if (area > max_copy_rect_pixels) return invalid_data("RFB copy rectangle is too large");

  Framebuffer& fb = ctx.framebuffer;
  fb.prepare_read(src_x, src_y, rect.width, rect.height);
  fb.prepare_write(rect.x, rect.y, rect.width, rect.height);
  if (inside(fb, src_x, src_y, rect) && inside(fb, rect.x, rect.y, rect)) {
    copy_inside(fb, src_x, src_y, rect);
    return {};
  }
  const std::size_t row_bytes = std::size_t{rect.width} * 4;
  ctx.scratch.assign(static_cast<std::size_t>(area) * 4, 0);
  const std::uint32_t src_columns = visible_run(src_x, rect.width, fb.width());
  for (std::uint32_t row = 0; row < rect.height; ++row) {
    const std::uint32_t y = saturating_add16(src_y, row);
    if (y >= fb.height()) break;
    std::memcpy(ctx.scratch.data() + row_bytes * row, fb.row(y) + std::size_t{src_x} * 4,
                std::size_t{src_columns} * 4);
  }
  const std::uint32_t dst_columns = visible_run(rect.x, rect.width, fb.width());
  for (std::uint32_t row = 0; row < rect.height; ++row) {
    const std::uint32_t y = saturating_add16(rect.y, row);
    if (y >= fb.height()) break;
    std::memcpy(fb.row(y) + std::size_t{rect.x} * 4, ctx.scratch.data() + row_bytes * row,
                std::size_t{dst_columns} * 4);
  }
  return {};
}

}  // namespace remote::rfb
