#include "ui/input.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <variant>

#include "app/reducer.h"
#include "ui/form_view.h"
#include "ui/list_view.h"
#include "ui/session_input.h"

namespace remote::ui {

namespace {

using app::FormField;
using kova::ui::Key;
using kova::ui::KeyEvent;
using profiles::ConnectionKind;

// One wheel line scrolls the list this far.
constexpr double wheel_line_px = 48;

void apply(app::AppState& app, InputContext& ctx, const app::AppMessage& message) {
  app::apply_message(app, message, ctx.document);
}

bool is_list(const app::AppState& app) { return app.screen.kind == app::Screen::Kind::List; }
bool is_session(const app::AppState& app) { return app.screen.kind == app::Screen::Kind::Session; }
bool flap_open_over_content(const app::AppState& app) {
  return app.narrow_layout && app.flap.is_open(true);
}

std::span<const FormField> field_order(ConnectionKind kind) {
  static constexpr std::array<FormField, 5> full{FormField::Name, FormField::Host, FormField::Port,
                                                 FormField::User, FormField::Group};
  static constexpr std::array<FormField, 4> vnc{FormField::Name, FormField::Host, FormField::Port,
                                                FormField::Group};
  static constexpr std::array<FormField, 2> kova{FormField::Name, FormField::Host};
  switch (kind) {
    case ConnectionKind::Vnc: return vnc;
    case ConnectionKind::Kova: return kova;
    case ConnectionKind::Ssh:
    case ConnectionKind::Rdp: return full;
  }
  return full;
}

void move_selection(app::AppState& app, ViewState& view, InputContext& ctx, bool down) {
  const auto& rows = visible_rows(app, view).rows;
  if (rows.empty()) return;
  std::size_t index = 0;
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (app.selection == app.profiles[rows[i]].id) index = i;
  index = down ? std::min(index + 1, rows.size() - 1) : (index == 0 ? 0 : index - 1);
  apply(app, ctx, app::msg::Select{app.profiles[rows[index]].id});
  scroll_into_view(app, view, index, rows.size());
}

void on_escape(app::AppState& app) {
  if (flap_open_over_content(app)) {
    app.flap.close();
  } else if (app.screen.is_form() || (is_session(app) && !app.fullscreen)) {
    return;  // Back, applied by the caller
  } else if (is_session(app)) {
    app.fullscreen = false;
  } else if (is_list(app) && app.focused_field == FormField::Search) {
    app.search_text.clear();
    app::blur_focused(app);
    mirror_inputs(app);
  }
  app.needs_redraw = true;
}

// Named keys (step 9 of routing); true when consumed.
bool on_named_key(app::AppState& app, ViewState& view, const KeyEvent& key, InputContext& ctx) {
  switch (key.key) {
    case Key::Enter:
      if (is_list(app) && app.selection) apply(app, ctx, app::msg::RequestConnect{*app.selection});
      else if (app.screen.is_form()) apply(app, ctx, app::msg::SaveForm{});
      return true;
    case Key::Tab:
      if (!app.screen.is_form()) return false;
      apply(app, ctx, app::msg::FocusField{next_field(app.form.kind, app.focused_field)});
      return true;
    case Key::Down:
    case Key::Up:
      if (!is_list(app) || app.focused_field) return false;
      move_selection(app, view, ctx, key.key == Key::Down);
      return true;
    case Key::Escape:
      if (!flap_open_over_content(app) && (app.screen.is_form() || (is_session(app) && !app.fullscreen)))
        apply(app, ctx, app::msg::Back{});
      else on_escape(app);
      return true;
    default:
      return false;
  }
}

void on_key(app::AppState& app, ViewState& view, const KeyEvent& key, const kova::ui::Event& event,
            InputContext& ctx) {
  if (device_key(app, key)) return;
  if (!key.pressed) return;
  if (app.pending_confirmation) {
    if (key.key == Key::Escape) return apply(app, ctx, app::msg::CancelPending{});
    if (key.key == Key::Enter) return apply(app, ctx, app::msg::ConfirmPending{});
    input_event(app, event, ctx.clipboard, ctx.tr);
    return;
  }
  if (const auto shortcut = shortcut_for(app, key)) {
    switch (*shortcut) {
      case Shortcut::NewConnection: return apply(app, ctx, app::msg::NewConnectionForm{});
      case Shortcut::FocusSearch:
        if (!is_list(app)) apply(app, ctx, app::msg::ShowConnections{});
        return apply(app, ctx, app::msg::FocusField{FormField::Search});
      case Shortcut::Disconnect: return apply(app, ctx, app::msg::Disconnect{});
    }
  }
  // In full screen Escape is the way out, never a key for the remote.
  const bool fullscreen_escape = key.key == Key::Escape && is_session(app) && app.fullscreen;
  if (!fullscreen_escape && session_key(app, key)) return;
  if (key.key == Key::Character) {
    if (key.character == U'/' && is_list(app) && !app.focused_field && !key.modifiers.control() &&
        !key.modifiers.super())
      return apply(app, ctx, app::msg::FocusField{FormField::Search});
  } else if (on_named_key(app, view, key, ctx)) {
    return;
  }
  input_event(app, event, ctx.clipboard, ctx.tr);
}

void on_move(app::AppState& app, ViewState& view, const kova::ui::PointerMoveEvent& move,
             const kova::ui::Event& event, InputContext& ctx) {
  if (!(view.pointer == move.position)) {
    view.pointer = move.position;
    app.needs_redraw = true;
    if (!app.pending_confirmation) session_pointer_moved(app, view.session, view.pointer);
  }
  std::optional<kova::ui::TooltipTarget> target;
  if (const auto* region = hit_test(view.regions, view.pointer); region && region->message)
    if (auto text = tooltip_text(app, *region->message)) target = kova::ui::TooltipTarget{region->rect, *text};
  if (view.tooltip.set_target(std::move(target), ctx.now)) app.needs_redraw = true;
  if (app.focused_field) input_event(app, event, ctx.clipboard, ctx.tr);
}

// The list, and a form taller than the window, scroll by the wheel.
void on_wheel(app::AppState& app, ViewState& view, const kova::ui::WheelEvent& wheel) {
  if (app.pending_confirmation) return;
  double* scroll = nullptr;
  double limit = 0;
  if (is_list(app)) {
    scroll = &view.list_scroll;
    limit = view.list_scroll_max;
  } else if (app.screen.is_form()) {
    scroll = &view.form_scroll;
    limit = view.form_scroll_max;
  } else {
    return;
  }
  const double change =
      wheel.unit == kova::ui::WheelUnit::Pixels ? -wheel.dy : -wheel_line_px * wheel.dy;
  const double next = std::clamp(*scroll + change, 0.0, std::max(limit, 0.0));
  if (std::isfinite(next) && next != *scroll) {
    *scroll = next;
    app.needs_redraw = true;
  }
}

void on_button(app::AppState& app, ViewState& view, const kova::ui::PointerButtonEvent& button,
               const kova::ui::Event& event, InputContext& ctx) {
  view.pointer = button.position;
  if (!app.pending_confirmation && session_button(app, view.session, button)) return;
  if (!button.pressed) {
    input_event(app, event, ctx.clipboard, ctx.tr);
    return;
  }
  if (button.button != kova::ui::PointerButton::Primary) return;
  const HitRegion* region = hit_test(view.regions, button.position);
  if (app.pending_confirmation) {
    if (!region || !region->message) return;
    const auto& m = *region->message;
    if (std::holds_alternative<app::msg::ConfirmPending>(m) || std::holds_alternative<app::msg::CancelPending>(m))
      apply(app, ctx, m);
    return;
  }
  if (flap_open_over_content(app)) {
    const Rect& c = app.content_rect;
    const Rect rail{c.left, c.top, c.left + rail_width, c.bottom};
    if (!rail.contains(button.position) && !toggle_rect(app).contains(button.position)) {
      app.flap.close();
      app.needs_redraw = true;
      return;
    }
  }
  if (!region || !region->message) {
    app::blur_focused(app);
    app.needs_redraw = true;
    return;
  }
  const app::AppMessage message = *region->message;
  apply(app, ctx, message);
  if (std::holds_alternative<app::msg::FocusField>(message)) input_event(app, event, ctx.clipboard, ctx.tr);
}

}  // namespace

std::optional<Shortcut> shortcut_for(const app::AppState& app, const KeyEvent& key) {
  if (!key.pressed || key.key != Key::Character) return std::nullopt;
  if (!key.modifiers.control() && !key.modifiers.super()) return std::nullopt;
  char32_t c = key.character;
  if (c >= U'A' && c <= U'Z') c = c - U'A' + U'a';
  if (c == U'n') return Shortcut::NewConnection;
  if (c == U'f') return Shortcut::FocusSearch;
  if (c == U'w' && is_session(app)) return Shortcut::Disconnect;
  return std::nullopt;
}

FormField next_field(ConnectionKind kind, std::optional<FormField> focused) {
  const auto order = field_order(kind);
  if (!focused) return order.front();
  const auto it = std::find(order.begin(), order.end(), *focused);
  if (it == order.end()) return order[1];
  return std::next(it) == order.end() ? order.front() : *std::next(it);
}

std::optional<std::string> tooltip_text(const app::AppState& app, const app::AppMessage& message) {
  if (std::holds_alternative<app::msg::ToggleNavigation>(message))
    return app.flap.is_open(app.narrow_layout) ? "Close navigation" : "Open navigation";
  if (std::holds_alternative<app::msg::NewConnectionForm>(message)) return "Add connection (Ctrl+N)";
  if (std::holds_alternative<app::msg::ShowConnections>(message)) return "Connections";
  if (const auto* fav = std::get_if<app::msg::ToggleFavorite>(&message)) {
    const auto* p = app::find_profile(app, fav->id);
    if (!p) return std::nullopt;
    return p->favorite ? "Remove from favourites" : "Add to favourites";
  }
  return std::nullopt;
}

void handle_event(app::AppState& app, ViewState& view, const kova::ui::Event& event, InputContext& ctx) {
  // A session started or ended since the last paint: its picture, drawn
  // rectangle and button mask belong to the old one.
  follow_session(app, view.session);
  if (!std::holds_alternative<kova::ui::PointerMoveEvent>(event) && view.tooltip.dismiss())
    app.needs_redraw = true;
  std::visit(
      [&](const auto& e) {
        using E = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<E, KeyEvent>) on_key(app, view, e, event, ctx);
        else if constexpr (std::is_same_v<E, kova::ui::PointerMoveEvent>) on_move(app, view, e, event, ctx);
        else if constexpr (std::is_same_v<E, kova::ui::WheelEvent>) on_wheel(app, view, e);
        else if constexpr (std::is_same_v<E, kova::ui::PointerButtonEvent>) on_button(app, view, e, event, ctx);
        else if constexpr (std::is_same_v<E, kova::ui::TextEvent> || std::is_same_v<E, kova::ui::CompositionEvent>)
          input_event(app, event, ctx.clipboard, ctx.tr);
      },
      event);
}

}  // namespace remote::ui
