// The application's state: every piece of it, owned and touched by the UI
// thread only. Behaviour lives in free functions over this record (the
// reducer in reducer.h, document following in sync.h); RemoteApp in
// remote_app.h is the shell-facing object that holds it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "action_host/bound_dispatch.h"
#include "device/session.h"
#include "profiles/connection_id.h"
#include "profiles/profile.h"
#include "profiles/sample.h"
#include "rfb/session.h"
#include "session/session_status.h"
#include "shell/device_stream.h"
#include "ssh/session.h"
#include "ui_toolkit/flap.h"
#include "ui_toolkit/geometry.h"
#include "ui_toolkit/text_input.h"

namespace remote::app {

using profiles::ConnectionId;
using profiles::ConnectionProfile;

// Field indexes are part of the contract: FocusField and the accessibility
// ids use them.
enum class FormField : std::uint8_t { Search = 0, Name = 1, Host = 2, Port = 3, User = 4, Group = 5 };
inline constexpr std::size_t form_field_count = 6;
// How an absent focus is stored where one byte is needed.
inline constexpr std::uint8_t no_field = 255;

enum class FormMode : std::uint8_t { New, Edit };

struct Screen {
  enum class Kind : std::uint8_t { List, Form, Session };
  Kind kind = Kind::List;
  FormMode form_mode = FormMode::New;  // Form only
  ConnectionId connection;             // Form with Edit, and Session

  static Screen list() { return {}; }
  static Screen form_new() { return {Kind::Form, FormMode::New, {}}; }
  static Screen form_edit(ConnectionId id) { return {Kind::Form, FormMode::Edit, id}; }
  static Screen session(ConnectionId id) { return {Kind::Session, FormMode::New, id}; }

  bool is_form() const { return kind == Kind::Form; }
  std::optional<ConnectionId> edited() const {
    if (kind == Kind::Form && form_mode == FormMode::Edit) return connection;
    return std::nullopt;
  }
  friend bool operator==(const Screen&, const Screen&) = default;
};

// The status a session shows and reports: the one type every transport
// shares (tags are part of the contract).
using remote::SessionStatus;

// The current session: a live transport's handle, or a status without a
// worker. Exactly the handle of `kind` is set. Dropping the state drops the
// handle, which tells its worker to finish; nothing waits for it.
struct SessionState {
  enum class Kind : std::uint8_t {
    Ssh,          // a running SSH worker
    Vnc,          // a running VNC worker
    Device,       // a device-control session and its decoder thread
    Failed,       // could not start; `text` says why
    Unavailable,  // not ready; `reason` (readiness 1..3) for `connection_kind`
    Review,       // a fixed status set by a review state
  };
  Kind kind = Kind::Review;
  std::string text;
  int reason = 0;
  profiles::ConnectionKind connection_kind = profiles::ConnectionKind::Ssh;
  SessionStatus review_status;
  std::optional<ssh::SshSession> ssh;
  std::optional<rfb::VncSession> vnc;
  std::optional<device::DeviceSession> device;

  static SessionState failed(std::string why) {
    SessionState s;
    s.kind = Kind::Failed;
    s.text = std::move(why);
    return s;
  }
  static SessionState unavailable(int why, profiles::ConnectionKind kind) {
    SessionState s;
    s.kind = Kind::Unavailable;
    s.reason = why;
    s.connection_kind = kind;
    return s;
  }
  static SessionState review(SessionStatus status) {
    SessionState s;
    s.review_status = std::move(status);
    return s;
  }
  static SessionState of(ssh::SshSession handle) {
    SessionState s;
    s.kind = Kind::Ssh;
    s.ssh.emplace(std::move(handle));
    return s;
  }
  static SessionState of(rfb::VncSession handle) {
    SessionState s;
    s.kind = Kind::Vnc;
    s.vnc.emplace(std::move(handle));
    return s;
  }
  static SessionState of(device::DeviceSession handle) {
    SessionState s;
    s.kind = Kind::Device;
    s.device.emplace(std::move(handle));
    return s;
  }
};

// A confirmation waiting for the user's answer.
struct PendingConfirmation {
  enum class Kind : std::uint8_t { Connect, Delete, TrustSshHostKey, ForgetSshHostKey };
  Kind kind = Kind::Connect;
  ConnectionId connection;
  std::string signature;  // the profile as it was when the question was asked
  std::string key_algorithm;    // TrustSshHostKey
  std::string key_fingerprint;  // TrustSshHostKey
  friend bool operator==(const PendingConfirmation&, const PendingConfirmation&) = default;
};

// The one background operation in progress: a connect waiting for its
// session to become ready, or a text waiting for the worker's
// acknowledgement. `session_generation` is the generation it belongs to; any
// later difference means the operation was superseded.
struct RunningOperation {
  enum class Kind : std::uint8_t { Connect, SendText };
  Kind kind = Kind::Connect;
  std::string invocation_id;
  ConnectionId connection;
  std::uint64_t session_generation = 0;
  std::optional<ssh::AckReceiver> acknowledgement;  // SendText
};

enum class LayoutRequest : std::uint8_t { None, NarrowClosed, NarrowOpen };

struct AppState {
  // Saved connections and selection.
  std::vector<ConnectionProfile> profiles;
  std::vector<profiles::DiscoveredDevice> discovered_devices;
  std::optional<ConnectionId> selection;
  std::string search_text;

  // Form.
  profiles::ConnectionFormValues form;
  bool form_submitted = false;
  bool name_touched = false;
  bool host_touched = false;
  bool port_touched = false;
  std::array<kova::ui::TextInput, form_field_count> inputs;
  std::optional<FormField> focused_field;

  // Navigation.
  Screen screen;

  // Sessions.
  std::optional<SessionState> session;
  std::optional<ConnectionId> session_connection;
  std::uint64_t session_generation = 0;
  std::uint64_t next_stream_request = 1;
  std::vector<kova::shell::PlatformRequest> platform_requests;
  bool fit_to_window = true;
  bool fullscreen = false;

  // Confirmation and messages.
  std::optional<PendingConfirmation> pending_confirmation;
  std::optional<std::string> notice;

  // Automation.
  std::optional<RunningOperation> running_operation;

  // Platform glue.
  kova::actions::bound_dispatch::ActionHost action_host;
  bool document_synchronised = false;
  bool needs_redraw = true;

  // Presentation.
  kova::ui::FlapState flap;
  bool narrow_layout = false;
  bool reduced_motion = false;
  kova::ui::Rect content_rect;
  LayoutRequest layout_request = LayoutRequest::None;

  AppState();
};

// The form a new connection starts from: empty texts, port "22", SSH with
// password authentication.
profiles::ConnectionFormValues default_form();

// The model text a form field edits: the search text or one form value.
std::string& model_text(AppState& app, FormField field);
const std::string& model_text(const AppState& app, FormField field);

// The profile with `id`, or null.
ConnectionProfile* find_profile(AppState& app, const ConnectionId& id);
const ConnectionProfile* find_profile(const AppState& app, const ConnectionId& id);

}  // namespace remote::app
