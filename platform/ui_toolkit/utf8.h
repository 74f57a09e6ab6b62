#pragma once

// Small UTF-8 helpers for untrusted text. Invalid sequences decode as
// U+FFFD one byte at a time, so every input makes progress.

#include <cstddef>
#include <string>
#include <string_view>

namespace kova::ui::utf8 {

inline constexpr char32_t replacement = 0xFFFD;

// Decodes the sequence at `s[i]` (i < s.size()), advancing `i` past it.
// Overlong forms, surrogates and values above U+10FFFF give `replacement`.
char32_t next(std::string_view s, std::size_t& i);
void append(std::string& out, char32_t cp);
// The longest prefix of valid UTF-8 `s` that has at most `max_bytes` bytes
// and does not cut a sequence.
std::string_view prefix(std::string_view s, std::size_t max_bytes);

}  // namespace kova::ui::utf8
