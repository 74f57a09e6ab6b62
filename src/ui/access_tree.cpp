#include "ui/access_tree.h"

#include <cstring>
#include <span>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "app/session.h"
#include "app/visible.h"
#include "profiles/validate.h"
#include "ui/form_view.h"
#include "ui/list_model.h"

namespace remote::ui {

namespace {

using app::ConnectionId;
using app::FormField;
using app::SessionStatus;
using kova::ui::AccessNode;
using kova::ui::AccessRole;
using profiles::ConnectionKind;
using profiles::ConnectionProfile;

// The tag byte followed by the carried value's bytes: equal keys are equal
// messages.
std::string message_key(const app::AppMessage& message) {
  std::string key(1, static_cast<char>(app::message_tag(message)));
  std::visit(
      [&key](const auto& m) {
        if constexpr (requires { m.id.bytes(); }) {
          const auto& b = m.id.bytes();
          key.append(reinterpret_cast<const char*>(b.data()), b.size());
        } else if constexpr (requires { m.field; }) {
          key.push_back(static_cast<char>(m.field));
        } else if constexpr (requires { m.kind; }) {
          key.push_back(static_cast<char>(m.kind));
        } else if constexpr (requires { m.auth; }) {
          key.push_back(static_cast<char>(m.auth));
        } else if constexpr (requires { m.index; }) {
          char bytes[sizeof m.index];
          std::memcpy(bytes, &m.index, sizeof bytes);
          key.append(bytes, sizeof bytes);
        }
      },
      message);
  return key;
}

// Builds nodes for one state, with the bounds of the last paint's regions
// looked up by message (newest region wins).
class TreeBuilder {
 public:
  TreeBuilder(const app::AppState& app, const ViewState& view) : app_(app) {
    bounds_.reserve(view.regions.size());
    for (const auto& region : view.regions)
      if (region.message) bounds_.insert_or_assign(message_key(*region.message), region.rect);
  }

  AccessNode root() const {
    AccessNode root = node(AccessRole::Window, "Remote");
    root.bounds = app_.content_rect;
    root.children.push_back(navigation());
    switch (app_.screen.kind) {
      case app::Screen::Kind::List:
        root.children.push_back(list_screen());
        break;
      case app::Screen::Kind::Form:
        root.children.push_back(form_screen());
        break;
      case app::Screen::Kind::Session:
        root.children.push_back(session_screen());
        break;
    }
    if (app_.pending_confirmation) root.children.push_back(dialog(*app_.pending_confirmation));
    if (app_.notice)
      root.children.push_back(node(AccessRole::Text, *app_.notice, "remote.action.notice"));
    return root;
  }

 private:
  static AccessNode node(AccessRole role, std::string label, std::string id = {}) {
    AccessNode n;
    n.role = role;
    n.label = std::move(label);
    n.id = std::move(id);
    return n;
  }

  AccessNode interactive(AccessRole role, std::string label, std::string id,
                         const app::AppMessage& message) const {
    AccessNode n = node(role, std::move(label), std::move(id));
    if (const auto it = bounds_.find(message_key(message)); it != bounds_.end())
      n.bounds = it->second;
    return n;
  }

  static std::string connection_id(const ConnectionId& id, std::string_view verb) {
    return "remote.connection:" + id.to_string() + ":" + std::string(verb);
  }

  AccessNode navigation() const {
    AccessNode bar = node(AccessRole::Toolbar, "Remote navigation");
    // In the narrow layout an automatic flap is closed, so open means the
    // user opened it.
    const bool explicitly_open = app_.narrow_layout && app_.flap.is_open(true);
    if (app_.narrow_layout) {
      AccessNode toggle =
          interactive(AccessRole::Button, explicitly_open ? "Close navigation" : "Open navigation",
                      "remote.nav.toggle", app::msg::ToggleNavigation{});
      toggle.description = "Show Connections and Add connection";
      toggle.states.expanded = explicitly_open;
      bar.children.push_back(std::move(toggle));
    }
    if (!app_.narrow_layout || explicitly_open) {
      bar.children.push_back(interactive(AccessRole::Button, "Connections", "remote.nav.list",
                                         app::msg::ShowConnections{}));
      bar.children.push_back(interactive(AccessRole::Button, "Add connection",
                                         "remote.connection.new", app::msg::NewConnectionForm{}));
    }
    return bar;
  }

