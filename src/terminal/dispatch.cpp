// One short function per control the screen understands; everything else is
// ignored here. Every cursor result is clamped into the grid.

#include <algorithm>
#include <array>

#include "terminal/screen.h"

namespace terminal {
namespace {

// Count parameter: an absent group or 0 means 1.
unsigned count_param(const ControlSequence& s, std::size_t i) {
  const unsigned v = s.param(i, 0);
  return v == 0 ? 1 : v;
}

}  // namespace

void TerminalScreen::execute(char32_t control) {
  switch (control & 0xFF) {
    case 0x08:
      backspace();
      break;
    case 0x09:
      horizontal_tab();
      break;
    case 0x0A:  // LF
    case 0x0B:  // VT
    case 0x0C:  // FF
      line_feed();
      break;
    case 0x0D:
      carriage_return();
      break;
    default:
      break;  // BEL, NUL, SO, SI, C1 controls: nothing
  }
}

void TerminalScreen::csi_dispatch(const ControlSequence& s) {
  // Intermediates and private markers are deliberately not looked at.
  switch (s.final_byte) {
    case 'A':
      cursor_up(count_param(s, 0));
      break;
    case 'B':
      cursor_down(count_param(s, 0));
      break;
    case 'C':
      cursor_forward(count_param(s, 0));
      break;
    case 'D':
      cursor_back(count_param(s, 0));
      break;
    case 'G':
      cursor_horizontal_absolute(count_param(s, 0));
      break;
    case 'H':
    case 'f':
      cursor_position(count_param(s, 0), count_param(s, 1));
      break;
    case 'J':
      erase_in_display(s.param(0, 0));
      break;
    case 'K':
      erase_in_line(s.param(0, 0));
      break;
    case 'm':
      select_graphic_rendition(s);
      break;
    default:
      break;
  }
}

void TerminalScreen::backspace() {  // BS
  if (cursor_column_ > 0) --cursor_column_;
}

void TerminalScreen::horizontal_tab() {  // HT, fixed stops every 8 columns
  cursor_column_ = std::min(cursor_column_ / 8 * 8 + 8, columns_ - 1);
}

void TerminalScreen::carriage_return() {
  cursor_column_ = 0;
}  // CR

void TerminalScreen::cursor_up(unsigned n) {  // CUU
  cursor_row_ = cursor_row_ > n ? cursor_row_ - n : 0;
}

void TerminalScreen::cursor_down(unsigned n) {  // CUD
  cursor_row_ = std::min(cursor_row_ + n, rows_ - 1);
}

void TerminalScreen::cursor_forward(unsigned n) {  // CUF
  cursor_column_ = std::min(cursor_column_ + n, columns_ - 1);
}

void TerminalScreen::cursor_back(unsigned n) {  // CUB
  cursor_column_ = cursor_column_ > n ? cursor_column_ - n : 0;
}

void TerminalScreen::cursor_horizontal_absolute(unsigned column) {  // CHA
  cursor_column_ = std::min(column - 1, columns_ - 1);
}

void TerminalScreen::cursor_position(unsigned row, unsigned column) {  // CUP, HVP
  cursor_row_ = std::min(row - 1, rows_ - 1);
  cursor_column_ = std::min(column - 1, columns_ - 1);
}

void TerminalScreen::erase_in_display(unsigned p) {  // ED
  // Only "whole screen" erases more than the cursor's line; 0 and 1 erase to
  // the end of the line, as this model has always done.
  if (p == 2 || p == 3) {
    erase_display();
  } else {
    erase_to_line_end();
  }
}

void TerminalScreen::erase_in_line(unsigned p) {  // EL
  if (p == 2) {
    erase_line();
  } else {
    erase_to_line_end();
  }
}

// Each value's effect on the pen as "keep these bits, then set those", so a
// parameter list is applied without a chain of comparisons. Values past the
// table, like every value left at its default here, change nothing.
void TerminalScreen::select_graphic_rendition(const ControlSequence& s) {  // SGR
  struct PenChange {
    std::uint32_t keep = ~0u;
    std::uint32_t set = 0;
  };
  static constexpr auto effects = [] {
    constexpr std::uint32_t colour_mask = 0x1Fu << TerminalCell::colour_shift;
    const auto colour = [](std::uint32_t index) {
      return PenChange{~colour_mask, (index + 1) << TerminalCell::colour_shift};
    };
    std::array<PenChange, 98> t{};
    t[0] = {0, 0};                         // reset
    t[1] = {~0u, TerminalCell::bold_bit};  // bold
    t[22] = {~TerminalCell::bold_bit, 0};  // normal intensity
    for (std::uint32_t v = 30; v <= 37; ++v)
      t[v] = colour(v - 30);
    t[39] = {~colour_mask, 0};  // default foreground
    for (std::uint32_t v = 90; v <= 97; ++v)
      t[v] = colour(v - 82);
    return t;
  }();
  if (s.param_count == 0) {  // "ESC [ m" resets like 0
    pen_ = 0;
    return;
  }
  std::uint32_t pen = pen_;
  for (std::size_t i = 0; i < s.param_count; ++i) {
    const std::uint16_t v = s.params[i];
    if (v < effects.size()) pen = (pen & effects[v].keep) | effects[v].set;
  }
  pen_ = pen;
}

}  // namespace terminal
