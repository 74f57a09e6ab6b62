#include "rfb/vnc_auth.h"

#include <nettle/des.h>

namespace remote::rfb {
namespace {

std::uint8_t reverse_bits(std::uint8_t b) {
  std::uint8_t out = 0;
  for (int i = 0; i < 8; ++i) {
    out = static_cast<std::uint8_t>((out << 1) | ((b >> i) & 1));
  }
  return out;
}

}  // namespace

std::array<std::uint8_t, 8> vnc_auth_key(std::string_view password) {
  std::array<std::uint8_t, 8> key{};
  for (std::size_t i = 0; i < key.size() && i < password.size(); ++i) {
    key[i] = reverse_bits(static_cast<std::uint8_t>(password[i]));
  }
  return key;
}

Challenge vnc_auth_response(const Challenge& challenge, std::string_view password) {
  const auto key = vnc_auth_key(password);
  des_ctx ctx;
  // The result only reports a weak key (the all-zero key of an empty password
  // is one); the schedule is set up either way, and the protocol uses it.
  static_cast<void>(des_set_key(&ctx, key.data()));
  Challenge response{};
  des_encrypt(&ctx, response.size(), response.data(), challenge.data());
  return response;
}

}  // namespace remote::rfb
