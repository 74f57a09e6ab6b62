// The platform's peer-to-peer endpoint key: an Ed25519 public key that names
// a device endpoint. Its text form is 64 lower-case hexadecimal digits.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kova::p2p {

class EndpointKey {
 public:
  static constexpr std::size_t size_bytes = 32;
  using Bytes = std::array<std::uint8_t, size_bytes>;

  // Accepts exactly the text to_string() prints: 64 lower-case hexadecimal
  // digits encoding a valid point of the curve (canonical, not of small
  // order). Anything else, including upper-case digits or surrounding white
  // space, is not an endpoint key.
  static std::optional<EndpointKey> parse(std::string_view text);

  // The public key that belongs to a 32-byte Ed25519 secret seed.
  static EndpointKey from_secret(const Bytes& seed);

  std::string to_string() const;
  const Bytes& bytes() const { return bytes_; }

  friend bool operator==(const EndpointKey&, const EndpointKey&) = default;

 private:
  explicit EndpointKey(const Bytes& bytes) : bytes_(bytes) {}
  Bytes bytes_;
};

}  // namespace kova::p2p
