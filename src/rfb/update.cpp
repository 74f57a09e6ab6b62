#include "rfb/update.h"

#include <limits>
#include <string>

#include "rfb/decoder.h"
#include "rfb/limits.h"

namespace remote::rfb {

std::vector<std::uint8_t> encode_set_pixel_format(const PixelFormat& format) {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(ClientMessage::SetPixelFormat), 0, 0, 0};
  const auto bytes = encode_pixel_format(format);
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

std::vector<std::uint8_t> encode_set_encodings() {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(ClientMessage::SetEncodings), 0};
  put_u16(out, 3);
  for (Encoding e : {Encoding::Raw, Encoding::CopyRect, Encoding::Rre}) {
    put_u32(out, static_cast<std::uint32_t>(e));
  }
  return out;
}

std::vector<std::uint8_t> encode_update_request(bool incremental, std::uint16_t width,
                                                std::uint16_t height) {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(ClientMessage::FramebufferUpdateRequest),
                                static_cast<std::uint8_t>(incremental ? 1 : 0)};
  put_u16(out, 0);
  put_u16(out, 0);
  put_u16(out, width);
  put_u16(out, height);
  return out;
}

std::vector<std::uint8_t> encode_key_event(bool down, std::uint32_t keysym) {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(ClientMessage::KeyEvent),
                                static_cast<std::uint8_t>(down ? 1 : 0), 0, 0};
  put_u32(out, keysym);
  return out;
}

std::vector<std::uint8_t> encode_pointer_event(std::uint8_t buttons, std::uint16_t x,
                                               std::uint16_t y) {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(ClientMessage::PointerEvent), buttons};
  put_u16(out, x);
  put_u16(out, y);
  return out;
}

namespace {

RectDecoder decoder_for(std::int32_t encoding) {
  switch (encoding) {
    case static_cast<std::int32_t>(Encoding::Raw):
      return decode_raw;
    case static_cast<std::int32_t>(Encoding::CopyRect):
      return decode_copyrect;
    case static_cast<std::int32_t>(Encoding::Rre):
      return decode_rre;
    default:
      return nullptr;
  }
}

Result<void> discard(Stream& in, std::uint64_t length) {
  while (length > 0) {
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(length, discard_chunk_bytes));
    auto got = in.read(piece);
    if (!got) return std::unexpected(got.error());
    length -= piece;
  }
  return {};
}

Result<void> apply_rectangles(DecodeContext& ctx, std::uint16_t count) {
  for (std::uint16_t i = 0; i < count; ++i) {
    auto bytes = ctx.in.read(rect_header_bytes);
    if (!bytes) return std::unexpected(bytes.error());
    ByteReader h(*bytes);
    RectHeader rect{h.u16(), h.u16(), h.u16(), h.u16(), h.i32()};
    RectDecoder decode = decoder_for(rect.encoding);
    if (decode == nullptr) {
      return fail(ErrorKind::InvalidData,
                  "unsupported RFB encoding " + std::to_string(rect.encoding));
    }
    if (auto done = decode(ctx, rect); !done) return std::unexpected(done.error());
  }
  return {};
}

}  // namespace

Result<std::uint16_t> read_update(Stream& in, Framebuffer& fb, const PixelFormat& format,
                                  std::vector<std::uint8_t>& scratch) {
  if (fb.generation() == std::numeric_limits<std::uint64_t>::max()) {
    return invalid_data("RFB framebuffer generation exhausted");
  }
  auto head = in.read(3);
  if (!head) return std::unexpected(head.error());
  ByteReader r(*head);
  r.u8();
  const std::uint16_t count = r.u16();
  if (count > max_update_rectangles) return invalid_data("RFB update has too many rectangles");
  const unsigned bpp = bytes_per_pixel(format);
  if (bpp < 1 || bpp > 4) return invalid_data("invalid RFB pixel format");

  fb.make_exclusive();
  DecodeContext ctx{in, fb, format, bpp, scratch};
  auto applied = apply_rectangles(ctx, count);
  // Also after a failed rectangle, so the buffer always holds a whole picture.
  fb.finish_update();
  if (!applied) return std::unexpected(applied.error());
  fb.advance_generation();
  return count;
}

Result<void> skip_colour_map_entries(Stream& in) {
  auto head = in.read(5);
  if (!head) return std::unexpected(head.error());
  ByteReader r(*head);
  r.u8();
  r.u16();
  return discard(in, std::uint64_t{r.u16()} * 6);
}

Result<void> skip_server_cut_text(Stream& in) {
  auto head = in.read(7);
  if (!head) return std::unexpected(head.error());
  ByteReader r(*head);
  r.bytes(3);
  return discard(in, r.u32());
}

Result<bool> read_server_message(Stream& in, std::uint8_t type, Framebuffer& fb,
                                 std::vector<std::uint8_t>& scratch) {
  switch (type) {
    case static_cast<std::uint8_t>(ServerMessage::FramebufferUpdate): {
      auto applied = read_update(in, fb, requested_pixel_format, scratch);
      if (!applied) return std::unexpected(applied.error());
      return true;
    }
    case static_cast<std::uint8_t>(ServerMessage::SetColourMapEntries): {
      auto r = skip_colour_map_entries(in);
      if (!r) return std::unexpected(r.error());
      return false;
    }
    case static_cast<std::uint8_t>(ServerMessage::Bell):
      return false;
    case static_cast<std::uint8_t>(ServerMessage::ServerCutText): {
      auto r = skip_server_cut_text(in);
      if (!r) return std::unexpected(r.error());
      return false;
    }
    default:
      return invalid_data("unknown server message " + std::to_string(type));
  }
}

}  // namespace remote::rfb
