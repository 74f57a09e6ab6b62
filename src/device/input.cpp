#include "device/input.h"

#include <algorithm>
#include <array>
#include <utility>

namespace remote::device {

std::optional<std::uint32_t> key_code(std::string_view physical_key) {
  static constexpr std::string_view top_row = "QWERTYUIOP";
  static constexpr std::string_view home_row = "ASDFGHJKL";
  static constexpr std::string_view bottom_row = "ZXCVBNM";
  if (physical_key.size() == 6 && physical_key.starts_with("Digit")) {
    const char digit = physical_key[5];
    if (digit == '0') return 11;
    if (digit >= '1' && digit <= '9') return static_cast<std::uint32_t>(digit - '1') + 2;
    return std::nullopt;
  }
  if (physical_key.size() == 4 && physical_key.starts_with("Key")) {
    const char letter = physical_key[3];
    for (auto [row, first] : {std::pair{top_row, 16u}, {home_row, 30u}, {bottom_row, 44u}}) {
      if (auto at = row.find(letter); at != std::string_view::npos) {
        return first + static_cast<std::uint32_t>(at);
      }
    }
    return std::nullopt;
  }
  static constexpr std::array<std::pair<std::string_view, std::uint32_t>, 15> named = {{
      {"Escape", 1},        {"Backspace", 14},   {"Tab", 15},         {"Enter", 28},
      {"ControlLeft", 29},  {"ShiftLeft", 42},   {"ShiftRight", 54},  {"AltLeft", 56},
      {"Space", 57},        {"ControlRight", 97}, {"AltRight", 100},  {"ArrowUp", 103},
      {"ArrowLeft", 105},   {"ArrowRight", 106}, {"ArrowDown", 108},
  }};
  for (const auto& [name, code] : named) {
    if (name == physical_key) return code;
  }
  return std::nullopt;
}

std::optional<PointerMove> map_pointer(double x, double y, const PictureRect& picture,
                                       FrameSize frame) {
  const double width = picture.right - picture.left;
  const double height = picture.bottom - picture.top;
  if (!(width > 0) || !(height > 0)) return std::nullopt;
  if (!(x >= picture.left && x < picture.right && y >= picture.top && y < picture.bottom)) {
    return std::nullopt;
  }
  const auto clamp_to = [](double value, std::uint32_t size) {
    if (size == 0) return 0.0;
    return std::clamp(value, 0.0, static_cast<double>(size - 1));
  };
  return PointerMove{clamp_to((x - picture.left) / width * frame.width, frame.width),
                     clamp_to((y - picture.top) / height * frame.height, frame.height)};
}

}  // namespace remote::device
