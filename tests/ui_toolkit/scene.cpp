#include "scene.h"

#include <array>
#include <cmath>
#include <numbers>
#include <string_view>

#include "ui_toolkit/widgets.h"

namespace kova::ui::testing {

namespace {

void star(Painter& p, Point c, Color fill) {
  std::array<Point, 10> pts;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    double r = i % 2 == 0 ? 7 : 2.94;
    double a = -std::numbers::pi / 2 + static_cast<double>(i) * std::numbers::pi / 5;
    pts[i] = {c.x + r * std::cos(a), c.y + r * std::sin(a)};
  }
  p.fill_polygon(pts, fill);
}

void row(Painter& p, const TextRenderer& tr, const Theme& t, Rect card, std::string_view name,
         std::string_view kind, Color kind_color, std::string_view target, Color presence,
         Emphasis e, bool connectable) {
  draw_card(p, t, card, 12, e);
  double mid = card.center_y();
  if (presence == t.positive) p.fill_circle({card.left + 22, mid}, 9, presence.with_alpha(0.25));
  p.fill_circle({card.left + 22, mid}, 5, presence);
  Size n = tr.draw(p, name, {card.left + 44, card.top + 13}, {16, 2}, t.primary_text,
                   card.width() - 330);
  star(p, {card.left + 44 + n.width + 16, card.top + 21}, t.attention);
  double b = tr.line_height({16, 2}) + 18;
  Size k = tr.measure(kind, {11, 2});
  Rect pill{card.left + 44, card.top + b, card.left + 44 + k.width + 16, card.top + b + k.height + 6};
  draw_pill(p, pill, kind_color, 0.18, 0.0, 6);
  tr.draw_in(p, kind, pill, {11, 2}, kind_color);
  tr.draw(p, target, {pill.right + 12, pill.top + 1}, {13, 0}, t.secondary_text,
          card.width() - 400);
  Rect status{card.right - 40 - 100, mid - 16, card.right - 40, mid + 16};
  if (connectable) {
    draw_button(p, tr, t, status, "Connect", ButtonStyle::Primary);
  } else {
    draw_pill(p, status, t.attention, 0.12, 0.75, 8);
    tr.draw_in(p, "Needs access", status, {11.5, 2}, t.attention);
  }
  draw_button(p, tr, t, {status.left - 12 - 76, status.top, status.left - 12, status.bottom}, "Edit",
              ButtonStyle::Normal);
}

}  // namespace

void paint_scene(Painter& p, const TextRenderer& tr, const Theme& t, TextInput& input) {
  Size size = p.size();
  p.clear(t.window_background);

  // Rail with the monitor mark and two items.
  Rect rail{0, 0, 64, size.height};
  p.fill_rect(rail, t.raised);
  draw_chrome_hairline(p, t, {64, 0}, {64, size.height});
  p.fill_rounded({16, 18, 48, 44}, 5, t.accent);
  p.fill_rect({26, 44, 38, 49}, t.accent);
  Rect item{12, 72, 52, 112};
  draw_card(p, t, item, 8, Emphasis::Raised);
  tr.draw_in(p, "\u2261", {12, 78, 52, 100}, {22, 3}, t.primary_text);
  tr.draw_in(p, "+", {12, 134, 52, 156}, {22, 3}, t.secondary_text);

  // Header.
  Size title = tr.draw(p, "Remote Machines", {88, 16}, {22, 3}, t.primary_text);
  tr.draw(p, "4 saved \u00b7 2 online \u00b7 1 connectable here", {88, 16 + title.height + 4},
          {13, 0}, t.secondary_text);
  draw_button(p, tr, t, {size.width - 24 - 150, 18, size.width - 24, 50}, "+ New connection",
              ButtonStyle::Primary);
  draw_button(p, tr, t, scene_primary_button, "Connect", ButtonStyle::Primary, ButtonState{true, false, false, false});
  draw_button(p, tr, t, {258, 120, 358, 152}, "Edit", ButtonStyle::Normal);
  draw_button(p, tr, t, {370, 120, 470, 152}, "Delete", ButtonStyle::Destructive);
  draw_button(p, tr, t, {482, 120, 614, 152}, "Back to list", ButtonStyle::Emphasised);
  draw_button(p, tr, t, {626, 120, 736, 152}, "Disconnect", ButtonStyle::Caution);

  // Search input, focused with a selection.
  input.draw(p, tr, t, {88, 72, size.width - 24, 108});

  row(p, tr, t, scene_card, "Build Box", "SSH", t.positive, "root@build.lan:22", t.positive,
      Emphasis::Selected, true);
  row(p, tr, t, {88, 260, 620, 332}, "\u05e9\u05e8\u05ea \u05d1\u05d3\u05d9\u05e7\u05d4 \U0001F680 studio",
      "VNC", t.accent_second, "10.0.0.7:5900", t.danger, Emphasis::Hovered, false);
  row(p, tr, t, {88, 340, 620, 412}, std::string(400, 'W'), "Kova", t.accent_third,
      "Kova device 3b6a27bcceb6\u2026", t.secondary_text, Emphasis::Resting, true);

  // Toggle group and a tooltip.
  std::array<std::string_view, 3> kinds{"SSH", "VNC", "Kova"};
  draw_toggle_group(p, tr, t, {640, 180, 940, 220}, kinds, 1, 2);
  draw_tooltip(p, tr, t, {640, 230, 700, 262}, "Add connection (Ctrl+N)", {0, 0, size.width, size.height});

  // Notice toast.
  Rect toast{640, 300, 940, 354};
  draw_edges(p, toast, 10);
  p.fill_rounded(toast, 10, t.window_background);
  p.fill_rounded(toast, 10, t.attention.with_alpha(0.18));
  p.stroke_rounded(toast, 10, 1, t.attention);
  tr.draw(p, "Action needs review", {652, 309}, {12.5, 2}, t.primary_text);
  tr.draw_wrapped(p, "The saved connection changed before you confirmed.", {652, 327}, 276, {12, 0},
                  t.secondary_text);

  // Terminal palette strip.
  TerminalPalette term = TerminalPalette::dark();
  Rect body{88, 430, 940, 500};
  p.fill_rounded(body, 8, term.background);
  for (std::size_t i = 0; i < 16; ++i) {
    double x = body.left + 16 + static_cast<double>(i) * 26;
    p.fill_rounded({x, body.top + 12, x + 20, body.top + 32}, 4, term.indexed[i]);
  }
  tr.draw(p, "user@build:~$ make -j2", {body.left + 16, body.top + 40}, {14, 0, FontFace::Terminal},
          term.foreground);
}

}  // namespace kova::ui::testing
