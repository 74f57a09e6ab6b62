#include "rfb/input.h"

namespace remote::rfb {
namespace {

std::optional<std::uint32_t> named_keysym(NamedKey key) {
  switch (key) {
    case NamedKey::Enter:
      return 0xFF0D;
    case NamedKey::Tab:
      return 0xFF09;
    case NamedKey::Space:
      return 0x0020;
    case NamedKey::Backspace:
      return 0xFF08;
    case NamedKey::Delete:
      return 0xFFFF;
    case NamedKey::Escape:
      return 0xFF1B;
    case NamedKey::ArrowLeft:
      return 0xFF51;
    case NamedKey::ArrowUp:
      return 0xFF52;
    case NamedKey::ArrowRight:
      return 0xFF53;
    case NamedKey::ArrowDown:
      return 0xFF54;
    case NamedKey::Other:
      break;
  }
  return std::nullopt;
}

// The first code point of UTF-8 text; nothing for empty or broken text.
std::optional<std::uint32_t> first_code_point(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const auto b0 = static_cast<std::uint8_t>(text[0]);
  std::size_t len = b0 < 0x80           ? 1
                    : (b0 >> 5) == 0x6  ? 2
                    : (b0 >> 4) == 0xE  ? 3
                    : (b0 >> 3) == 0x1E ? 4
                                        : 0;
  if (len == 0 || text.size() < len) return std::nullopt;
  std::uint32_t cp = len == 1 ? b0 : b0 & (0x7Fu >> len);
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    if ((b & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  return cp;
}

}  // namespace

std::optional<std::uint32_t> keysym_for(std::optional<NamedKey> key, std::string_view text) {
  if (key) {
    if (auto sym = named_keysym(*key)) return sym;
  }
  return first_code_point(text);
}

}  // namespace remote::rfb
