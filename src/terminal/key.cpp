#include "terminal/key.h"

#include <array>
#include <string_view>
#include <utility>

namespace terminal {
namespace {

// The named keys with a sequence of their own, in normal cursor-key mode.
// Modifiers never change these.
constexpr std::array<std::pair<NamedKey, std::string_view>, 12> fixed_sequences{{
    {NamedKey::Enter, "\r"},  // never a line feed
    {NamedKey::Tab, "\t"},
    {NamedKey::Space, " "},
    {NamedKey::Backspace, "\x7f"},  // DEL, never BS
    {NamedKey::Escape, "\x1b"},
    {NamedKey::ArrowUp, "\x1b[A"},
    {NamedKey::ArrowDown, "\x1b[B"},
    {NamedKey::ArrowRight, "\x1b[C"},
    {NamedKey::ArrowLeft, "\x1b[D"},
    {NamedKey::Home, "\x1b[H"},
    {NamedKey::End, "\x1b[F"},
    {NamedKey::Delete, "\x1b[3~"},
}};

// An event text counts only when it holds something.
std::optional<std::string_view> event_text(const KeyEvent& event) {
  if (event.text && !event.text->empty()) return std::string_view(*event.text);
  return std::nullopt;
}

std::string text_or_nothing(const KeyEvent& event) {
  return std::string(event_text(event).value_or(std::string_view{}));
}

std::string encode_named(const KeyEvent& event) {
  for (const auto& [key, bytes] : fixed_sequences) {
    if (key == event.named) return std::string(bytes);
  }
  return text_or_nothing(event);
}

bool ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string encode_character(const KeyEvent& event) {
  // A letter is a single byte in UTF-8, so the first byte decides.
  if (has_modifier(event.modifiers, Modifier::Control) && !event.character.empty() &&
      ascii_letter(event.character.front())) {
    const char upper = static_cast<char>(event.character.front() & ~0x20);
    return std::string(1, static_cast<char>(upper - 0x40));
  }
  return std::string(event_text(event).value_or(event.character));
}

}  // namespace

std::string terminal_key_bytes(const KeyEvent& event) {
  if (!event.pressed) return {};
  switch (event.kind) {
    case KeyKind::Named:
      return encode_named(event);
    case KeyKind::Character:
      return encode_character(event);
    case KeyKind::Other:
      return text_or_nothing(event);
  }
  return {};
}

}  // namespace terminal
