#pragma once

// Key presses turned into the bytes a terminal in normal cursor-key mode
// sends. The encoding is fixed: it never depends on modes the remote side
// asks for. The user-interface toolkit maps its own key codes onto these
// types.

#include <cstdint>
#include <optional>
#include <string>

namespace terminal {

enum class NamedKey : std::uint8_t {
  Enter,
  Tab,
  Space,
  Backspace,
  Escape,
  ArrowUp,
  ArrowDown,
  ArrowRight,
  ArrowLeft,
  Home,
  End,
  Delete,
  // Keys without a sequence of their own: they send the event's text, if any.
  PageUp,
  PageDown,
  Insert,
  Function,  // F1 and the rest
  Modifier,  // Shift, Control, Alt, Super, Caps Lock on their own
  Other,
};

enum class KeyKind : std::uint8_t {
  Named,      // `named` says which
  Character,  // `character` holds the text the key produces
  Other,
};

// Bit set of held modifiers.
enum class Modifier : std::uint8_t {
  None = 0,
  Shift = 1 << 0,
  Control = 1 << 1,
  Alt = 1 << 2,
  Super = 1 << 3,
};

constexpr Modifier operator|(Modifier a, Modifier b) {
  return static_cast<Modifier>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr bool has_modifier(Modifier set, Modifier m) {
  return (static_cast<std::uint8_t>(set) & static_cast<std::uint8_t>(m)) != 0;
}

struct KeyEvent {
  KeyKind kind = KeyKind::Other;
  NamedKey named = NamedKey::Other;  // for KeyKind::Named
  std::string character;             // for KeyKind::Character, UTF-8
  Modifier modifiers = Modifier::None;
  std::optional<std::string> text;  // what the platform says the press types, UTF-8
  bool pressed = true;              // false for a release
};

// The bytes one key event sends to the remote shell, possibly none. Pure.
// Releases send nothing. Fixed sequences ignore every modifier; Control with
// a letter sends that letter's control code; Alt is never encoded; Shift
// only through the text it produces.
std::string terminal_key_bytes(const KeyEvent& event);

}  // namespace terminal
