#include "ui/form_view.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <variant>

#include "profiles/validate.h"
#include "ui/list_model.h"
#include "ui_toolkit/widgets.h"

namespace remote::ui {

namespace {

using app::FormField;
using kova::ui::Color;
using kova::ui::TextStyle;
using profiles::ConnectionKind;

constexpr double field_height = 40;
// From one row's top to the next row's label.
constexpr double row_step = 56;
constexpr TextStyle label_style{12, 2};
constexpr std::string_view kova_card_text =
    "Authenticated by Kova device identity over the P2P fabric — no password needed.";
constexpr TextStyle kova_card_style{12.5, 0};

kova::ui::TextInput& input(app::AppState& app, FormField field) {
  return app.inputs[static_cast<std::size_t>(field)];
}

std::string digits_only(std::string_view text) {
  std::string out;
  for (const char c : text)
    if (c >= '0' && c <= '9') out += c;
  return out;
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

struct Column {
  double x;
  double w;
  double right() const { return x + w; }
};

class FormPainter {
 public:
  FormPainter(app::AppState& app, ViewState& view, PaintContext& ctx, Column col)
      : app_(app), view_(view), ctx_(ctx), col_(col) {}

  // Draws a section label at `y`; returns where the element below starts.
  double label(std::string_view text, double y) {
    ctx_.tr.draw(ctx_.p, text, {col_.x, y}, label_style, ctx_.theme.secondary_text, col_.w);
    return y + ctx_.tr.line_height(label_style) + 4;
  }

  void field(FormField f, Rect r) {
    input(app_, f).draw(ctx_.p, ctx_.tr, ctx_.theme, r);
    register_region(view_, r, app::msg::FocusField{f});
  }

  Rect row(double top, double left, double right) const {
    return {left, top, right, top + field_height};
  }

  template <class Message, class Value>
  void selector(Rect r, std::span<const std::string_view> labels, std::span<const Value> values,
                std::optional<std::size_t> selected) {
    const auto segments = kova::ui::toggle_group_segments(r, labels.size());
    std::optional<std::size_t> hover;
    for (std::size_t i = 0; i < segments.size(); ++i)
      if (segments[i].contains(view_.pointer)) hover = i;
    kova::ui::draw_toggle_group(ctx_.p, ctx_.tr, ctx_.theme, r, labels, selected, hover, 8, 13);
    for (std::size_t i = 0; i < segments.size() && i < values.size(); ++i)
      register_region(view_, segments[i], Message{values[i]});
  }

  double kind_selector(double top) {
    static constexpr std::array<std::string_view, 3> labels{"SSH", "VNC", "Kova"};
    static constexpr std::array<ConnectionKind, 3> kinds{ConnectionKind::Ssh, ConnectionKind::Vnc,
                                                         ConnectionKind::Kova};
    std::optional<std::size_t> selected;
    for (std::size_t i = 0; i < kinds.size(); ++i)
      if (kinds[i] == app_.form.kind) selected = i;
    selector<app::msg::SetFormKind>(row(top, col_.x, col_.right()), labels,
                                    std::span<const ConnectionKind>(kinds), selected);
    return top + row_step;
  }

  double legacy_notice(double top) {
    const Rect box{col_.x, top, col_.right(), top + 54};
    kova::ui::draw_pill(ctx_.p, box, ctx_.theme.attention, 0.12, 0.75, 8);
    ctx_.tr.draw(ctx_.p, "Legacy RDP profile", {col_.x + 12, top + 9}, {12, 2},
                 ctx_.theme.primary_text, col_.w - 24);
    ctx_.p.push_clip(box);
    ctx_.tr.draw_wrapped(
        ctx_.p, "RDP has no client backend here. Select SSH, VNC, or Kova to migrate this profile.",
        {col_.x + 12, top + 29}, std::max(col_.w - 24, 1.0), {11.5, 0}, ctx_.theme.secondary_text);
    ctx_.p.pop_clip();
    return box.bottom + 12;
  }

  double devices(double top) {
    const double first = label("Discovered Kova devices", top);
    if (app_.discovered_devices.empty()) return first - 4 + 12;
    double y = first;
    for (std::size_t i = 0; i < app_.discovered_devices.size(); ++i) {
      const auto& d = app_.discovered_devices[i];
      const Rect r{col_.x, y, col_.right(), y + 36};
      const bool selected = d.endpoint_id == app_.form.host;
      kova::ui::draw_card(ctx_.p, ctx_.theme, r, 8,
                          selected                    ? kova::ui::Emphasis::Selected
                          : r.contains(view_.pointer) ? kova::ui::Emphasis::Raised
                                                      : kova::ui::Emphasis::Resting);
      const bool online = d.presence == profiles::Presence::Online;
      ctx_.p.fill_circle({col_.x + 16, r.center_y()}, 4,
                         online ? ctx_.theme.positive : ctx_.theme.secondary_text);
      const double id_left = col_.right() - 160;
      ctx_.tr.draw_in(ctx_.p, d.name,
                      Rect{col_.x + 30, r.top, std::max(id_left - 12, col_.x + 30), r.bottom},
                      {13, 1}, ctx_.theme.primary_text, kova::ui::Align::Start);
      ctx_.tr.draw_in(ctx_.p, abbreviate(d.endpoint_id),
                      Rect{id_left, r.top, col_.right() - 12, r.bottom}, {12, 0},
                      ctx_.theme.secondary_text, kova::ui::Align::Start);
      register_region(view_, r, app::msg::UseDiscoveredDevice{i});
      y = r.bottom + 8;
    }
    return y - 8 + 16;
  }

  // Name, host (and port), then user/group or the Kova card; returns the top
  // of the last row drawn (moved down by a Kova card grown for wrapping).
  double fields(double top) {
    const ConnectionKind kind = app_.form.kind;
    const bool kova = kind == ConnectionKind::Kova;
    const double name_top = label("Name", top);
    field(FormField::Name, row(name_top, col_.x, col_.right()));
    const double host_top = label(kova ? "Device node" : "Host", name_top + row_step);
    if (kova) {
      field(FormField::Host, row(host_top, col_.x, col_.right()));
    } else {
      field(FormField::Host, row(host_top, col_.x, col_.x + std::max(col_.w - 130, 0.0)));
      field(FormField::Port, row(host_top, std::max(col_.right() - 118, col_.x), col_.right()));
    }
    const double third = host_top + row_step;
    if (kind == ConnectionKind::Vnc) {
      const double t = label("Group", third);
      field(FormField::Group, row(t, col_.x, col_.right()));
      return t;
    }
    if (kova) {
      const double t = label("Authentication", third);
      // One line fits the 40-high card; where the column is so narrow that
      // the sentence wraps, the card grows to keep a margin around it and
      // what follows moves down by as much.
      const double wrapped = ctx_.tr.measure_wrapped(kova_card_text, text_width(), kova_card_style);
      const double one = ctx_.tr.line_height(kova_card_style);
      const double grow = std::max(wrapped - one, 0.0);
      const Rect card{col_.x, t, col_.right(), t + field_height + grow};
      ctx_.p.fill_rounded(card, 8, ctx_.theme.accent.with_alpha(0.10));
      ctx_.p.push_clip(card);
      ctx_.tr.draw_wrapped(ctx_.p, kova_card_text, {col_.x + 12, card.center_y() - 7 - grow / 2},
                           text_width(), kova_card_style, ctx_.theme.secondary_text);
      ctx_.p.pop_clip();
      return t + grow;
    }
    const double t = label("User", third);
    field(FormField::User, row(t, col_.x, col_.x + (col_.w - 12) / 2));
    field(FormField::Group, row(t, col_.x + (col_.w + 12) / 2, col_.right()));
    return t;
  }

  double auth_selector(double row_top) {
    const double t = label("Authentication", row_top + row_step);
    const auto methods = profiles::allowed_auth_methods(app_.form.kind);
    std::vector<std::string_view> labels;
    std::optional<std::size_t> selected;
    for (std::size_t i = 0; i < methods.size(); ++i) {
      labels.push_back(profiles::auth_label(methods[i]));
      if (methods[i] == app_.form.auth) selected = i;
    }
    selector<app::msg::SetFormAuth>(row(t, col_.x, col_.right()), labels, methods, selected);
    return t;
  }

  // Problems (or the hint), then Save, Cancel and, when editing, Delete;
  // returns the buttons' bottom.
  double footer(double top) {
    const auto problems = visible_problems(app_);
    double height = 0;
    if (problems.empty()) {
      height = ctx_.tr.draw_wrapped(ctx_.p, "Enter a name and target to save this connection.",
                                    {col_.x, top}, std::max(col_.w, 1.0), {12.5, 0},
                                    ctx_.theme.secondary_text);
    } else {
      std::string joined;
      for (const auto& m : problems)
        joined += (joined.empty() ? "" : " · ") + m;
      height = ctx_.tr.draw_wrapped(ctx_.p, joined, {col_.x, top}, std::max(col_.w, 1.0), {12.5, 0},
                                    ctx_.theme.danger);
    }
    // A problems line that wraps pushes the buttons down instead of under it.
    const double buttons = top + std::max(28.0, height + 10);
    const Rect save{col_.right() - 120, buttons, col_.right(), buttons + 40};
    const Rect cancel{col_.right() - 230, buttons, col_.right() - 132, buttons + 40};
    button(save, "Save", kova::ui::ButtonStyle::Primary, app::msg::SaveForm{});
    button(cancel, "Cancel", kova::ui::ButtonStyle::Normal, app::msg::Back{});
    if (const auto edited = app_.screen.edited()) {
      const Rect del{col_.x, buttons, col_.x + 120, buttons + 40};
      button(del, "Delete", kova::ui::ButtonStyle::Destructive, app::msg::RequestDelete{*edited});
    }
    return save.bottom;
  }

 private:
  double text_width() const { return std::max(col_.w - 24, 1.0); }

  void button(Rect r, std::string_view text, kova::ui::ButtonStyle style, app::AppMessage message) {
    kova::ui::draw_button(ctx_.p, ctx_.tr, ctx_.theme, r, text, style,
                          {.hovered = r.contains(view_.pointer)});
    register_region(view_, r, std::move(message));
  }

  app::AppState& app_;
  ViewState& view_;
  PaintContext& ctx_;
  Column col_;
};

}  // namespace

void mirror_inputs(app::AppState& app) {
  for (std::size_t i = 0; i < app::form_field_count; ++i) {
    const auto field = static_cast<FormField>(i);
    if (app.focused_field == field) continue;
    const std::string& text = model_text(app, field);
    if (input(app, field).text() != text) input(app, field).set_text(text);
  }
}

bool input_event(app::AppState& app, const kova::ui::Event& event, kova::ui::Clipboard& clipboard,
                 const kova::ui::TextRenderer& tr) {
  if (!app.focused_field) return false;
  const FormField field = *app.focused_field;
  kova::ui::TextInput& in = input(app, field);
  const std::string before = in.text();
  const bool consumed = in.handle_event(event, clipboard, tr);
  if (in.text() != before) {
    std::string text = in.text();
    if (field == FormField::Port) {
      std::string digits = digits_only(text);
      if (digits != text) {
        in.set_text(digits);
        in.move_to_end();
      }
      text = std::move(digits);
    }
    model_text(app, field) = std::move(text);
    app.needs_redraw = true;
  }
  return consumed;
}

std::vector<std::string> visible_problems(const app::AppState& app) {
  std::vector<std::string> shown;
  for (auto& message : profiles::validate_form(app.form)) {
    const bool earned =
        app.form_submitted || (app.name_touched && message == "Name is required") ||
        (app.host_touched &&
         (message == "Host is required" ||
          starts_with(message, "Kova device node must be an exact certified endpoint id"))) ||
        (app.port_touched && starts_with(message, "Port"));
    if (earned) shown.push_back(std::move(message));
  }
  return shown;
}

namespace {

// Space kept below the buttons of a form taller than the window, and around
// a field brought into view (above it, enough for its label).
constexpr double form_end_margin = 24;
constexpr double into_view_above = 28;
constexpr double into_view_below = 16;

// Draws the form with its title line at `top` and registers its regions;
// returns the bottom of its buttons.
double paint_form_at(app::AppState& app, ViewState& view, PaintContext& ctx, double top) {
  const double left = content_left(app);
  const double pane = app.content_rect.right - left;
  const double w = std::max(std::min(pane - 48, 560.0), 0.0);
  const Column col{left + (pane - w) / 2, w};
  ctx.tr.draw(ctx.p, app.screen.edited() ? "Edit connection" : "New connection",
              {left + 24, top + 18}, {22, 3}, ctx.theme.primary_text, std::max(pane - 48, 0.0));
  FormPainter form(app, view, ctx, col);
  double y = form.kind_selector(form.label("Protocol", top + 72));
  if (app.form.kind == ConnectionKind::Rdp) y = form.legacy_notice(y);
  if (app.form.kind == ConnectionKind::Kova) y = form.devices(y);
  const double last_row = form.fields(y);
  const double selector_top =
      app.form.kind == ConnectionKind::Kova ? last_row : form.auth_selector(last_row);
  return form.footer(selector_top + row_step);
}

struct FormLayout {
  double bottom = 0;             // of the buttons, with the title line at 0
  std::optional<Rect> focused;  // the focused field, same coordinates
};

// Lays the form out without drawing anything or leaving regions or logged
// texts behind.
FormLayout measure_form(app::AppState& app, ViewState& view, PaintContext& ctx) {
  const std::size_t regions = view.regions.size();
  kova::ui::DrawLog* log = ctx.p.log();
  const std::size_t texts = log ? log->texts.size() : 0;
  ctx.p.push_clip(Rect{});
  FormLayout out{paint_form_at(app, view, ctx, 0), std::nullopt};
  ctx.p.pop_clip();
  if (app.focused_field) {
    for (std::size_t i = regions; i < view.regions.size(); ++i) {
      const auto& m = view.regions[i].message;
      const auto* focus = m ? std::get_if<app::msg::FocusField>(&*m) : nullptr;
      if (focus && focus->field == *app.focused_field) out.focused = view.regions[i].rect;
    }
  }
  view.regions.resize(regions);
  if (log) log->texts.resize(texts);
  return out;
}

double max_scroll(double bottom, double viewport) {
  return std::max(bottom + form_end_margin - viewport, 0.0);
}

}  // namespace

double form_scroll_for(double scroll, Rect field, double viewport) {
  const double top = field.top - into_view_above;
  const double bottom = field.bottom + into_view_below;
  // Too tall for the viewport: the label and the field's start show.
  if (top < scroll || bottom - top > viewport) return std::max(top, 0.0);
  if (bottom > scroll + viewport) return std::max(bottom - viewport, 0.0);
  return scroll;
}

void paint_form(app::AppState& app, ViewState& view, PaintContext& ctx) {
  const Rect& c = app.content_rect;
  const double viewport = std::max(c.height(), 0.0);
  if (view.form_scrolled != app.screen) {
    view.form_scrolled = app.screen;
    view.form_scroll = 0;
    view.form_focus_seen.reset();
  }
  // Only a scrolled form, or one whose focus moved, is laid out before it
  // is drawn: the offset is then clamped for the current window and the
  // newly focused field brought into view in the same frame.
  const bool focus_moved = app.focused_field != view.form_focus_seen;
  view.form_focus_seen = app.focused_field;
  if (view.form_scroll > 0 || (focus_moved && app.focused_field)) {
    const FormLayout layout = measure_form(app, view, ctx);
    double scroll = view.form_scroll;
    if (focus_moved && layout.focused) scroll = form_scroll_for(scroll, *layout.focused, viewport);
    view.form_scroll_max = max_scroll(layout.bottom, viewport);
    view.form_scroll = std::clamp(scroll, 0.0, view.form_scroll_max);
  }
  const double bottom = paint_form_at(app, view, ctx, c.top - view.form_scroll);
  view.form_scroll_max = max_scroll(bottom + view.form_scroll - c.top, viewport);
}

}  // namespace remote::ui
