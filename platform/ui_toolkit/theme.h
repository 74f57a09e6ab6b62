#pragma once

// Colour tokens by role. Screens never name a colour, only a role, so the
// palette can change in one place.

#include <array>
#include <cstdint>

namespace kova::ui {

// Straight (not premultiplied) colour, each channel 0..1.
struct Color {
  double r = 0;
  double g = 0;
  double b = 0;
  double a = 1;

  static constexpr Color rgb(std::uint32_t hex) {
    return {static_cast<double>((hex >> 16) & 0xff) / 255.0,
            static_cast<double>((hex >> 8) & 0xff) / 255.0, static_cast<double>(hex & 0xff) / 255.0,
            1.0};
  }
  // The same colour at `alpha` times its own opacity ("accent at 18 %").
  constexpr Color with_alpha(double alpha) const { return {r, g, b, a * alpha}; }
  friend bool operator==(const Color&, const Color&) = default;
};

// Linear blend from `a` (t = 0) to `b` (t = 1), alpha included.
Color mix(Color a, Color b, double t);

struct Theme {
  Color window_background;
  Color panel_ground;     // rail and header bars
  Color raised;           // raised surfaces: rail, selected items, toggle card
  Color card;             // cards resting on the window background
  Color header;           // session header bar
  Color hairline;         // chrome hairlines and card outlines
  Color border;           // stronger outline: hovered and selected cards
  Color primary_text;
  Color secondary_text;
  Color on_accent;        // text on primary and destructive buttons
  Color accent;
  Color accent_second;    // first further accent
  Color accent_third;     // second further accent
  Color positive;
  Color attention;
  Color danger;
  Color focus;
  Color selection;        // selection fill of rows and selected text
  Color tooltip_fill;
  Color tooltip_text;

  static Theme dark();
  static Theme light();
};

// The dark terminal palette: 8 normal and 8 bright colours, then the default
// foreground and background.
struct TerminalPalette {
  std::array<Color, 16> indexed;
  Color foreground;
  Color background;

  static TerminalPalette dark();
};

}  // namespace kova::ui
