// Client messages after the handshake and the reading of one
// FramebufferUpdate. Socket-independent: everything works on a Stream.
#pragma once

#include <cstdint>
#include <vector>

#include "rfb/byte_reader.h"
#include "rfb/framebuffer.h"

namespace remote::rfb {

// SetPixelFormat (20 bytes) with the requested format.
std::vector<std::uint8_t> encode_set_pixel_format(const PixelFormat& format);
// SetEncodings (16 bytes): Raw, CopyRect, RRE.
std::vector<std::uint8_t> encode_set_encodings();
// FramebufferUpdateRequest (10 bytes) for the whole framebuffer.
std::vector<std::uint8_t> encode_update_request(bool incremental, std::uint16_t width,
                                                std::uint16_t height);
// KeyEvent (8 bytes) and PointerEvent (6 bytes).
std::vector<std::uint8_t> encode_key_event(bool down, std::uint32_t keysym);
std::vector<std::uint8_t> encode_pointer_event(std::uint8_t buttons, std::uint16_t x,
                                               std::uint16_t y);

// Reads one FramebufferUpdate (the message-type byte already consumed) into
// `framebuffer`. Returns the number of rectangles applied; on success the
// generation has grown by 1. On failure the framebuffer may be partly painted
// and must not be published. `scratch` is reused between calls.
Result<std::uint16_t> read_update(Stream& in, Framebuffer& framebuffer, const PixelFormat& format,
                                  std::vector<std::uint8_t>& scratch);

// Reads the rest of one server message whose type byte has been read:
// FramebufferUpdate is decoded into `framebuffer` (true is returned), Bell
// and the discarded bodies leave it alone (false), any other type fails with
// "unknown server message N".
Result<bool> read_server_message(Stream& in, std::uint8_t type, Framebuffer& framebuffer,
                                 std::vector<std::uint8_t>& scratch);

// Reads and discards the bodies of SetColourMapEntries and ServerCutText in
// bounded pieces.
Result<void> skip_colour_map_entries(Stream& in);
Result<void> skip_server_cut_text(Stream& in);

}  // namespace remote::rfb
