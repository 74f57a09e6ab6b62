#include "rfb/bulk_store.h"
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

// A large rectangle is painted a band of rows at a time into a small buffer
// that stays in the first-level cache: the band's background, then every
// subrectangle that touches it, and the band goes to the framebuffer with
// streaming stores. Painting in place reads every line of the framebuffer
// from memory before writing it, and a large rectangle's lines once more for
// the subrectangles; this way each line is only written, once. 32 KiB is
// about the first-level data cache. Smaller rectangles are painted in place,
// where they stay in the cache, like small Raw rectangles.
constexpr std::size_t band_bytes = 32 * 1024;

// Rows [begin, end) of `area`, each one run of wide stores of the pixel,
// however narrow or wide.
void fill_rows(Framebuffer& fb, const Area& area, std::uint32_t pixel, std::uint32_t begin,
               std::uint32_t end) {
  begin = std::max(begin, area.y);
  end = std::min(end, area.y + area.rows);
  if (area.columns == 0 || begin >= end) return;
  const std::size_t bytes = std::size_t{area.columns} * 4;
  for (std::uint32_t y = begin; y < end; ++y) {
    if (y + prefetch_rows < end) {
      const std::uint8_t* ahead = fb.row(y + prefetch_rows) + std::size_t{area.x} * 4;
      for (std::size_t offset = 0; offset < bytes; offset += 64)
        __builtin_prefetch(ahead + offset, 1);
    }
    fill_pixels(fb.row(y) + std::size_t{area.x} * 4, pixel, area.columns);
  }
}

void fill(Framebuffer& fb, const Area& area, std::uint32_t pixel) {
  fill_rows(fb, area, pixel, area.y, area.y + area.rows);
}

// The background and then the subrectangles in their order, band by band.
// Every pixel still receives its writes in the same order, so the picture is
// the one of painting each in turn. Parts of subrectangles outside the
// background (they are not clipped to it) are painted in place: no other
// write lands there, so only their order among themselves matters.
void paint_banded(Framebuffer& fb, const Area& bg_area, std::uint32_t bg,
                  const std::vector<Subrect>& subrects) {
  const std::size_t row_bytes = std::size_t{bg_area.columns} * 4;
  const auto band = static_cast<std::uint32_t>(std::max<std::size_t>(1, band_bytes / row_bytes));
  const std::uint32_t top = bg_area.y, bottom = bg_area.y + bg_area.rows;
  const std::uint32_t left = bg_area.x, right = bg_area.x + bg_area.columns;
  const std::uint32_t bands = (bg_area.rows + band - 1) / band;

  // Rows above and below the background, and the counting sort of the rest
  // into every band they touch, in their order within each band.
  std::vector<std::uint32_t> start(std::size_t{bands} + 1, 0);
  for (const Subrect& s : subrects) {
    const Area& a = s.area;
    if (a.columns == 0 || a.rows == 0) continue;
    fill_rows(fb, a, s.pixel, a.y, top);
    fill_rows(fb, a, s.pixel, bottom, a.y + a.rows);
    const std::uint32_t from = std::max(a.y, top), to = std::min(a.y + a.rows, bottom);
    if (from >= to) continue;
    for (std::uint32_t b = (from - top) / band; b <= (to - 1 - top) / band; ++b)
      ++start[b + 1];
  }
  for (std::uint32_t b = 0; b < bands; ++b)
    start[b + 1] += start[b];
  std::vector<std::uint32_t> members(start[bands]);
  std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
  for (std::uint32_t i = 0; i < subrects.size(); ++i) {
    const Area& a = subrects[i].area;
    if (a.columns == 0 || a.rows == 0) continue;
    const std::uint32_t from = std::max(a.y, top), to = std::min(a.y + a.rows, bottom);
    if (from >= to) continue;
    for (std::uint32_t b = (from - top) / band; b <= (to - 1 - top) / band; ++b)
      members[next[b]++] = i;
  }

  std::vector<std::uint8_t> buffer(row_bytes * band);
  for (std::uint32_t b = 0; b < bands; ++b) {
    const std::uint32_t begin = top + b * band;
    const std::uint32_t end = std::min(bottom, begin + band);
    fill_pixels(buffer.data(), bg, std::size_t{bg_area.columns} * (end - begin));
    for (std::uint32_t k = start[b]; k < start[b + 1]; ++k) {
      const Subrect& s = subrects[members[k]];
      const Area& a = s.area;
      const std::uint32_t from = std::max(a.y, begin), to = std::min(a.y + a.rows, end);
      const std::uint32_t a_right = a.x + a.columns;
      const std::uint32_t in_left = std::max(a.x, left), in_right = std::min(a_right, right);
      if (a.x < left) {
        fill_rows(fb, {a.x, a.y, std::min(a_right, left) - a.x, a.rows}, s.pixel, from, to);
      }
      if (a_right > right) {
        const std::uint32_t x = std::max(a.x, right);
        fill_rows(fb, {x, a.y, a_right - x, a.rows}, s.pixel, from, to);
      }
      if (in_left >= in_right) continue;
      for (std::uint32_t y = from; y < to; ++y) {
        fill_pixels(buffer.data() + row_bytes * (y - begin) + std::size_t{in_left - left} * 4,
                    s.pixel, in_right - in_left);
      }
    }
    for (std::uint32_t y = begin; y < end; ++y) {
      stream_pixels(buffer.data() + row_bytes * (y - begin), bg_area.columns,
                    fb.row(y) + std::size_t{left} * 4);
    }
  }
  store_fence();
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

  const Area bg_area{rect.x, rect.y, visible_run(rect.x, rect.width, fb.width()),
                     visible_run(rect.y, rect.height, fb.height())};
  // Every area written is announced before the first write, since bringing a
  // partly covered tile over replaces the whole tile.
  fb.prepare_write(bg_area.x, bg_area.y, bg_area.columns, bg_area.rows);
  for (const Subrect& s : subrects)
    fb.prepare_write(s.area.x, s.area.y, s.area.columns, s.area.rows);
  if (std::size_t{bg_area.columns} * bg_area.rows * 4 >= streaming_store_min_bytes) {
    paint_banded(fb, bg_area, bg, subrects);
    return {};
  }
  fill(fb, bg_area, bg);
  // Subrectangles are not clipped to their rectangle, only to the framebuffer.
  for (const Subrect& s : subrects)
    fill(fb, s.area, s.pixel);
  return {};
}

}  // namespace remote::rfb
