#pragma once

// Surfaces, window chrome, buttons, toggle groups and tooltips, drawn the
// same way on every screen. Geometry is the caller's; looks are ours.

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "ui_toolkit/canvas.h"
#include "ui_toolkit/text.h"
#include "ui_toolkit/theme.h"

namespace kova::ui {

enum class Emphasis {
  Resting,   // card on the window background
  Hovered,   // resting card under the pointer: stronger outline
  Selected,  // selection fill and outline
  Raised,    // raised fill, as rail items and toggles
};

// Card surface: fill and a one-pixel outline.
void draw_card(Painter& p, const Theme& t, Rect r, double radius, Emphasis e = Emphasis::Resting);
// Soft shadow and top light edge under a floating surface (dialogs, toasts,
// tooltips); draw it before the card.
void draw_edges(Painter& p, Rect r, double radius);
// Tinted pill: `tone` at `fill_alpha` inside, at `outline_alpha` around.
// A negative radius rounds the ends fully.
void draw_pill(Painter& p, Rect r, Color tone, double fill_alpha, double outline_alpha,
               double radius = -1);
// Chrome: panel ground (rail, header bars), the window border, and the
// hairline that separates chrome from content.
void draw_panel_ground(Painter& p, const Theme& t, Rect r);
void draw_border(Painter& p, const Theme& t, Rect r);
void draw_chrome_hairline(Painter& p, const Theme& t, Point a, Point b);
// Keyboard focus: a 2-pixel ring in the focus colour inside `r`.
void draw_focus_ring(Painter& p, const Theme& t, Rect r, double radius);
// Black veil over `r` at `opacity` (0..1).
void draw_scrim(Painter& p, Rect r, double opacity);

enum class ButtonStyle {
  Primary,      // the screen's main action: accent fill
  Normal,       // plain: raised fill and outline (chips, secondary actions)
  Destructive,  // deletes something: danger fill
  Emphasised,   // the one way out of a card: accent-tinted fill and outline
  Caution,      // ends something live: danger-tinted fill and danger text
};

struct ButtonState {
  bool hovered = false;
  bool pressed = false;
  bool focused = false;
  bool disabled = false;
};

// Text size and weight of button labels; screens size buttons with these.
inline constexpr TextStyle button_text{13, 2, FontFace::Interface};

void draw_button(Painter& p, const TextRenderer& tr, const Theme& t, Rect r,
                 std::string_view label, ButtonStyle style, ButtonState state = {});

// A segmented single-choice toggle: `count` equal segments across `r`.
std::vector<Rect> toggle_group_segments(Rect r, std::size_t count);
void draw_toggle_group(Painter& p, const TextRenderer& tr, const Theme& t, Rect r,
                       std::span<const std::string_view> labels, std::optional<std::size_t> selected,
                       std::optional<std::size_t> hovered, double radius = 8,
                       double text_size = 13);

// Where a tooltip for `anchor` with `text` goes: below the anchor (above when
// there is no room), kept inside `bounds`.
Rect tooltip_rect(const TextRenderer& tr, Rect anchor, std::string_view text, Rect bounds);
void draw_tooltip(Painter& p, const TextRenderer& tr, const Theme& t, Rect anchor,
                  std::string_view text, Rect bounds);

}  // namespace kova::ui
