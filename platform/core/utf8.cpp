#include "core/utf8.h"

#include <cstdint>

namespace kova::utf8 {

std::size_t decode_one(std::string_view s, std::size_t pos, char32_t& cp) {
  const auto b0 = static_cast<std::uint8_t>(s[pos]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len = 0;
  char32_t value = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, value = b0 & 0x1Fu, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, value = b0 & 0x0Fu, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, value = b0 & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - pos < len) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<std::uint8_t>(s[pos + k]);
    if ((b & 0xC0) != 0x80) return 0;
    value = (value << 6) | (b & 0x3Fu);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  cp = value;
  return len;
}

char32_t next(std::string_view s, std::size_t& i) {
  char32_t cp = 0;
  const std::size_t len = decode_one(s, i, cp);
  if (len == 0) {
    ++i;
    return replacement;
  }
  i += len;
  return cp;
}

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
  return valid_prefix(text, text.size()).size() == text.size();
}

std::string_view valid_prefix(std::string_view text, std::size_t max_bytes) {
  std::size_t pos = 0;
  const std::size_t end = text.size() < max_bytes ? text.size() : max_bytes;
  while (pos < end) {
    // ASCII runs are the common case for names, hosts and JSON keys.
    if (static_cast<std::uint8_t>(text[pos]) < 0x80) {
      ++pos;
      continue;
    }
    char32_t cp = 0;
    const std::size_t len = decode_one(text, pos, cp);
    if (len == 0 || len > end - pos) break;
    pos += len;
  }
  return text.substr(0, pos);
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

}  // namespace kova::utf8
