#include "ui_toolkit/widgets.h"

#include <algorithm>

namespace kova::ui {

namespace {
constexpr TextStyle tooltip_text_style{12, 1, FontFace::Interface};
constexpr double tooltip_pad_x = 9;
constexpr double tooltip_pad_y = 5;
constexpr double tooltip_gap = 6;
}  // namespace

void draw_card(Painter& p, const Theme& t, Rect r, double radius, Emphasis e) {
  switch (e) {
    case Emphasis::Resting:
      p.fill_rounded(r, radius, t.card);
      p.stroke_rounded(r, radius, 1, t.hairline);
      break;
    case Emphasis::Hovered:
      p.fill_rounded(r, radius, mix(t.card, t.raised, 0.5));
      p.stroke_rounded(r, radius, 1, t.border);
      break;
    case Emphasis::Selected:
      p.fill_rounded(r, radius, t.selection);
      p.stroke_rounded(r, radius, 1, t.focus.with_alpha(0.7));
      break;
    case Emphasis::Raised:
      p.fill_rounded(r, radius, t.raised);
      p.stroke_rounded(r, radius, 1, t.border);
      break;
  }
}

void draw_edges(Painter& p, Rect r, double radius) {
  // A few widening translucent layers read as a soft shadow without blur.
  for (int i = 1; i <= 4; ++i) {
    double spread = i * 2.0;
    Rect s{r.left - spread / 2, r.top + spread / 2, r.right + spread / 2, r.bottom + spread};
    p.fill_rounded(s, radius + spread / 2, Color{0, 0, 0, 0.07});
  }
  p.fill_rounded(r, radius, Color{0, 0, 0, 0.15});
}

void draw_pill(Painter& p, Rect r, Color tone, double fill_alpha, double outline_alpha,
               double radius) {
  if (radius < 0) radius = r.height() / 2;
  p.fill_rounded(r, radius, tone.with_alpha(fill_alpha));
  p.stroke_rounded(r, radius, 1, tone.with_alpha(outline_alpha));
}

void draw_panel_ground(Painter& p, const Theme& t, Rect r) { p.fill_rect(r, t.panel_ground); }

void draw_border(Painter& p, const Theme& t, Rect r) {
  double px = 1.0 / p.scale();
  p.fill_rect({r.left, r.top, r.right, r.top + px}, t.hairline);
  p.fill_rect({r.left, r.bottom - px, r.right, r.bottom}, t.hairline);
  p.fill_rect({r.left, r.top, r.left + px, r.bottom}, t.hairline);
  p.fill_rect({r.right - px, r.top, r.right, r.bottom}, t.hairline);
}

void draw_chrome_hairline(Painter& p, const Theme& t, Point a, Point b) {
  p.hairline(a, b, t.hairline);
}

void draw_focus_ring(Painter& p, const Theme& t, Rect r, double radius) {
  p.stroke_rounded(r, radius, 2, t.focus);
}

void draw_scrim(Painter& p, Rect r, double opacity) {
  p.fill_rect(r, Color{0, 0, 0, std::clamp(opacity, 0.0, 1.0)});
}

void draw_button(Painter& p, const TextRenderer& tr, const Theme& t, Rect r,
                 std::string_view label, ButtonStyle style, ButtonState state) {
  constexpr double radius = 8;
  Color fill = t.raised;
  Color outline = t.border;
  Color text = t.primary_text;
  switch (style) {
    case ButtonStyle::Primary:
      fill = t.accent;
      outline = t.accent;
      text = t.on_accent;
      break;
    case ButtonStyle::Normal:
      break;
    case ButtonStyle::Destructive:
      fill = t.danger;
      outline = t.danger;
      text = t.on_accent;
      break;
    case ButtonStyle::Emphasised:
      fill = mix(t.raised, t.accent, 0.22);
      outline = t.accent.with_alpha(0.8);
      break;
    case ButtonStyle::Caution:
      fill = mix(t.raised, t.danger, 0.16);
      outline = t.danger.with_alpha(0.6);
      text = mix(t.danger, t.primary_text, 0.35);
      break;
  }
  if (state.disabled) {
    fill = fill.with_alpha(0.45);
    outline = outline.with_alpha(0.45);
    text = text.with_alpha(0.5);
  } else if (state.pressed) {
    fill = mix(fill, Color{0, 0, 0, fill.a}, 0.14);
  } else if (state.hovered) {
    fill = mix(fill, Color{1, 1, 1, fill.a}, 0.10);
  }
  p.fill_rounded(r, radius, fill);
  p.stroke_rounded(r, radius, 1, outline);
  if (state.focused) draw_focus_ring(p, t, r.inset(-3, -3), radius + 3);
  tr.draw_in(p, label, r.inset(8, 0), button_text, text, Align::Center);
}

std::vector<Rect> toggle_group_segments(Rect r, std::size_t count) {
  std::vector<Rect> out;
  if (count == 0) return out;
  double w = r.width() / static_cast<double>(count);
  for (std::size_t i = 0; i < count; ++i) {
    double left = r.left + w * static_cast<double>(i);
    double right = i + 1 == count ? r.right : left + w;
    out.push_back({left, r.top, right, r.bottom});
  }
  return out;
}

void draw_toggle_group(Painter& p, const TextRenderer& tr, const Theme& t, Rect r,
                       std::span<const std::string_view> labels,
                       std::optional<std::size_t> selected, std::optional<std::size_t> hovered,
                       double radius, double text_size) {
  p.fill_rounded(r, radius, t.panel_ground);
  p.stroke_rounded(r, radius, 1, t.hairline);
  auto segments = toggle_group_segments(r, labels.size());
  for (std::size_t i = 0; i < segments.size(); ++i) {
    Rect s = segments[i].inset(3, 3);
    bool is_selected = selected == i;
    if (is_selected) {
      p.fill_rounded(s, std::max(radius - 3, 2.0), t.raised);
      p.stroke_rounded(s, std::max(radius - 3, 2.0), 1, t.border);
    } else if (hovered == i) {
      p.fill_rounded(s, std::max(radius - 3, 2.0), t.raised.with_alpha(0.5));
    }
    TextStyle style{text_size, is_selected ? 2 : 1, FontFace::Interface};
    tr.draw_in(p, labels[i], s.inset(4, 0), style, is_selected ? t.primary_text : t.secondary_text);
  }
}

Rect tooltip_rect(const TextRenderer& tr, Rect anchor, std::string_view text, Rect bounds) {
  double max_w = std::max(bounds.width() - 8, 1.0);
  Size s = tr.measure(text, tooltip_text_style);
  double w = std::min(s.width + 2 * tooltip_pad_x, max_w);
  double h = s.height + 2 * tooltip_pad_y;
  double x = anchor.center_x() - w / 2;
  x = std::clamp(x, bounds.left + 4, std::max(bounds.left + 4, bounds.right - 4 - w));
  double y = anchor.bottom + tooltip_gap;
  if (y + h > bounds.bottom - 4 && anchor.top - tooltip_gap - h >= bounds.top + 4) {
    y = anchor.top - tooltip_gap - h;
  }
  return Rect::from_xywh(x, y, w, h);
}

void draw_tooltip(Painter& p, const TextRenderer& tr, const Theme& t, Rect anchor,
                  std::string_view text, Rect bounds) {
  Rect box = tooltip_rect(tr, anchor, text, bounds);
  draw_edges(p, box, 6);
  p.fill_rounded(box, 6, t.tooltip_fill);
  tr.draw(p, text, {box.left + tooltip_pad_x, box.top + tooltip_pad_y}, tooltip_text_style,
          t.tooltip_text, box.width() - 2 * tooltip_pad_x);
}

}  // namespace kova::ui
