// The identity of an SSH host key, as users compare it out of band: the
// algorithm name and "SHA256:" with the unpadded Base64 of the SHA-256 of the
// key's wire blob (the form other SSH tools print).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ssh/trust_store.h"

namespace remote::ssh {

// "SHA256:" + unpadded standard Base64 of SHA-256(blob).
std::string sha256_fingerprint(std::span<const std::uint8_t> blob);

// Standard Base64 (padding optional) to bytes; nothing for malformed text.
std::optional<std::vector<std::uint8_t>> decode_base64(std::string_view text);

HostKeyIdentity host_key_identity(std::string_view algorithm, std::span<const std::uint8_t> blob);

}  // namespace remote::ssh
