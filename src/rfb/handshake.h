// From the server's ProtocolVersion to the end of its ServerInit, on any
// Stream. After success the next bytes the client sends are SetPixelFormat.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rfb/byte_reader.h"
#include "rfb/pixel_format.h"

namespace remote::rfb {

// States of the exchange, each with what it reads and where it goes next.
enum class HandshakeState : std::uint8_t {
  WaitingForVersion,         // 12 bytes; replies 3.3/3.7/3.8 -> WaitingForSecurity
  WaitingForSecurity,        // 3.3: u32 type; 3.7+: count, types, reply -> per type
  WaitingForChallenge,       // type 2: 16 bytes, replies -> WaitingForSecurityResult
  WaitingForSecurityResult,  // u32, 0 -> SendingClientInit, else reason -> failure
  SendingClientInit,         // shared flag 1 -> WaitingForServerInit
  WaitingForServerInit,      // 24 bytes + name -> Done
  Done,
};

struct ServerInit {
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  PixelFormat server_format;  // read and not used: the client imposes its own
  std::string name;
  std::uint8_t agreed_minor = 0;
  std::uint8_t security_type = 0;
};

// The agreed minor version for what the server announced: 3, 7 or 8.
std::uint8_t agreed_minor_version(std::uint8_t major, std::uint8_t minor);

// Parses the 12-byte ProtocolVersion into major and minor, or nothing.
struct ProtocolVersion {
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
};
std::optional<ProtocolVersion> parse_protocol_version(std::span<const std::uint8_t> bytes);

// An absent password is passed as empty: both give the all-zero key.
Result<ServerInit> run_handshake(Stream& stream, std::string_view password);

}  // namespace remote::rfb
