// UTF-8 for text that arrives from files, peers and the keyboard. Strict:
// overlong forms, surrogates and values above U+10FFFF are invalid.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kova::utf8 {

inline constexpr char32_t replacement = 0xFFFD;

// The explicit direction embeddings, overrides and isolates (U+202A..E,
// U+2066..9). Text keeps its natural direction without them; inside a name
// they only serve to make it read as something else ("\u202Eevil" shows
// as "live"), so drawn labels replace them and inputs drop them.
constexpr bool is_direction_control(char32_t cp) {
  return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// The length of the valid sequence at `s[pos]` (pos < s.size()), with its
// code point in `cp`; 0 when the bytes there are not valid UTF-8.
std::size_t decode_one(std::string_view s, std::size_t pos, char32_t& cp);

// Lenient reading for display: the code point at `s[i]` (i < s.size()),
// advancing `i` past it. An invalid byte reads as `replacement` and advances
// by one, so every input makes progress.
char32_t next(std::string_view s, std::size_t& i);

// The code points of `text`, or nothing when it is not valid UTF-8.
std::optional<std::vector<char32_t>> decode(std::string_view text);

bool valid(std::string_view text);

// The longest prefix of at most `max_bytes` bytes made of whole valid
// sequences; it ends early at the first invalid one.
std::string_view valid_prefix(std::string_view text, std::size_t max_bytes);

// Appends the UTF-8 form of a valid code point.
void append(std::string& out, char32_t cp);

}  // namespace kova::utf8
