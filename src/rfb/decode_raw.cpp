#include "rfb/bulk_store.h"
#include "rfb/decoder.h"
#include "rfb/limits.h"

namespace remote::rfb {

namespace {

// The payload is taken a few rows at a time, so that from a socket the rows
// are converted while they are still in the cache they were received into,
// and no payload-sized buffer is ever reserved.
constexpr std::size_t raw_read_bytes = 16 * 1024;

}  // namespace

Result<void> decode_raw(DecodeContext& ctx, const RectHeader& rect) {
  const std::uint64_t size =
      std::uint64_t{rect.width} * rect.height * std::uint64_t{ctx.bytes_per_pixel};
  if (size > max_raw_payload_bytes) return invalid_data("RFB raw rectangle is too large");
  if (size == 0) return {};

  Framebuffer& fb = ctx.framebuffer;
  const std::size_t stride = std::size_t{rect.width} * ctx.bytes_per_pixel;
  const std::uint32_t columns = visible_run(rect.x, rect.width, fb.width());
  const bool streaming =
      std::uint64_t{columns} * visible_run(rect.y, rect.height, fb.height()) * 4 >=
      streaming_store_min_bytes;
  fb.prepare_write(rect.x, rect.y, rect.width, rect.height);
  const std::uint32_t rows_per_read =
      static_cast<std::uint32_t>(std::max<std::size_t>(1, raw_read_bytes / stride));
  // Rows outside the framebuffer are read in full and dropped.
  for (std::uint32_t row = 0; row < rect.height; row += rows_per_read) {
    const std::uint32_t rows = std::min<std::uint32_t>(rows_per_read, rect.height - row);
    auto payload = ctx.in.read(stride * rows);
    if (!payload) return std::unexpected(payload.error());
    for (std::uint32_t i = 0; i < rows && columns > 0; ++i) {
      const std::uint32_t y = saturating_add16(rect.y, row + i);
      if (y >= fb.height()) break;
      convert_store(ctx.format, payload->data() + stride * i, columns,
                    fb.row(y) + std::size_t{rect.x} * 4, streaming);
    }
  }
  if (streaming) store_fence();
  return {};
}

}  // namespace remote::rfb