  AccessNode text_input(FormField field, std::string label, std::string_view id_name) const {
    AccessNode n = interactive(AccessRole::TextInput, std::move(label),
                               "remote.field:" + std::string(id_name), app::msg::FocusField{field});
    n.value = field_text(field);
    n.states.focused = app_.focused_field == field;
    return n;
  }

  const std::string& field_text(FormField field) const {
    switch (field) {
      case FormField::Search:
        return app_.search_text;
      case FormField::Name:
        return app_.form.name;
      case FormField::Host:
        return app_.form.host;
      case FormField::Port:
        return app_.form.port;
      case FormField::User:
        return app_.form.user;
      case FormField::Group:
        return app_.form.group;
    }
    return app_.search_text;
  }

  static std::string_view presence_word(profiles::Presence presence) {
    switch (presence) {
      case profiles::Presence::Online:
        return "online";
      case profiles::Presence::Offline:
        return "offline";
      case profiles::Presence::Unknown:
        return "status unknown";
    }
    return "status unknown";
  }

  static std::string status_text(const ConnectionProfile& p, ConnectStatus status) {
    switch (status) {
      case ConnectStatus::Connectable:
        return "ready to connect";
      case ConnectStatus::NeedsAccess:
        return app::readiness_text(1, p.kind);
      case ConnectStatus::NotSupported:
        return app::readiness_text(2, p.kind);
      case ConnectStatus::FixProfile:
        return profiles::profile_problem(p.kind, p.host, p.auth)
            .value_or(app::readiness_text(3, p.kind));
    }
    return {};
  }

  AccessNode row(const ConnectionProfile& p) const {
    const ConnectStatus status = connect_status(p);
    std::string label = p.name + ", " + std::string(profiles::kind_label(p.kind)) + ", " +
                        std::string(presence_word(p.presence)) + ", " + status_text(p, status) +
                        ", last used " + p.last_used;
    AccessNode item = interactive(AccessRole::ListItem, std::move(label),
                                  connection_id(p.id, "select"), app::msg::Select{p.id});
    item.value = target_text(p);
    item.states.selected = app_.selection == p.id;
    AccessNode star = interactive(AccessRole::ToggleButton,
                                  p.favorite ? "Remove from favourites" : "Add to favourites",
                                  connection_id(p.id, "favorite"), app::msg::ToggleFavorite{p.id});
    star.states.toggled = p.favorite;
    item.children.push_back(std::move(star));
    item.children.push_back(interactive(AccessRole::Button, "Edit connection",
                                        connection_id(p.id, "edit"),
                                        app::msg::EditConnection{p.id}));
    if (status == ConnectStatus::Connectable)
      item.children.push_back(interactive(AccessRole::Button, "Connect",
                                          connection_id(p.id, "connect"),
                                          app::msg::RequestConnect{p.id}));
    return item;
  }

  AccessNode list_screen() const {
    AccessNode group = node(AccessRole::Group, "Connections");
    group.children.push_back(node(AccessRole::Heading, "Remote Machines", "remote.list.heading"));
    group.children.push_back(interactive(AccessRole::Button, "New connection",
                                         "remote.connection.new", app::msg::NewConnectionForm{}));
    AccessNode search = text_input(FormField::Search, "Search saved connections", "search");
    search.description = "Shortcut: slash or Control F";
    group.children.push_back(std::move(search));
    AccessNode list = node(AccessRole::List, "Saved connections", "remote.list");
    const auto visible = app::visible_connections(app_.profiles, app_.search_text);
    list.children.reserve(visible.size());
    for (const auto* p : visible)
      list.children.push_back(row(*p));
    group.children.push_back(std::move(list));
    if (visible.empty()) {
      group.children.push_back(
          node(AccessRole::Text,
               app_.profiles.empty()
                   ? "No machines yet. Add a connection to reach it over SSH, VNC, or the "
                     "Kova relay."
                   : "No machines match your search.",
               "remote.list.empty"));
    }
    return group;
  }

  AccessNode kind_options() const {
    AccessNode group = node(AccessRole::Group, "Protocol", "remote.form.protocol");
    for (const auto kind : {ConnectionKind::Ssh, ConnectionKind::Vnc, ConnectionKind::Kova}) {
      AccessNode option =
          interactive(AccessRole::Option, std::string(profiles::kind_label(kind)),
                      "remote.kind:" + std::string(profiles::kind_document_text(kind)),
                      app::msg::SetFormKind{kind});
      option.states.selected = app_.form.kind == kind;
      group.children.push_back(std::move(option));
    }
    return group;
  }

