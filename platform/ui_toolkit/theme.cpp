#include "ui_toolkit/theme.h"

namespace kova::ui {

Color mix(Color a, Color b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
          a.a + (b.a - a.a) * t};
}

Theme Theme::dark() {
  return {
      .window_background = Color::rgb(0x12141a),
      .panel_ground = Color::rgb(0x171a21),
      .raised = Color::rgb(0x222631),
      .card = Color::rgb(0x1a1d25),
      .header = Color::rgb(0x181b22),
      .hairline = Color::rgb(0x2a2f3a),
      .border = Color::rgb(0x3a4150),
      .primary_text = Color::rgb(0xe9ecf2),
      .secondary_text = Color::rgb(0x99a1b1),
      .on_accent = Color::rgb(0xffffff),
      .accent = Color::rgb(0x5b7cfa),
      .accent_second = Color::rgb(0xa67cf5),
      .accent_third = Color::rgb(0x36c2c9),
      .positive = Color::rgb(0x3ccf8e),
      .attention = Color::rgb(0xf2b443),
      .danger = Color::rgb(0xef5f6b),
      .focus = Color::rgb(0x7d98ff),
      .selection = Color::rgb(0x26304a),
      .tooltip_fill = Color::rgb(0xeef0f5),
      .tooltip_text = Color::rgb(0x14161c),
  };
}

Theme Theme::light() {
  return {
      .window_background = Color::rgb(0xf4f5f8),
      .panel_ground = Color::rgb(0xeceef3),
      .raised = Color::rgb(0xffffff),
      .card = Color::rgb(0xffffff),
      .header = Color::rgb(0xfafbfc),
      .hairline = Color::rgb(0xdde0e7),
      .border = Color::rgb(0xc5cad5),
      .primary_text = Color::rgb(0x181b22),
      .secondary_text = Color::rgb(0x5f6776),
      .on_accent = Color::rgb(0xffffff),
      .accent = Color::rgb(0x3f62e8),
      .accent_second = Color::rgb(0x8455de),
      .accent_third = Color::rgb(0x14949b),
      .positive = Color::rgb(0x1f9d63),
      .attention = Color::rgb(0xc9830f),
      .danger = Color::rgb(0xd23b48),
      .focus = Color::rgb(0x3f62e8),
      .selection = Color::rgb(0xdfe6fd),
      .tooltip_fill = Color::rgb(0x20232b),
      .tooltip_text = Color::rgb(0xf4f5f8),
  };
}

TerminalPalette TerminalPalette::dark() {
  return {
      .indexed = {Color::rgb(0x1c1f26), Color::rgb(0xe06c75), Color::rgb(0x98c379),
                  Color::rgb(0xe5c07b), Color::rgb(0x61afef), Color::rgb(0xc678dd),
                  Color::rgb(0x56b6c2), Color::rgb(0xabb2bf), Color::rgb(0x5c6370),
                  Color::rgb(0xff7a85), Color::rgb(0xb5e890), Color::rgb(0xffd68a),
                  Color::rgb(0x82c4ff), Color::rgb(0xdd9bf0), Color::rgb(0x7fd7e0),
                  Color::rgb(0xf3f5f8)},
      .foreground = Color::rgb(0xd8dee9),
      .background = Color::rgb(0x0e1015),
  };
}

}  // namespace kova::ui
