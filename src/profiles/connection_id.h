// The identity of a saved connection: a 128-bit UUID whose text form, the
// canonical hyphenated lower-case one, is the connection's key in the shared
// document and appears inside accessibility ids.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace remote::profiles {

class ConnectionId {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  // The nil UUID (all zero bits); a placeholder until a real id is given.
  ConnectionId() = default;

  // A fresh random (version 4) id.
  static ConnectionId random();

  // Text accepted by the system UUID parser: 36 characters, hexadecimal
  // digits of either case in 8-4-4-4-12 groups. Anything else is not an id.
  static std::optional<ConnectionId> parse(std::string_view text);

  static ConnectionId from_bytes(const Bytes& bytes) { return ConnectionId(bytes); }

  // The canonical 36-character hyphenated lower-case text.
  std::string to_string() const;
  const Bytes& bytes() const { return bytes_; }

  friend bool operator==(const ConnectionId&, const ConnectionId&) = default;
  friend auto operator<=>(const ConnectionId&, const ConnectionId&) = default;

 private:
  explicit ConnectionId(const Bytes& bytes) : bytes_(bytes) {}
  Bytes bytes_{};
};

}  // namespace remote::profiles