  AccessNode auth_options() const {
    AccessNode group = node(AccessRole::Group, "Authentication", "remote.form.authentication");
    for (const auto method : profiles::allowed_auth_methods(app_.form.kind)) {
      AccessNode option = interactive(AccessRole::Option, std::string(profiles::auth_label(method)),
                                      "remote.auth:" + std::string(profiles::auth_slug(method)),
                                      app::msg::SetFormAuth{method});
      option.states.selected = app_.form.auth == method;
      group.children.push_back(std::move(option));
    }
    return group;
  }

  AccessNode devices() const {
    AccessNode list = node(AccessRole::List, "Discovered Kova devices", "remote.form.devices");
    for (std::size_t i = 0; i < app_.discovered_devices.size(); ++i) {
      const auto& d = app_.discovered_devices[i];
      AccessNode item =
          interactive(AccessRole::ListItem, d.name, "remote.device:" + std::to_string(i),
                      app::msg::UseDiscoveredDevice{i});
      item.value = d.endpoint_id;
      item.description = d.presence == profiles::Presence::Online ? "Online" : "Offline";
      item.states.selected = d.endpoint_id == app_.form.host;
      list.children.push_back(std::move(item));
    }
    return list;
  }

  AccessNode form_screen() const {
    const ConnectionKind kind = app_.form.kind;
    const auto edited = app_.screen.edited();
    const std::string title = edited ? "Edit connection" : "New connection";
    AccessNode group = node(AccessRole::Group, title);
    group.children.push_back(node(AccessRole::Heading, title, "remote.form.heading"));
    group.children.push_back(kind_options());
    if (kind == ConnectionKind::Kova) {
      group.children.push_back(devices());
      group.children.push_back(
          node(AccessRole::Text,
               "Authentication: Kova device identity. No password is stored or requested.",
               "remote.form.kova-authentication"));
    }
    if (kind == ConnectionKind::Rdp) {
      group.children.push_back(
          node(AccessRole::Text,
               "Legacy RDP profile. RDP has no client backend in this build; select SSH, "
               "VNC, or Kova to migrate this profile.",
               "remote.form.legacy-rdp"));
    }
    group.children.push_back(text_input(FormField::Name, "Connection name", "name"));
    group.children.push_back(text_input(
        FormField::Host, kind == ConnectionKind::Kova ? "Device node" : "Host name or IP address",
        "host"));
    if (kind != ConnectionKind::Kova)
      group.children.push_back(text_input(FormField::Port, "Port", "port"));
    if (kind == ConnectionKind::Ssh || kind == ConnectionKind::Rdp)
      group.children.push_back(text_input(FormField::User, "User name", "user"));
    if (kind != ConnectionKind::Kova)
      group.children.push_back(text_input(FormField::Group, "Group", "group"));
    if (kind != ConnectionKind::Kova) group.children.push_back(auth_options());
    if (const auto problems = visible_problems(app_); !problems.empty()) {
      std::string joined;
      for (const auto& p : problems)
        joined += (joined.empty() ? "" : ". ") + p;
      group.children.push_back(node(AccessRole::Text, std::move(joined), "remote.form.problems"));
    }
    AccessNode bar = node(AccessRole::Toolbar, "Form actions", "remote.form.actions");
    bar.children.push_back(
        interactive(AccessRole::Button, "Cancel", "remote.form.cancel", app::msg::Back{}));
    bar.children.push_back(interactive(AccessRole::Button, "Save connection", "remote.form.save",
                                       app::msg::SaveForm{}));
    if (edited)
      bar.children.push_back(interactive(AccessRole::Button, "Delete connection",
                                         connection_id(*edited, "delete"),
                                         app::msg::RequestDelete{*edited}));
    group.children.push_back(std::move(bar));
    return group;
  }

  static std::string session_status_text(const SessionStatus& status) {
    switch (status.kind) {
      case SessionStatus::Kind::Connecting:
        return "Connecting";
      case SessionStatus::Kind::Connected:
        return "Connected";
      case SessionStatus::Kind::Ended:
        return "Session ended";
      case SessionStatus::Kind::Unavailable:
        return "Not available: " + status.text;
      case SessionStatus::Kind::Failed:
        return "Connection failed: " + status.text;
    }
    return {};
  }

  // The kind the session surface stands for: the profile's, or the running
  // transport's once the profile is gone.
  ConnectionKind session_kind(const ConnectionProfile* profile) const {
    if (profile) return profile->kind;
    if (app_.session && app_.session->kind == app::SessionState::Kind::Ssh)
      return ConnectionKind::Ssh;
    return ConnectionKind::Vnc;
  }

