#include "core/endpoint_key.h"

#include <sodium.h>

#include <cstdlib>

namespace kova::p2p {
namespace {

void ensure_sodium() {
  // sodium_init is safe to call repeatedly, but only its first result matters.
  static const bool ready = sodium_init() >= 0;
  if (!ready) std::abort();
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::optional<EndpointKey> EndpointKey::parse(std::string_view text) {
  if (text.size() != size_bytes * 2) return std::nullopt;
  Bytes bytes{};
  for (std::size_t i = 0; i < size_bytes; ++i) {
    int high = hex_value(text[2 * i]);
    int low = hex_value(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  ensure_sodium();
  if (crypto_core_ed25519_is_valid_point(bytes.data()) != 1) return std::nullopt;
  return EndpointKey(bytes);
}

EndpointKey EndpointKey::from_secret(const Bytes& seed) {
  ensure_sodium();
  Bytes public_key{};
  std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secret{};
  crypto_sign_seed_keypair(public_key.data(), secret.data(), seed.data());
  sodium_memzero(secret.data(), secret.size());
  return EndpointKey(public_key);
}

std::string EndpointKey::to_string() const {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size_bytes * 2);
  for (std::uint8_t byte : bytes_) {
    text.push_back(digits[byte >> 4]);
    text.push_back(digits[byte & 0x0f]);
  }
  return text;
}

}  // namespace kova::p2p
