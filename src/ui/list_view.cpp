#include "ui/list_view.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>

#include "ui/list_model.h"
#include "ui_toolkit/widgets.h"

namespace remote::ui {

namespace {

using kova::ui::Align;
using kova::ui::Color;
using kova::ui::TextStyle;
using profiles::ConnectionProfile;

// Below this pane width the header uses its short title and button label.
constexpr double short_header_below = 520;
// Below this pane width rows put their actions on a line of their own.
constexpr double compact_rows_below = 620;
constexpr double row_gap = 8;

struct ListFrame {
  double left;    // pane left
  double right;   // content right
  double top;     // content top
  double bottom;  // content bottom
  double width() const { return right - left; }
};

ListFrame frame_of(const app::AppState& app) {
  const Rect& c = app.content_rect;
  return {content_left(app), c.right, c.top, c.bottom};
}

double row_height(const RowMetrics& m, bool compact) {
  return compact ? m.compact_height : m.wide_height;
}

void draw_star(kova::ui::Painter& p, Point centre, bool filled, const kova::ui::Theme& t) {
  std::array<Point, 10> points;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const double r = i % 2 == 0 ? 7.0 : 2.94;
    const double a = -std::numbers::pi / 2 + static_cast<double>(i) * std::numbers::pi / 5;
    points[i] = {centre.x + r * std::cos(a), centre.y + r * std::sin(a)};
  }
  if (filled)
    p.fill_polygon(points, t.attention);
  else
    p.stroke_polygon(points, 1.2, t.secondary_text);
}

// Hovered only when the pointer is inside the list's visible area too.
bool hovered(const ViewState& view, Rect r, Rect clip) {
  return r.contains(view.pointer) && clip.contains(view.pointer);
}

struct RowGeometry {
  Rect card;
  Rect status;
  Rect edit;
};

RowGeometry row_geometry(const ListFrame& f, const RowMetrics& m, double top, double h,
                         bool compact) {
  RowGeometry g;
  g.card = {f.left + 24, top, f.right - 24, top + h};
  const double action_right = compact ? f.right - 36 : f.right - 40;
  const double action_top = compact ? top + m.core_height : top + (h - m.button_height) / 2;
  g.status = {action_right - m.status_width, action_top, action_right,
              action_top + m.button_height};
  g.edit = {g.status.left - 12 - m.edit_width, action_top, g.status.left - 12,
            action_top + m.button_height};
  return g;
}

void draw_row(const app::AppState& app, ViewState& view, PaintContext& ctx, const ListFrame& f,
              const ConnectionProfile& profile, double top, Rect clip) {
  const RowMetrics& m = view.metrics;
  const bool compact = view.compact_rows;
  const double h = row_height(m, compact);
  const auto& t = ctx.theme;
  auto& p = ctx.p;
  const RowGeometry g = row_geometry(f, m, top, h, compact);
  const bool selected = app.selection == profile.id;
  kova::ui::draw_card(p, t, g.card, 12,
                      selected                      ? kova::ui::Emphasis::Selected
                      : hovered(view, g.card, clip) ? kova::ui::Emphasis::Hovered
                                                    : kova::ui::Emphasis::Resting);
  register_region(view, g.card, app::msg::Select{profile.id});

  const double middle = top + h / 2;
  const Point dot{f.left + 46, middle};
  switch (profile.presence) {
    case profiles::Presence::Online:
      p.fill_circle(dot, 9, t.positive.with_alpha(0.25));
      p.fill_circle(dot, 5, t.positive);
      break;
    case profiles::Presence::Offline:
      p.fill_circle(dot, 5, t.danger);
      break;
    case profiles::Presence::Unknown:
      p.fill_circle(dot, 5, t.secondary_text);
      break;
  }

  // Text stops before the actions (wide) or the card's padding (compact).
  const double text_left = f.left + 68;
  const double last_used_width = compact ? 0 : ctx.tr.measure(profile.last_used, {12, 0}).width;
  const double text_right =
      compact ? g.card.right - 20 : g.edit.left - 16 - std::min(last_used_width, 160.0) - 16;
  const double name_room = std::max(text_right - text_left - 32, 0.0);
  const auto name =
      ctx.tr.draw(p, profile.name, {text_left, top + 13}, {16, 2}, t.primary_text, name_room);
  const Point star{text_left + name.width + 16, top + 21};
  draw_star(p, star, profile.favorite, t);
  register_region(view, Rect{star.x - 11, star.y - 11, star.x + 11, star.y + 11},
                  app::msg::ToggleFavorite{profile.id});

  const double line = top + m.second_line;
  const std::string_view kind = profiles::kind_document_text(profile.kind);
  const Color kc = kind_color(profile.kind, t);
  const double pill_w = ctx.tr.measure(kind, {11, 2}).width + 16;
  const Rect pill{text_left, line - 2, text_left + pill_w, line + m.small_line + 2};
  kova::ui::draw_pill(p, pill, kc, 0.18, 0.0, 6);
  ctx.tr.draw_in(p, kind, pill, {11, 2}, kc);
  const double target_left = pill.right + 12;
  const double target_room = std::max(text_right - target_left, 0.0);
  const auto target_size = ctx.tr.measure(target_text(profile), {13, 0});
  const auto target = ctx.tr.draw(p, target_text(profile),
                                  {target_left, line - (target_size.height - m.small_line) / 2},
                                  {13, 0}, t.secondary_text, target_room);
  if (!compact && !profile.group.empty()) {
    const double group_left = target_left + target.width + 14;
    if (group_left + 24 < text_right)
      ctx.tr.draw(p, "· " + profile.group,
                  {group_left, line - (target_size.height - m.small_line) / 2 + 1}, {12, 0},
                  t.secondary_text, text_right - group_left);
  }

  const ConnectStatus status = connect_status(profile);
  if (status == ConnectStatus::Connectable) {
    kova::ui::draw_button(p, ctx.tr, t, g.status, "Connect", kova::ui::ButtonStyle::Primary,
                          {.hovered = hovered(view, g.status, clip)});
    register_region(view, g.status, app::msg::RequestConnect{profile.id});
  } else {
    const Color sc = status_color(status, t);
    kova::ui::draw_pill(p, g.status, sc, 0.12, 0.75, 8);
    ctx.tr.draw_in(p, status_pill_text(status), g.status, {11.5, 2}, sc);
  }
  kova::ui::draw_button(p, ctx.tr, t, g.edit, "Edit", kova::ui::ButtonStyle::Normal,
                        {.hovered = hovered(view, g.edit, clip)});
  register_region(view, g.edit, app::msg::EditConnection{profile.id});

  if (profile.last_used.empty()) return;
  const TextStyle lu{12, 0};
  if (!compact) {
    const double room = std::min(last_used_width, 160.0);
    ctx.tr.draw_in(p, profile.last_used,
                   Rect{g.edit.left - 16 - room, g.edit.top, g.edit.left - 16, g.edit.bottom}, lu,
                   t.secondary_text, Align::End);
  } else if (text_left + last_used_width <= g.edit.left - 12) {
    ctx.tr.draw_in(p, profile.last_used,
                   Rect{text_left, g.edit.top, g.edit.left - 12, g.edit.bottom}, lu,
                   t.secondary_text, Align::Start);
  }
}

void draw_empty(const app::AppState& app, ViewState& view, PaintContext& ctx, const ListFrame& f) {
  view.list_scroll = 0;
  view.list_scroll_max = 0;
  const auto& t = ctx.theme;
  const double list_top = f.top + view.list_top;
  const double cx = f.left + f.width() / 2;
  if (!app.profiles.empty()) {
    const double w = std::max(f.width() - 48, 0.0);
    ctx.tr.draw_in(ctx.p, "No machines match your search.",
                   Rect{cx - w / 2, list_top + 48, cx + w / 2, list_top + 68}, {14, 0},
                   t.secondary_text);
    return;
  }
  const double cy = list_top + std::max(0.3 * (f.bottom - list_top), 24.0) + 36;
  ctx.p.fill_circle({cx, cy}, 36, t.accent.with_alpha(0.12));
  ctx.p.stroke_circle({cx, cy}, 36, 2, t.accent.with_alpha(0.8));
  ctx.p.line({cx - 12, cy}, {cx + 12, cy}, 2.6, t.accent);
  ctx.p.line({cx, cy - 12}, {cx, cy + 12}, 2.6, t.accent);
  const double title_top = cy + 60;
  const TextStyle title{19, 3};
  const double title_h = ctx.tr.line_height(title);
  const double w = std::max(f.width() - 48, 0.0);
  ctx.tr.draw_in(ctx.p, "No machines yet",
                 Rect{cx - w / 2, title_top, cx + w / 2, title_top + title_h}, title,
                 t.primary_text);
  const double wrap = std::max(f.width() - 48, 120.0);
  const double text_top = title_top + title_h + 6;
  const double text_h = ctx.tr.draw_wrapped(
      ctx.p, "Add one to reach it over SSH, VNC, or the Kova relay.", {cx - wrap / 2, text_top},
      wrap, {13.5, 0}, t.secondary_text, Align::Center);
  const std::string_view label = "+ New connection";
  const double bw = std::max(ctx.tr.measure(label, kova::ui::button_text).width + 32, 168.0);
  const Rect button{cx - bw / 2, text_top + text_h + 16, cx + bw / 2, text_top + text_h + 56};
  kova::ui::draw_button(ctx.p, ctx.tr, t, button, label, kova::ui::ButtonStyle::Primary,
                        {.hovered = button.contains(view.pointer)});
  register_region(view, button, app::msg::NewConnectionForm{});
}

// Title, summary, new button and search field; sets `list_top`.
void draw_header(app::AppState& app, ViewState& view, PaintContext& ctx, const ListFrame& f) {
  const auto& t = ctx.theme;
  const bool short_header = f.width() < short_header_below;
  const TextStyle title{22, 3};
  const double title_h = ctx.tr.line_height(title);
  const std::string_view label = short_header ? "+ New" : "+ New connection";
  const double bw = std::max(ctx.tr.measure(label, kova::ui::button_text).width + 28,
                             short_header ? 88.0 : 150.0);
  const double title_mid = f.top + 16 + title_h / 2;
  const Rect button{f.right - 24 - bw, title_mid - 16, f.right - 24, title_mid + 16};
  const double text_room = std::max(button.left - 12 - (f.left + 24), 0.0);
  ctx.tr.draw(ctx.p, short_header ? "Remote" : "Remote Machines", {f.left + 24, f.top + 16}, title,
              t.primary_text, text_room);
  const TextStyle summary{13, 0};
  const double summary_h = ctx.tr.line_height(summary);
  ctx.tr.draw(ctx.p, view.visible.summary, {f.left + 24, f.top + 16 + title_h + 4}, summary,
              t.secondary_text, text_room);
  kova::ui::draw_button(ctx.p, ctx.tr, t, button, label, kova::ui::ButtonStyle::Primary,
                        {.hovered = button.contains(view.pointer)});
  register_region(view, button, app::msg::NewConnectionForm{});

  const double search_top = f.top + std::max(16 + title_h + 4 + summary_h + 12, 64.0) + 8;
  const Rect search{f.left + 24, search_top, std::max(f.right - 24, f.left + 24), search_top + 36};
  app.inputs[static_cast<std::size_t>(app::FormField::Search)].draw(ctx.p, ctx.tr, t, search);
  register_region(view, search, app::msg::FocusField{app::FormField::Search});
  view.list_top = search.bottom + 16 - f.top;
}

}  // namespace

