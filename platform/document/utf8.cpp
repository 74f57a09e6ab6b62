#include "document/utf8.h"

#include <cstdint>

namespace kova::doc::utf8 {
namespace {

// Decodes one code point at `pos`; returns its length or 0 when invalid.
std::size_t decode_one(std::string_view s, std::size_t pos, char32_t& cp) {
  const auto b0 = static_cast<std::uint8_t>(s[pos]);
  std::size_t len = 0;
  char32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - pos < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<std::uint8_t>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::optional<std::vector<char32_t>> decode(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t cp = 0;
    const std::size_t len = decode_one(text, pos, cp);
    if (len == 0) return std::nullopt;
    out.push_back(cp);
    pos += len;
  }
  return out;
}

bool valid(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t cp = 0;
    const std::size_t len = decode_one(text, pos, cp);
    if (len == 0) return false;
    pos += len;
  }
  return true;
}

std::string valid_prefix(std::string_view text, std::size_t max_bytes) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp = 0;
    const std::size_t len = decode_one(text, pos, cp);
    if (len == 0 || len > max_bytes - pos) break;
    pos += len;
  }
  return std::string(text.substr(0, pos));
}

void append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace kova::doc::utf8
