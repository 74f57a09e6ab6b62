#include "ui/shell_view.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "app/session.h"
#include "ui/form_view.h"
#include "ui/list_model.h"
#include "ui/list_view.h"
#include "ui/session_view.h"
#include "ui_toolkit/widgets.h"

namespace remote::ui {

namespace {

using app::PendingConfirmation;
using kova::ui::Align;
using kova::ui::Color;
using kova::ui::TextStyle;

// A stalled frame moves the flap at most as far as this step.
constexpr double max_flap_step_seconds = 0.1;

void animate_flap(app::AppState& app, ViewState& view, Clock::time_point now) {
  double dt = 0;
  if (view.last_paint) dt = std::chrono::duration<double>(now - *view.last_paint).count();
  view.last_paint = now;
  dt = std::clamp(dt, 0.0, max_flap_step_seconds);
  if (app.flap.animate(app.narrow_layout, dt, app.reduced_motion)) app.needs_redraw = true;
}

// A live terminal or remote desktop takes typed text, with an input
// method's composition, as a focused field does.
bool session_takes_text(const app::AppState& app) {
  using Kind = app::SessionState::Kind;
  if (app.screen.kind != app::Screen::Kind::Session || !app.session) return false;
  if (app.session->kind != Kind::Ssh && app.session->kind != Kind::Vnc) return false;
  const auto status = app::session_status(app);
  return status && status->kind == app::SessionStatus::Kind::Connected;
}

void draw_rail(const app::AppState& app, ViewState& view, PaintContext& ctx) {
  const auto& t = ctx.theme;
  const Rect& c = app.content_rect;
  const double left = c.left - (1 - app.flap.slide()) * rail_width;
  const Rect rail{left, c.top, left + rail_width, c.bottom};
  ctx.p.fill_rect(rail, t.raised);
  kova::ui::draw_chrome_hairline(ctx.p, t, {rail.right, rail.top}, {rail.right, rail.bottom});
  // Register the strip first so clicks on its empty parts do nothing.
  register_region(view, rail, std::nullopt);
  ctx.p.fill_rounded(Rect{left + 16, c.top + 18, left + 48, c.top + 44}, 5, t.accent);
  ctx.p.fill_rounded(Rect{left + 26, c.top + 44, left + 38, c.top + 49}, 1, t.accent);

  struct Item {
    std::string_view glyph;
    bool selected;
    app::AppMessage message;
  };
  const std::array<Item, 2> items{
      Item{"≡", app.screen.kind == app::Screen::Kind::List, app::msg::ShowConnections{}},
      Item{"+", false, app::msg::NewConnectionForm{}}};
  double top = c.top + 72;
  for (const auto& item : items) {
    const Rect r{left + 12, top, left + rail_width - 12, top + 40};
    if (item.selected) {
      ctx.p.fill_rounded(r, 8, kova::ui::mix(t.raised, t.primary_text, 0.08));
      ctx.p.stroke_rounded(r, 8, 1, t.border);
    } else if (r.contains(view.pointer)) {
      ctx.p.fill_rounded(r, 8, t.positive.with_alpha(0.16));
    }
    const TextStyle glyph{22, 3};
    ctx.tr.draw_in(ctx.p, item.glyph, Rect{r.left, r.top + 6, r.right, r.top + 6 + ctx.tr.line_height(glyph)},
                   glyph, item.selected ? t.primary_text : t.secondary_text);
    register_region(view, r, item.message);
    top += 56;
  }
}

void draw_toggle(const app::AppState& app, ViewState& view, PaintContext& ctx) {
  const auto& t = ctx.theme;
  const Rect r = toggle_rect(app);
  ctx.p.fill_rounded(r, 8, t.raised);
  if (r.contains(view.pointer)) ctx.p.stroke_rounded(r, 8, 1, t.border);
  if (app.flap.is_open(app.narrow_layout)) {
    const TextStyle glyph{22, 3};
    ctx.tr.draw_in(ctx.p, "‹", Rect{r.left, r.top + 6, r.right, r.top + 6 + ctx.tr.line_height(glyph)}, glyph,
                   t.primary_text);
  } else {
    for (int i = -1; i <= 1; ++i) {
      const double y = r.center_y() + 6 * i;
      ctx.p.fill_rounded(Rect{r.center_x() - 9, y - 1, r.center_x() + 9, y + 1}, 1, t.primary_text);
    }
  }
  register_region(view, r, app::msg::ToggleNavigation{});
}

void draw_notice(const app::AppState& app, PaintContext& ctx) {
  const auto& t = ctx.theme;
  const Rect& c = app.content_rect;
  const double w = std::clamp(c.width() - 32, 0.0, 520.0);
  const Rect box{c.right - 16 - w, c.bottom - 70, c.right - 16, c.bottom - 16};
  if (box.empty()) return;
  kova::ui::draw_edges(ctx.p, box, 10);
  ctx.p.fill_rounded(box, 10, kova::ui::mix(t.window_background, t.attention, 0.18));
  ctx.p.stroke_rounded(box, 10, 1, t.attention);
  ctx.p.push_clip(box);
  ctx.tr.draw(ctx.p, "Action needs review", {box.left + 12, box.top + 9}, {12.5, 2}, t.primary_text,
              std::max(w - 24, 0.0));
  ctx.tr.draw_wrapped(ctx.p, *app.notice, {box.left + 12, box.top + 27}, std::max(w - 24, 1.0), {12, 0},
                      t.secondary_text);
  ctx.p.pop_clip();
}

void draw_dialog(const app::AppState& app, ViewState& view, PaintContext& ctx) {
  const auto& t = ctx.theme;
  const Rect& c = app.content_rect;
  const DialogTexts texts = dialog_texts(app, *app.pending_confirmation);
  ctx.p.fill_rect(c, Color{0.02, 0.03, 0.05, 0.62});
  // The scrim blocks clicks on everything under it.
  register_region(view, c, std::nullopt);
  const double w = std::clamp(c.width() - 32, 280.0, 460.0);
  const double h = 224;
  const Rect card = Rect::from_xywh(c.center_x() - w / 2, c.center_y() - h / 2, w, h);
  kova::ui::draw_edges(ctx.p, card, 14);
  ctx.p.fill_rounded(card, 14, t.panel_ground);
  ctx.p.stroke_rounded(card, 14, 1, t.border);
  ctx.p.push_clip(card);
  const double text_w = w - 48;
  ctx.tr.draw(ctx.p, texts.title, {card.left + 24, card.top + 28}, {18, 3}, t.primary_text, text_w);
  if (!texts.target.empty())
    ctx.tr.draw(ctx.p, texts.target, {card.left + 24, card.top + 58}, {12.5, 0}, t.secondary_text, text_w);
  // The body stops above the buttons rather than running under them.
  ctx.p.push_clip(Rect{card.left, card.top, card.right, card.bottom - 62});
  ctx.tr.draw_wrapped(ctx.p, texts.body, {card.left + 24, card.top + 92}, text_w, {13, 0}, t.secondary_text);
  ctx.p.pop_clip();
  const Rect cancel{card.right - 244, card.bottom - 58, card.right - 132, card.bottom - 18};
  const Rect confirm{card.right - 120, card.bottom - 58, card.right - 18, card.bottom - 18};
  kova::ui::draw_button(ctx.p, ctx.tr, t, cancel, "Cancel", kova::ui::ButtonStyle::Normal,
                        {.hovered = cancel.contains(view.pointer)});
  const bool destructive = app.pending_confirmation->kind == PendingConfirmation::Kind::Delete;
  kova::ui::draw_button(ctx.p, ctx.tr, t, confirm, texts.confirm,
                        destructive ? kova::ui::ButtonStyle::Destructive : kova::ui::ButtonStyle::Primary,
                        {.hovered = confirm.contains(view.pointer)});
  ctx.p.pop_clip();
  register_region(view, cancel, app::msg::CancelPending{});
  register_region(view, confirm, app::msg::ConfirmPending{});
}

}  // namespace

DialogTexts dialog_texts(const app::AppState& app, const PendingConfirmation& pending) {
  const auto* profile = app::find_profile(app, pending.connection);
  const std::string name = profile ? profile->name : "this saved connection";
  DialogTexts d;
  if (profile) d.target = target_text(*profile);
  switch (pending.kind) {
    case PendingConfirmation::Kind::Connect:
      d.title = "Connect to " + name + "?";
      d.body = "This opens a live remote session. Remote will recheck the saved target and access before "
               "anything is sent.";
      d.confirm = "Connect";
      break;
    case PendingConfirmation::Kind::Delete:
      d.title = "Delete " + name + "?";
      d.body = "This removes the shared saved profile from Remote. It does not modify the remote machine.";
      d.confirm = "Delete";
      break;
    case PendingConfirmation::Kind::TrustSshHostKey:
      d.title = "Trust SSH key for " + name + "?";
      d.body = "Verify this out of band before trusting: " + pending.key_algorithm + " " +
               pending.key_fingerprint + ". This pin is private to this device.";
      d.confirm = "Trust key";
      break;
    case PendingConfirmation::Kind::ForgetSshHostKey:
      d.title = "Forget SSH key for " + name + "?";
      d.body = "This removes only this device's saved host-key pin. Reconnect to inspect and explicitly trust "
               "a replacement key.";
      d.confirm = "Forget key";
      break;
  }
  return d;
}

void paint_app(app::AppState& app, ViewState& view, PaintContext& ctx, Clock::time_point now) {
  view.regions.clear();
  mirror_inputs(app);
  animate_flap(app, view, now);
  // A session that ended frees its picture at the first paint after it.
  follow_session(app, view.session);
  if (app.screen.kind == app::Screen::Kind::Session) take_session_output(app, view.session);
  const Rect& c = app.content_rect;
  ctx.p.fill_rect(c, ctx.theme.window_background);
  ctx.p.push_clip(Rect{content_left(app), c.top, c.right, c.bottom});
  switch (app.screen.kind) {
    case app::Screen::Kind::List: paint_list(app, view, ctx); break;
    case app::Screen::Kind::Form: paint_form(app, view, ctx); break;
    case app::Screen::Kind::Session:
      paint_session(app, view, ctx);
      if (session_takes_text(app)) ctx.p.set_text_input_area(session_body(app));
      break;
  }
  ctx.p.pop_clip();
  if (app.notice) draw_notice(app, ctx);
  if (app.pending_confirmation) {
    draw_dialog(app, view, ctx);
    return;
  }
  const double reveal = app.flap.reveal();
  const bool fullscreen_session = app.screen.kind == app::Screen::Kind::Session && app.fullscreen;
  // A full-screen session covers the content: no scrim, toggle or rail.
  if (app.narrow_layout && !fullscreen_session) {
    if (reveal > 0.001) {
      ctx.p.fill_rect(c, Color{0, 0, 0, reveal * 0.26});
      // Under the scrim only the rail and the toggle react; a press
      // elsewhere closes the flap (input routing).
    }
    draw_toggle(app, view, ctx);
  }
  if (reveal > 0.001 && !fullscreen_session) draw_rail(app, view, ctx);
  if (view.tooltip.advance(now)) app.needs_redraw = true;
  if (const auto* tip = view.tooltip.shown())
    kova::ui::draw_tooltip(ctx.p, ctx.tr, ctx.theme, tip->anchor, tip->text, c);
}

bool shell_wants_frame(const app::AppState& app, const ViewState& view) {
  return app.flap.moving(app.narrow_layout, app.reduced_motion) || view.tooltip.pending();
}

}  // namespace remote::ui
