// Plain wire structures and constants of the protocol. All multi-byte
// integers are big-endian on the wire in both directions.
#pragma once

#include <cstdint>

namespace remote::rfb {

enum class SecurityType : std::uint8_t { None = 1, VncAuthentication = 2 };

enum class Encoding : std::int32_t { Raw = 0, CopyRect = 1, Rre = 2 };

enum class ServerMessage : std::uint8_t {
  FramebufferUpdate = 0,
  SetColourMapEntries = 1,
  Bell = 2,
  ServerCutText = 3,
};

enum class ClientMessage : std::uint8_t {
  SetPixelFormat = 0,
  SetEncodings = 2,
  FramebufferUpdateRequest = 3,
  KeyEvent = 4,
  PointerEvent = 5,
};

inline constexpr std::size_t protocol_version_bytes = 12;
inline constexpr std::size_t pixel_format_bytes = 16;
inline constexpr std::size_t challenge_bytes = 16;
inline constexpr std::size_t server_init_fixed_bytes = 24;
inline constexpr std::size_t rect_header_bytes = 12;

// Header of one rectangle of a FramebufferUpdate.
struct RectHeader {
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::int32_t encoding = 0;
};

}  // namespace remote::rfb
