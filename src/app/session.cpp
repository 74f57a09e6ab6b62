#include "app/session.h"

#include <cstdlib>
#include <limits>
#include <utility>

#include "profiles/validate.h"

namespace remote::app {

namespace {

using profiles::AuthMethod;
using profiles::ConnectionKind;

constexpr std::uint64_t max_u64 = std::numeric_limits<std::uint64_t>::max();

std::optional<std::string> env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

SessionState start_ssh(const ConnectionProfile& p) {
  auto store = ssh::known_hosts_path();
  if (!store)
    return SessionState::failed("SSH host-key trust is unavailable: " + store.error().message);
  const auto auth =
      p.auth == AuthMethod::PublicKey ? ssh::SshAuth::PublicKey : ssh::SshAuth::Password;
  auto credentials = ssh::ssh_credentials(auth, ssh::default_key_candidates());
  if (!credentials) return SessionState::failed(credentials.error().message);
  ssh::SshWorkerConfig config{.host = p.host,
                              .user = ssh::ssh_login_name(p.user),
                              .known_hosts = std::move(*store),
                              .credentials = std::move(*credentials),
                              .port = p.port,
                              .columns = ssh::terminal_columns,
                              .rows = ssh::terminal_rows};
  auto started = ssh::start_ssh_session(std::move(config));
  if (!started) return SessionState::failed(started.error().message);
  return SessionState::of(std::move(*started));
}

SessionState start_vnc(const ConnectionProfile& p) {
  auto started = rfb::VncSession::start(p.host, p.port, env("REMOTE_VNC_PASSWORD"));
  if (!started) return SessionState::failed(std::move(started.error()));
  return SessionState::of(std::move(*started));
}

SessionState start_device(AppState& app, const ConnectionProfile& p) {
  auto endpoint = device::parse_device_host(p.host);
  if (!endpoint) return SessionState::failed(std::move(endpoint.error()));
  const std::uint64_t request = app.next_stream_request;
  if (app.next_stream_request != max_u64) ++app.next_stream_request;
  app.platform_requests.emplace_back(kova::callstream::OpenStream{endpoint->bytes(), request});
  auto started = device::DeviceSession::start(request);
  if (!started) return SessionState::failed(std::move(started.error()));
  return SessionState::of(std::move(*started));
}

SessionState start(AppState& app, const ConnectionProfile& p) {
  switch (p.kind) {
    case ConnectionKind::Ssh:
      return start_ssh(p);
    case ConnectionKind::Vnc:
      return start_vnc(p);
    case ConnectionKind::Rdp:
      return SessionState::unavailable(2, p.kind);
    case ConnectionKind::Kova:
      return start_device(app, p);
  }
  return SessionState::unavailable(2, p.kind);
}

device::StreamEvent device_event(const kova::callstream::StreamEvent& event) {
  using namespace kova::callstream;
  return std::visit(
      [](const auto& body) -> device::StreamEvent {
        using B = std::decay_t<decltype(body)>;
        if constexpr (std::is_same_v<B, StreamStarted>) {
          return device::Started{body.width, body.height};
        } else if constexpr (std::is_same_v<B, StreamFrame>) {
          return device::Frame{body.bytes};
        } else if constexpr (std::is_same_v<B, StreamClosed>) {
          // Both enumerations list the reasons in the same order.
          return device::Closed{static_cast<device::Closed::Reason>(body.reason), body.text};
        } else {
          return device::OtherEvent{};
        }
      },
      event.body);
}

kova::callstream::DeviceInput platform_input(const device::DeviceInputEvent& input) {
  using kova::callstream::DeviceInput;
  return std::visit(
      [](const auto& e) -> DeviceInput {
        using E = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<E, device::PointerMove>) {
          return {DeviceInput::Kind::PointerMove, e.x, e.y, false, 0};
        } else if constexpr (std::is_same_v<E, device::ButtonEvent>) {
          return {DeviceInput::Kind::Button, 0, 0, e.pressed, e.code};
        } else if constexpr (std::is_same_v<E, device::KeyEvent>) {
          return {DeviceInput::Kind::Key, 0, 0, e.pressed, e.code};
        } else {
          return {DeviceInput::Kind::PressMarker, 0, 0, false, 1};
        }
      },
      input);
}

}  // namespace

int readiness(const ConnectionProfile& profile) {
  if (profile.kind == ConnectionKind::Ssh || profile.kind == ConnectionKind::Vnc) {
    if (std::getenv("REMOTE_LIVE_SESSIONS") == nullptr) return 1;
  } else if (profile.kind == ConnectionKind::Rdp) {
    return 2;
  }
  return profiles::profile_problem(profile.kind, profile.host, profile.auth) ? 3 : 0;
}

