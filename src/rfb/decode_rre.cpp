#include "rfb/decoder.h"
#include "rfb/limits.h"

namespace remote::rfb {
namespace {

// A region of the framebuffer: columns [x, x + columns), rows [y, y + rows).
struct Area {
  std::uint32_t x, y, columns, rows;
};

// A subrectangle where it lands: its origin is a saturating sum and it is
// clipped to the framebuffer only, never to its rectangle.
struct Subrect {
  Area area;
  std::uint32_t pixel;
};

// Rows are asked for this far ahead of the row being painted, so that their
// lines are on the way while the stores of the current row go out.
constexpr std::uint32_t prefetch_rows = 2;

// Each row is one run of wide stores of the pixel, however narrow or wide.
void fill(Framebuffer& fb, const Area& area, std::uint32_t pixel) {
  if (area.columns == 0) return;
  const std::size_t bytes = std::size_t{area.columns} * 4;
  const std::uint32_t end = area.y + area.rows;
  for (std::uint32_t y = area.y; y < end; ++y) {
    if (y + prefetch_rows < end) {
      const std::uint8_t* ahead = fb.row(y + prefetch_rows) + std::size_t{area.x} * 4;
      for (std::size_t offset = 0; offset < bytes; offset += 64)
        __builtin_prefetch(ahead + offset, 1);
    }
    fill_pixels(fb.row(y) + std::size_t{area.x} * 4, pixel, area.columns);
  }
}

}  // namespace

Result<void> decode_rre(DecodeContext& ctx, const RectHeader& rect) {
  auto count = read_u32(ctx.in);
  if (!count) return std::unexpected(count.error());
  if (*count > max_rre_subrectangles) {
    return invalid_data("RFB RRE update has too many subrectangles");
  }
  if (std::uint64_t{rect.width} * rect.height > max_rre_pixel_work) {
    return invalid_data("RRE background rectangle exceeds the pixel work limit");
  }
  const unsigned bpp = ctx.bytes_per_pixel;
  auto background = ctx.in.read(bpp);
  if (!background) return std::unexpected(background.error());
  const std::uint32_t bg = display_value(ctx.format, background->data());

  // Every record is read and checked before anything is drawn.
  Framebuffer& fb = ctx.framebuffer;
  auto body = ctx.in.read(std::size_t{*count} * (bpp + 8));
  if (!body) return std::unexpected(body.error());
  std::vector<Subrect> subrects;
  subrects.reserve(*count);
  std::uint64_t total = 0;
  for (ByteReader r(*body); r.remaining() > 0;) {
    const std::uint32_t pixel = display_value(ctx.format, r.bytes(bpp).data());
    const std::uint32_t x = saturating_add16(rect.x, r.u16());
    const std::uint32_t y = saturating_add16(rect.y, r.u16());
    const std::uint16_t width = r.u16();
    const std::uint16_t height = r.u16();
    const std::uint64_t area = std::uint64_t{width} * height;
    if (area > max_rre_pixel_work) {
      return invalid_data("RRE subrectangle exceeds the pixel work limit");
    }
    total += area;
    if (total > max_rre_pixel_work) {
      return invalid_data("RRE subrectangles exceed the pixel work limit");
    }
    subrects.push_back(
        {{x, y, visible_run(x, width, fb.width()), visible_run(y, height, fb.height())}, pixel});
  }

  fill(fb,
       {rect.x, rect.y, visible_run(rect.x, rect.width, fb.width()),
        visible_run(rect.y, rect.height, fb.height())},
       bg);
  // Subrectangles are not clipped to their rectangle, only to the framebuffer.
  for (const Subrect& s : subrects)
    fill(fb, s.area, s.pixel);
  return {};
}

}  // namespace remote::rfb
