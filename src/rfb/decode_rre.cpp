#include <cstring>

#include "rfb/decoder.h"
#include "rfb/limits.h"

namespace remote::rfb {
namespace {

struct SubRect {
  Rgba pixel;
  std::uint16_t x, y, width, height;
};

// Fills row by row from one prepared run of the pixel, so each row is a
// single memcpy however narrow or wide the rectangle is.
void fill_rect(Framebuffer& fb, std::uint32_t x, std::uint32_t y, std::uint32_t width,
               std::uint32_t height, const Rgba& pixel, std::vector<std::uint8_t>& run) {
  const std::uint32_t columns = visible_run(x, width, fb.width());
  if (columns == 0 || y >= fb.height()) return;
  const std::size_t bytes = std::size_t{columns} * 4;
  if (run.size() < bytes) run.resize(bytes);
  for (std::size_t i = 0; i < bytes; i += 4)
    std::memcpy(run.data() + i, pixel.data(), 4);
  for (std::uint32_t row = 0; row < height; ++row) {
    const std::uint32_t ty = saturating_add16(y, row);
    if (ty >= fb.height()) break;
    std::memcpy(fb.row(ty) + std::size_t{x} * 4, run.data(), bytes);
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
  const Rgba bg = to_display_pixel(ctx.format, background->data());

  // Every record is read and checked before anything is drawn.
  const std::size_t record = bpp + 8;
  auto body = ctx.in.read(std::size_t{*count} * record);
  if (!body) return std::unexpected(body.error());
  std::vector<SubRect> subrects;
  subrects.reserve(*count);
  std::uint64_t total = 0;
  ByteReader r(*body);
  for (std::uint32_t i = 0; i < *count; ++i) {
    SubRect s;
    s.pixel = to_display_pixel(ctx.format, r.bytes(bpp).data());
    s.x = r.u16();
    s.y = r.u16();
    s.width = r.u16();
    s.height = r.u16();
    const std::uint64_t area = std::uint64_t{s.width} * s.height;
    if (area > max_rre_pixel_work) {
      return invalid_data("RRE subrectangle exceeds the pixel work limit");
    }
    total += area;
    if (total > max_rre_pixel_work) {
      return invalid_data("RRE subrectangles exceed the pixel work limit");
    }
    subrects.push_back(s);
  }

  fill_rect(ctx.framebuffer, rect.x, rect.y, rect.width, rect.height, bg, ctx.scratch);
  // Subrectangles are not clipped to their rectangle, only to the framebuffer.
  for (const SubRect& s : subrects) {
    fill_rect(ctx.framebuffer, saturating_add16(rect.x, s.x), saturating_add16(rect.y, s.y),
              s.width, s.height, s.pixel, ctx.scratch);
  }
  return {};
}

}  // namespace remote::rfb