std::string readiness_text(int reason, ConnectionKind kind) {
  switch (reason) {
    case 0:
      return "This transport is ready to connect.";
    case 1:
      if (kind == ConnectionKind::Ssh)
        return "SSH is installed, but this build has not been granted live network access.";
      if (kind == ConnectionKind::Vnc)
        return "VNC is installed, but this build has not been granted live network access.";
      return "This transport needs a capability before it can connect.";
    case 2:
      return "RDP profiles are preserved, but this Kova build has no RDP client backend.";
    default:
      return "This saved connection has incompatible target or authentication settings.";
  }
}

std::string readiness_code(int reason) {
  switch (reason) {
    case 1:
      return "live_session_capability_required";
    case 2:
      return "transport_backend_unavailable";
    case 3:
      return "invalid_connection_profile";
    default:
      return {};
  }
}

std::optional<SessionStatus> session_status(const AppState& app) {
  if (!app.session) return std::nullopt;
  const SessionState& s = *app.session;
  switch (s.kind) {
    case SessionState::Kind::Ssh:
      return s.ssh->status();
    case SessionState::Kind::Vnc:
      return s.vnc->status();
    case SessionState::Kind::Device:
      return s.device->status();
    case SessionState::Kind::Failed:
      return SessionStatus::failed(s.text);
    case SessionState::Kind::Unavailable:
      return SessionStatus::unavailable(readiness_text(s.reason, s.connection_kind));
    case SessionState::Kind::Review:
      return s.review_status;
  }
  return std::nullopt;
}

void connect(AppState& app, const ConnectionId& id) {
  const ConnectionProfile* found = find_profile(app, id);
  if (!found) return;
  const ConnectionProfile profile = *found;
  app.needs_redraw = true;
  if (app.session_generation == max_u64) {
    app.session_connection = id;
    app.session.reset();
    app.session =
        SessionState::failed("remote session identity exhausted; restart the application");
    app.screen = Screen::session(id);
    return;
  }
  ++app.session_generation;
  app.session_connection = id;
  app.fullscreen = false;
  // The old worker is told to finish before the new one starts, so two
  // sessions never run side by side.
  app.session.reset();
  if (const int reason = readiness(profile); reason != 0) {
    app.session = SessionState::unavailable(reason, profile.kind);
  } else {
    app.session = start(app, profile);
    if (ConnectionProfile* used = find_profile(app, id)) used->last_used = "just now";
  }
  app.screen = Screen::session(id);
}

void disconnect(AppState& app) {
  if (app.session && app.session->kind == SessionState::Kind::Device)
    app.platform_requests.emplace_back(
        kova::callstream::CloseStream{app.session->device->stream_request()});
  app.session.reset();
  app.session_connection.reset();
  app.fullscreen = false;
  if (app.session_generation != max_u64) ++app.session_generation;
  app.screen = Screen::list();
  app.needs_redraw = true;
}

std::vector<kova::shell::PlatformRequest> take_platform_requests(AppState& app) {
  return std::exchange(app.platform_requests, {});
}

void deliver_device_event(AppState& app, const kova::shell::DeviceStreamEvent& event) {
  if (!app.session || app.session->kind != SessionState::Kind::Device) return;
  device::DeviceSession& session = *app.session->device;
  if (event.request != session.stream_request()) return;
  session.handle(device_event(event));
  app.needs_redraw = true;
}

bool send_device_input(AppState& app, const device::DeviceInputEvent& input) {
  if (!app.session || app.session->kind != SessionState::Kind::Device) return false;
  const device::DeviceSession& session = *app.session->device;
  if (session.status().kind != SessionStatus::Kind::Connected) return false;
  app.platform_requests.emplace_back(
      kova::callstream::SendInput{platform_input(input), session.stream_request()});
  return true;
}

bool session_wants_frame(const AppState& app) {
  const auto status = session_status(app);
  return status && (status->kind == SessionStatus::Kind::Connecting ||
                    status->kind == SessionStatus::Kind::Connected);
}

std::optional<ssh::HostKeyVerdict> host_key_verdict(const AppState& app, const ConnectionId& id) {
  if (app.session_connection != id || !app.session || app.session->kind != SessionState::Kind::Ssh)
    return std::nullopt;
  return app.session->ssh->host_key_verdict();
}

bool terminal_connected(const AppState& app) {
  return app.session && app.session->kind == SessionState::Kind::Ssh &&
         app.session->ssh->status().kind == SessionStatus::Kind::Connected;
}

}  // namespace remote::app
