// Key translation for a VNC session: which keysym a key press sends. The
// caller (input routing) decides which presses reach the session.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "rfb/session.h"

namespace remote::rfb {

enum class NamedKey : std::uint8_t {
  Enter,
  Tab,
  Space,
  Backspace,
  Delete,
  Escape,
  ArrowLeft,
  ArrowUp,
  ArrowRight,
  ArrowDown,
  Other,  // Home, End, function keys and the like: only their text counts
};

// The keysym of a named key, or of the first character of `text` (its
// Unicode code point unchanged, so Latin-1 characters get their X keysyms).
// Nothing when the key has no keysym and no text.
std::optional<std::uint32_t> keysym_for(std::optional<NamedKey> key, std::string_view text);

// A press is sent as the key going down and coming back up.
inline std::array<VncInputEvent, 2> key_press_events(std::uint32_t keysym) {
  return {VncKeyEvent{true, keysym}, VncKeyEvent{false, keysym}};
}

}  // namespace remote::rfb
