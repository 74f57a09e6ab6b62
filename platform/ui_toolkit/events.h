#pragma once

// Input events as the toolkit hands them to the application. Positions are
// logical pixels. The application never sees SDL types.

#include <cstdint>
#include <string>
#include <variant>

#include "ui_toolkit/geometry.h"

namespace kova::ui {

enum class Key {
  Character,  // a key that stands for a character: see KeyEvent::character
  Enter,
  Tab,
  Space,
  Backspace,
  Delete,
  Escape,
  Left,
  Right,
  Up,
  Down,
  Home,
  End,
  PageUp,
  PageDown,
  Insert,
  F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12,
  Other,      // anything not listed; only the physical code identifies it
};

// Modifier set as bit flags.
enum Modifier : std::uint8_t {
  ModShift = 1,
  ModControl = 2,
  ModAlt = 4,
  ModSuper = 8,
};

struct Modifiers {
  std::uint8_t bits = 0;
  bool shift() const { return bits & ModShift; }
  bool control() const { return bits & ModControl; }
  bool alt() const { return bits & ModAlt; }
  bool super() const { return bits & ModSuper; }
  friend bool operator==(const Modifiers&, const Modifiers&) = default;
};

struct KeyEvent {
  Key key = Key::Other;
  // For Key::Character: the key's unshifted character (lower case for
  // letters), whatever the modifiers.
  char32_t character = 0;
  // The UTF-8 text the key produced, empty when it produced none (modifier
  // shortcuts, named keys, releases, or text arriving through composition).
  std::string text;
  Modifiers modifiers;
  bool pressed = true;
  // USB HID usage of the physical key, 0 when unidentified.
  std::uint32_t physical = 0;
};

// Text committed without a key press of its own (an input method's result).
struct TextEvent {
  std::string text;
};

// Input-method composition in progress; an empty text ends it.
struct CompositionEvent {
  std::string text;
  std::size_t cursor = 0;  // byte offset of the caret inside `text`
};

enum class PointerButton { Primary, Secondary, Middle };

struct PointerMoveEvent {
  Point position;
};

struct PointerButtonEvent {
  PointerButton button = PointerButton::Primary;
  bool pressed = true;
  Point position;
  int clicks = 1;  // 2 for a double click
};

enum class WheelUnit { Lines, Pixels };

struct WheelEvent {
  double dx = 0;
  double dy = 0;  // positive: away from the user (scroll up)
  WheelUnit unit = WheelUnit::Lines;
};

struct ResizeEvent {
  Size logical;
  double scale = 1;
};

struct FocusEvent {
  bool gained = true;
};

// Posted by Waker::wake from any thread.
struct WakeEvent {};

// The window was asked to close.
struct QuitEvent {};

using Event = std::variant<KeyEvent, TextEvent, CompositionEvent, PointerMoveEvent,
                           PointerButtonEvent, WheelEvent, ResizeEvent, FocusEvent, WakeEvent,
                           QuitEvent>;

}  // namespace kova::ui
