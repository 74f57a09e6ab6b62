#include "ssh/host_key.h"

#include <nettle/base64.h>
#include <nettle/sha2.h>

#include <array>

namespace remote::ssh {

std::string sha256_fingerprint(std::span<const std::uint8_t> blob) {
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_ctx ctx{};
  sha256_init(&ctx);
  sha256_update(&ctx, blob.size(), blob.data());
  sha256_digest(&ctx, digest.size(), digest.data());

  std::array<char, BASE64_ENCODE_RAW_LENGTH(SHA256_DIGEST_SIZE)> text{};
  base64_encode_raw(text.data(), digest.size(), digest.data());
  std::string encoded(text.data(), text.size());
  while (!encoded.empty() && encoded.back() == '=')
    encoded.pop_back();
  return "SHA256:" + encoded;
}

std::optional<std::vector<std::uint8_t>> decode_base64(std::string_view text) {
  std::vector<std::uint8_t> bytes(BASE64_DECODE_LENGTH(text.size()));
  base64_decode_ctx ctx{};
  base64_decode_init(&ctx);
  std::size_t length = bytes.size();
  if (base64_decode_update(&ctx, &length, bytes.data(), text.size(), text.data()) != 1 ||
      base64_decode_final(&ctx) != 1) {
    return std::nullopt;
  }
  bytes.resize(length);
  return bytes;
}

HostKeyIdentity host_key_identity(std::string_view algorithm, std::span<const std::uint8_t> blob) {
  return HostKeyIdentity{std::string(algorithm), sha256_fingerprint(blob)};
}

}  // namespace remote::ssh
