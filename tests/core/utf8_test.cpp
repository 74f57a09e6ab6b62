#include "core/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kova::utf8 {
namespace {

struct Case {
  const char* what;
  std::string bytes;
  bool valid;
  std::vector<char32_t> lenient;  // what `next` reads, one by one
};

TEST(Utf8, StrictAndLenientReadingAgreeOnEveryShape) {
  const Case cases[] = {
      {"ascii", "ab", true, {U'a', U'b'}},
      {"two, three and four bytes",
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
       true,
       {U'\u00E9', U'\u20AC', U'\U0001F600'}},
      {"highest code point", "\xF4\x8F\xBF\xBF", true, {U'\U0010FFFF'}},
      {"above U+10FFFF",
       "\xF4\x90\x80\x80",
       false,
       {replacement, replacement, replacement, replacement}},
      {"overlong slash", "\xC0\xAF", false, {replacement, replacement}},
      {"overlong three bytes", "\xE0\x80\xAF", false, {replacement, replacement, replacement}},
      {"surrogate", "\xED\xA0\x80", false, {replacement, replacement, replacement}},
      {"lone continuation",
       "\x80"
       "a",
       false,
       {replacement, U'a'}},
      {"truncated at the end", "a\xE2\x82", false, {U'a', replacement, replacement}},
      {"bad continuation resumes at the next byte", "\xC3(", false, {replacement, U'('}},
      {"invalid lead byte", "\xFF", false, {replacement}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(valid(c.bytes), c.valid);
    EXPECT_EQ(decode(c.bytes).has_value(), c.valid);
    std::vector<char32_t> read;
    for (std::size_t i = 0; i < c.bytes.size();)
      read.push_back(next(c.bytes, i));
    EXPECT_EQ(read, c.lenient);
    if (c.valid) {
      EXPECT_EQ(*decode(c.bytes), c.lenient);
      std::string again;
      for (const char32_t cp : c.lenient)
        append(again, cp);
      EXPECT_EQ(again, c.bytes);
    }
  }
}

TEST(Utf8, ValidPrefixNeverCutsASequence) {
  const std::string text =
      "a\xC3\xA9\xF0\x9F\x98\x80"
      "b";  // 1 + 2 + 4 + 1 bytes
  const struct {
    std::size_t max;
    std::string_view want;
  } cases[] = {
      {0, ""},          {1, "a"},         {2, "a"},
      {3, "a\xC3\xA9"}, {6, "a\xC3\xA9"}, {7, "a\xC3\xA9\xF0\x9F\x98\x80"},
      {100, text},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.max);
    EXPECT_EQ(valid_prefix(text, c.max), c.want);
  }
  // It stops at the first invalid sequence, whatever room is left.
  EXPECT_EQ(valid_prefix("ab\xFF"
                         "cd",
                         100),
            "ab");
}

}  // namespace
}  // namespace kova::utf8
