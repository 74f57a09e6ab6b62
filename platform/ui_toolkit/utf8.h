#pragma once

// Small UTF-8 helpers for untrusted text. Invalid sequences decode as
// U+FFFD one byte at a time, so every input makes progress.

#include <cstddef>
#include <string>
#include <string_view>

namespace kova::ui::utf8 {

inline constexpr char32_t replacement = 0xFFFD;

// The explicit direction embeddings, overrides and isolates (U+202A..E,
// U+2066..9). Text keeps its natural direction without them; inside a name
// they only serve to make it read as something else ("\u202Eevil" shows
// as "live"), so drawn labels replace them and inputs drop them.
constexpr bool is_direction_control(char32_t cp) {
  return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// Decodes the sequence at `s[i]` (i < s.size()), advancing `i` past it.
// Overlong forms, surrogates and values above U+10FFFF give `replacement`.
char32_t next(std::string_view s, std::size_t& i);
void append(std::string& out, char32_t cp);
// The longest prefix of valid UTF-8 `s` that has at most `max_bytes` bytes
// and does not cut a sequence.
std::string_view prefix(std::string_view s, std::size_t max_bytes);

}  // namespace kova::ui::utf8
