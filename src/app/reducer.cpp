#include "app/reducer.h"

#include <string>

#include "action_host/context.h"
#include "actions/codec.h"
#include "app/confirm.h"
#include "app/remote_change.h"
#include "app/session.h"
#include "app/visible.h"
#include "profiles/validate.h"

namespace remote::app {

namespace {

using profiles::ConnectionKind;

kova::ui::TextInput& input(AppState& app, FormField field) {
  return app.inputs[static_cast<std::size_t>(field)];
}

void close_flap_when_narrow(AppState& app) {
  if (app.narrow_layout && app.flap.is_open(true)) app.flap.close();
}

void show_connections(AppState& app) {
  app.screen = Screen::list();
  blur_focused(app);
  close_flap_when_narrow(app);
}

void reset_form_flags(AppState& app) {
  app.form_submitted = false;
  app.name_touched = false;
  app.host_touched = false;
  app.port_touched = false;
}

void new_connection_form(AppState& app) {
  app.form = default_form();
  reset_form_flags(app);
  app.screen = Screen::form_new();
  refill_inputs(app);
  focus_field(app, FormField::Name);
  close_flap_when_narrow(app);
}

profiles::ConnectionFormValues form_of(const ConnectionProfile& p) {
  profiles::ConnectionFormValues form;
  form.name = p.name;
  form.host = p.host;
  // Kova profiles carry no port; their form shows none.
  form.port = p.kind == ConnectionKind::Kova ? std::string() : std::to_string(p.port);
  form.user = p.user;
  form.group = p.group;
  form.auth = p.auth;
  form.kind = p.kind;
  return form;
}

void edit_connection(AppState& app, const ConnectionId& id) {
  const ConnectionProfile* p = find_profile(app, id);
  if (!p) return;
  app.form = form_of(*p);
  reset_form_flags(app);
  app.screen = Screen::form_edit(id);
  refill_inputs(app);
  focus_field(app, FormField::Name);
}

void toggle_favorite(AppState& app, kova::doc::Document& document, const ConnectionId& id) {
  ConnectionProfile* p = find_profile(app, id);
  if (!p) return;
  p->favorite = !p->favorite;
  dispatch_remote_action(app, document, actions::SetFavorite{id, p->favorite});
}

void set_form_kind(AppState& app, ConnectionKind kind) {
  app.form.kind = kind;
  if (kind == ConnectionKind::Kova) {
    app.form.port.clear();
    app.form.auth = profiles::AuthMethod::DeviceIdentity;
  } else {
    const std::string_view port = profiles::trim(app.form.port);
    if (port.empty() || port == "0") app.form.port = std::to_string(*profiles::default_port(kind));
  }
  if (!profiles::auth_allowed(kind, app.form.auth))
    app.form.auth = profiles::allowed_auth_methods(kind).front();
  refill_inputs(app);
}

// A port that is typed but invalid, or a kind/auth mismatch, names no field:
// focus then stays where it is.
std::optional<FormField> first_field_in_trouble(const profiles::ConnectionFormValues& form) {
  if (profiles::trim(form.name).empty()) return FormField::Name;
  if (profiles::trim(form.host).empty()) return FormField::Host;
  if (form.kind == ConnectionKind::Kova) return FormField::Host;
  if (profiles::trim(form.port).empty()) return FormField::Port;
  return std::nullopt;
}

void save_form(AppState& app, kova::doc::Document& document) {
  if (!profiles::validate_form(app.form).empty()) {
    app.form_submitted = true;
    if (const auto field = first_field_in_trouble(app.form)) focus_field(app, *field);
    return;
  }
  const ConnectionId id = app.screen.edited().value_or(ConnectionId::random());
  ConnectionProfile record = profiles::profile_from_form(app.form, id);
  const actions::UpsertConnection upsert{record.id,   record.name, record.host, record.port,
                                         record.user, record.kind, record.auth, record.group};
  if (ConnectionProfile* existing = find_profile(app, id)) {
    record.favorite = existing->favorite;
    record.presence = existing->presence;
    record.last_used = existing->last_used;
    *existing = record;
  } else {
    app.profiles.push_back(record);
  }
  dispatch_remote_action(app, document, upsert);
  app.selection = id;
  app.screen = Screen::list();
  blur_focused(app);
}

void use_discovered_device(AppState& app, std::size_t index) {
  if (index >= app.discovered_devices.size()) return;
  const auto& device = app.discovered_devices[index];
  app.form.name = device.name;
  app.form.host = device.endpoint_id;
  app.form.kind = ConnectionKind::Kova;
  app.form.auth = profiles::AuthMethod::DeviceIdentity;
  app.form.port.clear();
  refill_inputs(app);
  focus_field(app, FormField::Name);
}

}  // namespace

void blur_focused(AppState& app) {
  if (!app.focused_field) return;
  const FormField left = *app.focused_field;
  app.focused_field.reset();
  input(app, left).set_focused(false);
  if (!app.screen.is_form()) return;
  if (left == FormField::Name) app.name_touched = true;
  if (left == FormField::Host) app.host_touched = true;
  if (left == FormField::Port) app.port_touched = true;
}

void focus_field(AppState& app, FormField field) {
  blur_focused(app);
  app.focused_field = field;
  input(app, field).set_focused(true);
}

void refill_inputs(AppState& app) {
  input(app, FormField::Host)
      .set_placeholder(app.form.kind == ConnectionKind::Kova ? "certified Kova endpoint id"
                                                             : "hostname or IP");
  for (std::size_t i = 0; i < form_field_count; ++i) {
    const auto field = static_cast<FormField>(i);
    input(app, field).set_text(model_text(app, field));
    input(app, field).move_to_end();
  }
}

std::optional<ConnectionId> first_visible(const AppState& app) {
  const auto visible = visible_connections(app.profiles, app.search_text);
  if (visible.empty()) return std::nullopt;
  return visible.front()->id;
}

std::string profile_signature(const ConnectionProfile& p) {
  std::string out(profiles::kind_label(p.kind));
  out += '|';
  out += p.host;
  out += '|';
  out += std::to_string(p.port);
  out += '|';
  out += p.user;
  out += '|';
  out += profiles::auth_label(p.auth);
  return out;
}

void dispatch_remote_action(AppState& app, kova::doc::Document& document,
                            const actions::RemoteAction& action) {
  const auto typed = make_remote_typed_action(action);
  app.action_host.dispatch(document, typed, remote_action_context(action));
}

void apply_message(AppState& app, const AppMessage& message, kova::doc::Document& document) {
  app.needs_redraw = true;
  std::visit(
      [&](const auto& m) {
        using M = std::decay_t<decltype(m)>;
        if constexpr (std::is_same_v<M, msg::ShowConnections> || std::is_same_v<M, msg::Back>) {
          show_connections(app);
        } else if constexpr (std::is_same_v<M, msg::NewConnectionForm>) {
          new_connection_form(app);
        } else if constexpr (std::is_same_v<M, msg::EditConnection>) {
          edit_connection(app, m.id);
        } else if constexpr (std::is_same_v<M, msg::Connect>) {
          connect(app, m.id);
        } else if constexpr (std::is_same_v<M, msg::RequestConnect>) {
          request_connect(app, m.id);
        } else if constexpr (std::is_same_v<M, msg::Select>) {
          app.selection = m.id;
        } else if constexpr (std::is_same_v<M, msg::ToggleFavorite>) {
          toggle_favorite(app, document, m.id);
        } else if constexpr (std::is_same_v<M, msg::RequestDelete>) {
          request_delete(app, m.id);
        } else if constexpr (std::is_same_v<M, msg::RequestTrustSshHostKey>) {
          request_trust_ssh_host_key(app, m.id);
        } else if constexpr (std::is_same_v<M, msg::RequestForgetSshHostKey>) {
          request_forget_ssh_host_key(app, m.id);
        } else if constexpr (std::is_same_v<M, msg::ConfirmPending>) {
          confirm_pending(app, document);
        } else if constexpr (std::is_same_v<M, msg::CancelPending>) {
          cancel_pending(app);
        } else if constexpr (std::is_same_v<M, msg::FocusField>) {
          if (static_cast<std::size_t>(m.field) < form_field_count) focus_field(app, m.field);
        } else if constexpr (std::is_same_v<M, msg::SetFormKind>) {
          set_form_kind(app, m.kind);
        } else if constexpr (std::is_same_v<M, msg::SetFormAuth>) {
          app.form.auth = m.auth;
        } else if constexpr (std::is_same_v<M, msg::SaveForm>) {
          save_form(app, document);
        } else if constexpr (std::is_same_v<M, msg::ToggleScale>) {
          app.fit_to_window = !app.fit_to_window;
        } else if constexpr (std::is_same_v<M, msg::ToggleFullscreen>) {
          app.fullscreen = !app.fullscreen;
        } else if constexpr (std::is_same_v<M, msg::Disconnect>) {
          disconnect(app);
        } else if constexpr (std::is_same_v<M, msg::UseDiscoveredDevice>) {
          use_discovered_device(app, m.index);
        } else if constexpr (std::is_same_v<M, msg::ToggleNavigation>) {
          app.flap.toggle(app.narrow_layout);
        }
      },
      message);
}

}  // namespace remote::app
