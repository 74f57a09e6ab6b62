#include "rfb/utf8.h"

namespace remote::rfb {
namespace {

struct Lead {
  std::size_t length = 0;  // 0: not a valid first byte
  std::uint8_t lo = 0x80;  // allowed range of the second byte
  std::uint8_t hi = 0xBF;
};

// Overlong forms, surrogates and values above U+10FFFF are excluded through
// the range of the second byte.
Lead lead(std::uint8_t c) {
  if (c < 0x80) return {1};
  if (c >= 0xC2 && c <= 0xDF) return {2};
  if (c == 0xE0) return {3, 0xA0, 0xBF};
  if (c == 0xED) return {3, 0x80, 0x9F};
  if (c >= 0xE1 && c <= 0xEF) return {3};
  if (c == 0xF0) return {4, 0x90, 0xBF};
  if (c == 0xF4) return {4, 0x80, 0x8F};
  if (c >= 0xF1 && c <= 0xF3) return {4};
  return {};
}

// Returns the length of the valid sequence at `i` (valid = true), or the
// length of its longest valid prefix, at least 1 (valid = false), so that one
// broken sequence becomes one replacement character.
std::size_t scan(std::span<const std::uint8_t> b, std::size_t i, bool& valid) {
  const Lead l = lead(b[i]);
  valid = false;
  if (l.length == 0) return 1;
  std::size_t n = 1;
  while (n < l.length && i + n < b.size()) {
    const std::uint8_t c = b[i + n];
    const bool ok = n == 1 ? (c >= l.lo && c <= l.hi) : (c >= 0x80 && c <= 0xBF);
    if (!ok) break;
    ++n;
  }
  valid = n == l.length;
  return n;
}

}  // namespace

bool is_valid_utf8(std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    bool valid = false;
    i += scan(bytes, i, valid);
    if (!valid) return false;
  }
  return true;
}

std::string utf8_lossy(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    bool valid = false;
    const std::size_t n = scan(bytes, i, valid);
    if (valid) {
      out.append(reinterpret_cast<const char*>(bytes.data() + i), n);
    } else {
      out += "\xEF\xBF\xBD";
    }
    i += n;
  }
  return out;
}

}  // namespace remote::rfb
