#include "rfb/decoder.h"
#include "rfb/limits.h"

namespace remote::rfb {

Result<void> decode_raw(DecodeContext& ctx, const RectHeader& rect) {
  const std::uint64_t size =
      std::uint64_t{rect.width} * rect.height * std::uint64_t{ctx.bytes_per_pixel};
  if (size > max_raw_payload_bytes) return invalid_data("RFB raw rectangle is too large");
  auto payload = ctx.in.read(static_cast<std::size_t>(size));
  if (!payload) return std::unexpected(payload.error());

  Framebuffer& fb = ctx.framebuffer;
  const std::size_t stride = std::size_t{rect.width} * ctx.bytes_per_pixel;
  const std::uint32_t columns = visible_run(rect.x, rect.width, fb.width());
  if (columns == 0) return {};
  for (std::uint32_t row = 0; row < rect.height; ++row) {
    const std::uint32_t y = saturating_add16(rect.y, row);
    if (y >= fb.height()) break;
    convert_pixels(ctx.format, payload->data() + stride * row, columns,
                   fb.row(y) + std::size_t{rect.x} * 4);
  }
  return {};
}

}  // namespace remote::rfb
