// Translation of the session view's pointer and keyboard input into device
// input events. Pure functions; the user-interface thread calls them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

namespace remote::device {

struct PointerMove {
  double x = 0;  // device-frame pixels, not truncated
  double y = 0;
  bool operator==(const PointerMove&) const = default;
};
struct ButtonEvent {
  bool pressed = false;
  std::uint32_t code = 0;  // Linux input event code
  bool operator==(const ButtonEvent&) const = default;
};
struct KeyEvent {
  bool pressed = false;
  std::uint32_t code = 0;  // Linux input event key code
  bool operator==(const KeyEvent&) const = default;
};
// Sent immediately before every left-button press.
struct PressMarker {
  bool operator==(const PressMarker&) const = default;
};

// Kinds 0 to 3, in this order.
using DeviceInputEvent = std::variant<PointerMove, ButtonEvent, KeyEvent, PressMarker>;

inline constexpr std::uint32_t button_left = 0x110;
inline constexpr std::uint32_t button_right = 0x111;
inline constexpr std::uint32_t button_middle = 0x112;

// The Linux key code for a physical key named by its W3C UI Events code
// ("KeyA", "Digit1", "ArrowUp", ...), or nothing for keys that are not
// forwarded to devices.
std::optional<std::uint32_t> key_code(std::string_view physical_key);

// The drawn rectangle of the device picture, in logical pixels.
struct PictureRect {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
};

struct FrameSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// Maps a logical pointer position to device-frame pixels: nothing unless the
// position lies inside the picture (left and top inclusive, right and bottom
// exclusive) of positive size. Each coordinate is clamped to 0 .. size - 1.
std::optional<PointerMove> map_pointer(double x, double y, const PictureRect& picture,
                                       FrameSize frame);

}  // namespace remote::device