const RowMetrics& row_metrics(ViewState& view, const kova::ui::TextRenderer& tr) {
  RowMetrics& m = view.metrics;
  if (m.scale == tr.scale()) return m;
  m.scale = tr.scale();
  m.name_line = tr.measure("Hg", {16, 2}).height;
  m.small_line = tr.measure("Hg", {11, 0}).height;
  m.button_line = tr.measure("Hg", {13, 0}).height;
  m.second_line = m.name_line + 13 + 5;
  m.button_height = std::max(m.button_line + 12, 32.0);
  m.edit_width = std::max(tr.measure("Edit", {13, 0}).width + 24, 76.0);
  m.core_height = (m.small_line + 4) + m.second_line + 16;
  m.wide_height = std::max(m.core_height, 72.0);
  m.compact_height = std::max(m.button_height + m.core_height + 12, 116.0);
  double widest = tr.measure("Connect", kova::ui::button_text).width;
  for (const auto status :
       {ConnectStatus::NeedsAccess, ConnectStatus::NotSupported, ConnectStatus::FixProfile})
    widest = std::max(widest, tr.measure(status_pill_text(status), {11.5, 2}).width);
  m.status_width = std::max(widest + 18, 100.0);
  return m;
}

void paint_list(app::AppState& app, ViewState& view, PaintContext& ctx) {
  const ListFrame f = frame_of(app);
  const VisibleCache& visible = visible_rows(app, view);
  const RowMetrics& m = row_metrics(view, ctx.tr);
  draw_header(app, view, ctx, f);
  if (visible.rows.empty()) {
    draw_empty(app, view, ctx, f);
    return;
  }
  view.compact_rows = f.width() < compact_rows_below;
  const double h = row_height(m, view.compact_rows);
  const double pitch = h + row_gap;
  const double list_top = f.top + view.list_top;
  const double n = static_cast<double>(visible.rows.size());
  view.list_scroll_max = std::max(pitch * n - row_gap - (f.bottom - list_top), 0.0);
  view.list_scroll = std::clamp(view.list_scroll, 0.0, view.list_scroll_max);
  const Rect clip{app.content_rect.left, list_top, app.content_rect.right,
                  std::max(f.bottom, list_top)};
  if (clip.empty()) return;
  ctx.p.push_clip(clip);
  // Closed-form layout: only the rows that meet the list area are visited.
  const auto first = static_cast<std::size_t>(std::max(std::floor(view.list_scroll / pitch), 0.0));
  for (std::size_t i = first; i < visible.rows.size(); ++i) {
    const double top = list_top + static_cast<double>(i) * pitch - view.list_scroll;
    if (top >= clip.bottom) break;
    if (top + h <= clip.top) continue;
    draw_row(app, view, ctx, f, app.profiles[visible.rows[i]], top, clip);
  }
  ctx.p.pop_clip();
}

void scroll_into_view(const app::AppState& app, ViewState& view, std::size_t index,
                      std::size_t count) {
  const RowMetrics& m = view.metrics;
  if (m.scale == 0) return;  // nothing painted yet: the first paint clamps
  const Rect& c = app.content_rect;
  const bool compact = c.width() - rail_width < compact_rows_below;
  const double h = row_height(m, compact);
  const double pitch = h + row_gap;
  const double viewport = std::max(c.height() - view.list_top, h);
  view.list_scroll_max = std::max(pitch * static_cast<double>(count) - row_gap - viewport, 0.0);
  const double row_top = static_cast<double>(index) * pitch;
  if (row_top < view.list_scroll)
    view.list_scroll = row_top;
  else if (row_top + h > view.list_scroll + viewport)
    view.list_scroll = row_top + h - viewport;
  view.list_scroll = std::clamp(view.list_scroll, 0.0, view.list_scroll_max);
}

}  // namespace remote::ui
