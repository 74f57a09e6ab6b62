#include "terminal/key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace terminal {
namespace {

KeyEvent named(NamedKey key, Modifier mods = Modifier::None,
               std::optional<std::string> text = std::nullopt) {
  return KeyEvent{KeyKind::Named, key, {}, mods, std::move(text), true};
}

KeyEvent character(std::string ch, Modifier mods = Modifier::None,
                   std::optional<std::string> text = std::nullopt) {
  return KeyEvent{KeyKind::Character, NamedKey::Other, std::move(ch), mods, std::move(text), true};
}

struct Case {
  const char* name;
  KeyEvent event;
  std::string bytes;
};

TEST(TerminalKeyBytes, Table) {
  const Modifier ctrl = Modifier::Control;
  const Modifier all = Modifier::Shift | Modifier::Control | Modifier::Alt | Modifier::Super;
  const std::vector<Case> cases = {
      // Fixed sequences, with and without every modifier.
      {"Enter is CR", named(NamedKey::Enter), "\r"},
      {"Tab", named(NamedKey::Tab), "\t"},
      {"Space", named(NamedKey::Space), " "},
      {"Backspace is DEL", named(NamedKey::Backspace), "\x7f"},
      {"Escape", named(NamedKey::Escape), "\x1b"},
      {"Up", named(NamedKey::ArrowUp), "\x1b[A"},
      {"Down", named(NamedKey::ArrowDown), "\x1b[B"},
      {"Right", named(NamedKey::ArrowRight), "\x1b[C"},
      {"Left", named(NamedKey::ArrowLeft), "\x1b[D"},
      {"Home", named(NamedKey::Home), "\x1b[H"},
      {"End", named(NamedKey::End), "\x1b[F"},
      {"Delete", named(NamedKey::Delete), "\x1b[3~"},
      {"modifiers never change a fixed sequence", named(NamedKey::ArrowUp, all, "x"), "\x1b[A"},
      {"Control+Enter", named(NamedKey::Enter, ctrl), "\r"},
      {"Shift+Tab", named(NamedKey::Tab, Modifier::Shift), "\t"},
      // Other named keys send only their text.
      {"Page Up without text", named(NamedKey::PageUp), ""},
      {"Page Down with text", named(NamedKey::PageDown, Modifier::None, "~"), "~"},
      {"function key with empty text", named(NamedKey::Function, Modifier::None, ""), ""},
      {"modifier key alone", named(NamedKey::Modifier, ctrl), ""},
      // Character keys.
      {"plain letter", character("a", Modifier::None, "a"), "a"},
      {"text wins over key character", character("a", Modifier::Shift, "A"), "A"},
      {"key character when no text", character("q"), "q"},
      {"UTF-8 text unchanged", character("\xc3\xa9", Modifier::None, "\xc3\xa9"), "\xc3\xa9"},
      {"Control+a", character("a", ctrl), "\x01"},
      {"Control+c", character("c", ctrl, "c"), "\x03"},
      {"Control+Shift+C", character("C", ctrl | Modifier::Shift, "C"), "\x03"},
      {"Control+d", character("d", ctrl), "\x04"},
      {"Control+Z", character("Z", ctrl), "\x1a"},
      {"Control+1 sends its text", character("1", ctrl, "!"), "!"},
      {"Control+1 without text", character("1", ctrl), "1"},
      {"Control with non-letter UTF-8", character("\xc3\xa9", ctrl), "\xc3\xa9"},
      {"Control with empty character", character("", ctrl, "x"), "x"},
      {"Alt is never encoded", character("b", Modifier::Alt, "b"), "b"},
      {"Super alone changes nothing", character("k", Modifier::Super, "k"), "k"},
      // Other kinds.
      {"other kind with text",
       KeyEvent{KeyKind::Other, NamedKey::Other, {}, Modifier::None, "z", true}, "z"},
      {"other kind without text", KeyEvent{}, ""},
      // Releases never send.
      {"release", KeyEvent{KeyKind::Named, NamedKey::Enter, {}, Modifier::None, {}, false}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(terminal_key_bytes(c.event), c.bytes);
  }
}

}  // namespace
}  // namespace terminal
