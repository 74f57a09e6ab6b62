// UTF-8 checks for the texts a server sends.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace remote::rfb {

bool is_valid_utf8(std::span<const std::uint8_t> bytes);
// Decodes with every invalid sequence replaced by U+FFFD.
std::string utf8_lossy(std::span<const std::uint8_t> bytes);

}  // namespace remote::rfb