  AccessNode session_screen() const {
    const ConnectionId& id = app_.screen.connection;
    const ConnectionProfile* profile = app::find_profile(app_, id);
    AccessNode group = node(AccessRole::Group, "Remote session");
    group.children.push_back(node(AccessRole::Heading, profile ? profile->name : "Remote session",
                                  "remote.session.heading"));
    const auto status = app::session_status(app_);
    if (status)
      group.children.push_back(
          node(AccessRole::Text, session_status_text(*status), "remote.session.status"));
    const auto kind = status ? status->kind : SessionStatus::Kind::Ended;
    const bool connected = kind == SessionStatus::Kind::Connected;
    if (connected) {
      const bool ssh = session_kind(profile) == ConnectionKind::Ssh;
      AccessNode surface = node(ssh ? AccessRole::Terminal : AccessRole::Canvas,
                                ssh ? "Interactive SSH terminal" : "Interactive remote desktop",
                                "remote.session.surface");
      surface.description = "Keyboard and pointer input are sent to the remote machine";
      group.children.push_back(std::move(surface));
      if (!ssh) {
        AccessNode scale = interactive(AccessRole::ToggleButton, "Scale remote desktop to fit",
                                       "remote.session.scale", app::msg::ToggleScale{});
        scale.states.toggled = app_.fit_to_window;
        group.children.push_back(std::move(scale));
        group.children.push_back(interactive(
            AccessRole::Button, app_.fullscreen ? "Exit fullscreen" : "Enter fullscreen",
            "remote.session.fullscreen", app::msg::ToggleFullscreen{}));
      }
    }
    if (kind == SessionStatus::Kind::Failed)
      group.children.push_back(interactive(AccessRole::Button, "Retry connection",
                                           connection_id(id, "connect"),
                                           app::msg::RequestConnect{id}));
    if (kind == SessionStatus::Kind::Unavailable)
      group.children.push_back(interactive(AccessRole::Button, "Edit connection",
                                           connection_id(id, "edit"),
                                           app::msg::EditConnection{id}));
    group.children.push_back(interactive(AccessRole::Button,
                                         connected ? "Disconnect" : "Back to list",
                                         "remote.session.disconnect", app::msg::Disconnect{}));
    return group;
  }

  AccessNode dialog(const app::PendingConfirmation& pending) const {
    using Kind = app::PendingConfirmation::Kind;
    const auto* profile = app::find_profile(app_, pending.connection);
    const std::string subject = profile ? profile->name : "this saved connection";
    std::string label;
    std::string description;
    std::string confirm;
    switch (pending.kind) {
      case Kind::Connect:
        label = "Connect to " + subject + "?";
        description = "The target and access are rechecked before a remote session opens.";
        confirm = "Connect";
        break;
      case Kind::Delete:
        label = "Delete " + subject + "?";
        description = "This removes the shared saved profile, not the remote machine.";
        confirm = "Delete";
        break;
      case Kind::TrustSshHostKey:
        label = "Trust SSH key for " + subject + "?";
        description = "Verify " + pending.key_algorithm + " " + pending.key_fingerprint +
                      " out of band. This device-private trust is checked again before connecting.";
        confirm = "Trust key";
        break;
      case Kind::ForgetSshHostKey:
        label = "Forget SSH key for " + subject + "?";
        description =
            "Remove this device-private pin, then reconnect to inspect a replacement key before "
            "trusting it.";
        confirm = "Forget key";
        break;
    }
    AccessNode d = node(AccessRole::Dialog, std::move(label));
    d.description = std::move(description);
    d.bounds = app_.content_rect;
    d.children.push_back(interactive(AccessRole::Button, "Cancel", "remote.confirmation.cancel",
                                     app::msg::CancelPending{}));
    d.children.push_back(interactive(AccessRole::Button, std::move(confirm),
                                     "remote.confirmation.confirm", app::msg::ConfirmPending{}));
    return d;
  }

  const app::AppState& app_;
  std::unordered_map<std::string, kova::ui::Rect> bounds_;
};

}  // namespace

bool same_message(const app::AppMessage& a, const app::AppMessage& b) {
  return message_key(a) == message_key(b);
}

kova::ui::AccessNode build_access_tree(const app::AppState& app, const ViewState& view) {
  return TreeBuilder(app, view).root();
}

}  // namespace remote::ui
