// UTF-8 helpers shared by the document's text ops and the commit decoder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kova::doc::utf8 {

// The code points of `text`, or nothing when it is not valid UTF-8
// (overlong forms, surrogates and values above U+10FFFF are invalid).
std::optional<std::vector<char32_t>> decode(std::string_view text);

// Whether `text` is valid UTF-8.
bool valid(std::string_view text);

// The longest valid prefix of `text` of at most `max_bytes` bytes that ends
// on a code point boundary.
std::string valid_prefix(std::string_view text, std::size_t max_bytes);

// Appends the UTF-8 form of a valid code point.
void append(std::string& out, char32_t cp);

}  // namespace kova::doc::utf8
