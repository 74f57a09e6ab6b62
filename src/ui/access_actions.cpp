#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "app/reducer.h"
#include "profiles/profile.h"
#include "ui/access_tree.h"
#include "ui/form_view.h"
#include "ui/list_view.h"

namespace remote::ui {

namespace {

using app::ConnectionId;
using app::FormField;
using kova::ui::AccessAction;
using profiles::ConnectionKind;

struct Target {
  app::AppState& app;
  ViewState& view;
  kova::doc::Document& document;

  bool apply(const app::AppMessage& message) const {
    app::apply_message(app, message, document);
    return true;
  }
};

std::optional<std::string_view> after(std::string_view text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return std::nullopt;
  return text.substr(prefix.size());
}

std::optional<FormField> field_named(std::string_view name) {
  static constexpr std::pair<std::string_view, FormField> names[] = {
      {"search", FormField::Search}, {"name", FormField::Name}, {"host", FormField::Host},
      {"port", FormField::Port},     {"user", FormField::User}, {"group", FormField::Group},
  };
  for (const auto& [n, field] : names)
    if (n == name) return field;
  return std::nullopt;
}

std::string digits_of(std::string_view text) {
  std::string out;
  for (const char c : text)
    if (c >= '0' && c <= '9') out += c;
  return out;
}

// The field takes the text (bounded and made single-line by its input, so
// model and input agree) and the focus.
void set_field_value(const Target& t, FormField field, std::string_view text) {
  t.apply(app::msg::FocusField{field});
  auto& input = t.app.inputs[static_cast<std::size_t>(field)];
  input.set_text(field == FormField::Port ? digits_of(text) : text);
  input.move_to_end();
  model_text(t.app, field) = input.text();
  if (field == FormField::Search) {
    t.app.selection = app::first_visible(t.app);
    t.view.list_scroll = 0;
  }
  t.app.needs_redraw = true;
}

bool field_action(const Target& t, std::string_view name, AccessAction action,
                  const std::optional<std::string>& value) {
  const auto field = field_named(name);
  if (!field) return false;
  switch (action) {
    case AccessAction::Activate:
    case AccessAction::Focus:
      return t.apply(app::msg::FocusField{*field});
    case AccessAction::SetValue:
      if (!value) return false;
      set_field_value(t, *field, *value);
      return true;
    default:
      return false;
  }
}

// Only the kinds the form offers as options, by their exact document text: a
// misspelt kind must not quietly become SSH, and RDP is never chosen anew.
std::optional<ConnectionKind> offered_kind(std::string_view text) {
  for (const auto kind : {ConnectionKind::Ssh, ConnectionKind::Vnc, ConnectionKind::Kova})
    if (profiles::kind_document_text(kind) == text) return kind;
  return std::nullopt;
}

// Exact slugs only, for the same reason: an unknown slug is not Password.
std::optional<profiles::AuthMethod> method_of_slug(std::string_view text) {
  using profiles::AuthMethod;
  for (const auto method :
       {AuthMethod::Password, AuthMethod::PublicKey, AuthMethod::DeviceIdentity})
    if (profiles::auth_slug(method) == text) return method;
  return std::nullopt;
}

std::optional<std::size_t> decimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::size_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return n;
}

bool select_into_view(const Target& t, const ConnectionId& id) {
  const auto& rows = visible_rows(t.app, t.view).rows;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (t.app.profiles[rows[i]].id != id) continue;
    t.apply(app::msg::Select{id});
    scroll_into_view(t.app, t.view, i, rows.size());
    return true;
  }
  return false;
}

bool connection_action(const Target& t, std::string_view rest, AccessAction action) {
  const auto colon = rest.rfind(':');
  if (colon == std::string_view::npos) return false;
  const auto id = ConnectionId::parse(rest.substr(0, colon));
  if (!id) return false;
  const std::string_view verb = rest.substr(colon + 1);
  const bool activate = action == AccessAction::Activate;
  if (verb == "select") {
    if (action == AccessAction::ScrollIntoView) return select_into_view(t, *id);
    if (activate || action == AccessAction::Focus) return t.apply(app::msg::Select{*id});
    return false;
  }
  if (verb == "favorite" && (activate || action == AccessAction::Toggle))
    return t.apply(app::msg::ToggleFavorite{*id});
  if (!activate) return false;
  if (verb == "edit") return t.apply(app::msg::EditConnection{*id});
  if (verb == "connect") return t.apply(app::msg::RequestConnect{*id});
  if (verb == "delete") return t.apply(app::msg::RequestDelete{*id});
  return false;
}

std::optional<app::AppMessage> exact_id_message(std::string_view id) {
  static const std::pair<std::string_view, app::AppMessage> ids[] = {
      {"remote.nav.toggle", app::msg::ToggleNavigation{}},
      {"remote.nav.list", app::msg::ShowConnections{}},
      {"remote.connection.new", app::msg::NewConnectionForm{}},
      {"remote.form.cancel", app::msg::Back{}},
      {"remote.form.save", app::msg::SaveForm{}},
      {"remote.session.disconnect", app::msg::Disconnect{}},
      {"remote.session.fullscreen", app::msg::ToggleFullscreen{}},
      {"remote.session.scale", app::msg::ToggleScale{}},
  };
  for (const auto& [text, message] : ids)
    if (text == id) return message;
  return std::nullopt;
}

bool act(const Target& t, std::string_view id, AccessAction action,
         const std::optional<std::string>& value) {
  const bool activate = action == AccessAction::Activate;
  const bool toggle = activate || action == AccessAction::Toggle;
  if (t.app.pending_confirmation) {
    if (!activate) return false;
    if (id == "remote.confirmation.cancel") return t.apply(app::msg::CancelPending{});
    if (id == "remote.confirmation.confirm") return t.apply(app::msg::ConfirmPending{});
    return false;
  }
  if (const auto name = after(id, "remote.field:")) return field_action(t, *name, action, value);
  if (const auto text = after(id, "remote.kind:")) {
    const auto kind = offered_kind(*text);
    return toggle && kind && t.apply(app::msg::SetFormKind{*kind});
  }
  if (const auto text = after(id, "remote.auth:")) {
    const auto method = method_of_slug(*text);
    return toggle && method && profiles::auth_allowed(t.app.form.kind, *method) &&
           t.apply(app::msg::SetFormAuth{*method});
  }
  if (const auto text = after(id, "remote.device:")) {
    const auto index = decimal(*text);
    return (activate || action == AccessAction::Focus) && index &&
           t.apply(app::msg::UseDiscoveredDevice{*index});
  }
  if (const auto rest = after(id, "remote.connection:")) return connection_action(t, *rest, action);
  const auto message = exact_id_message(id);
  if (!message) return false;
  if (std::holds_alternative<app::msg::ToggleScale>(*message)) return toggle && t.apply(*message);
  return activate && t.apply(*message);
}

}  // namespace

bool perform_semantic_action(app::AppState& app, ViewState& view, kova::doc::Document& document,
                             std::string_view node_id, kova::ui::AccessAction action,
                             const std::optional<std::string>& value) {
  return act(Target{app, view, document}, node_id, action, value);
}

}  // namespace remote::ui
