// The VNC Authentication response: DES-ECB of the two challenge halves under
// a key made from the password's first eight bytes with each byte's bits
// reversed.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "rfb/wire.h"

namespace remote::rfb {

using Challenge = std::array<std::uint8_t, challenge_bytes>;

// An empty password gives the all-zero key; bytes after the eighth are ignored.
std::array<std::uint8_t, 8> vnc_auth_key(std::string_view password);
Challenge vnc_auth_response(const Challenge& challenge, std::string_view password);

}  // namespace remote::rfb
