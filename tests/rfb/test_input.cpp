// Which keysym a key press sends.
#include <gtest/gtest.h>

#include "rfb/input.h"

namespace remote::rfb {
namespace {

TEST(KeyTranslation, Keysyms) {
  const struct {
    const char* name;
    std::optional<NamedKey> key;
    std::string_view text;
    std::optional<std::uint32_t> keysym;
  } cases[] = {
      {"Enter", NamedKey::Enter, "", 0xFF0D},
      {"Tab", NamedKey::Tab, "\t", 0xFF09},
      {"Space", NamedKey::Space, " ", 0x20},
      {"Backspace", NamedKey::Backspace, "", 0xFF08},
      {"Delete", NamedKey::Delete, "", 0xFFFF},
      {"Escape", NamedKey::Escape, "", 0xFF1B},
      {"Left", NamedKey::ArrowLeft, "", 0xFF51},
      {"Up", NamedKey::ArrowUp, "", 0xFF52},
      {"Right", NamedKey::ArrowRight, "", 0xFF53},
      {"Down", NamedKey::ArrowDown, "", 0xFF54},
      {"Home without text", NamedKey::Other, "", std::nullopt},
      {"other key with text", NamedKey::Other, "x", 0x78},
      {"A", std::nullopt, "A", 0x41},
      {"e acute", std::nullopt, "\xC3\xA9", 0xE9},
      {"first character only", std::nullopt, "ab", 0x61},
      {"euro sign as code point", std::nullopt, "\xE2\x82\xAC", 0x20AC},
      {"emoji", std::nullopt, "\xF0\x9F\x98\x80", 0x1F600},
      {"no text", std::nullopt, "", std::nullopt},
      {"broken text", std::nullopt, "\xC3", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(keysym_for(c.key, c.text), c.keysym);
  }
}

TEST(KeyTranslation, PressGoesDownThenUp) {
  const auto events = key_press_events(0x41);
  EXPECT_EQ(events[0], (VncInputEvent{VncKeyEvent{true, 0x41}}));
  EXPECT_EQ(events[1], (VncInputEvent{VncKeyEvent{false, 0x41}}));
}

}  // namespace
}  // namespace remote::rfb
