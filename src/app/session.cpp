#include "app/session.h"

#include <cstdlib>
#include <limits>

#include "profiles/validate.h"

namespace remote::app {

using profiles::ConnectionKind;

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

std::optional<SessionStatus> session_status(const AppState& app) {
  if (!app.session) return std::nullopt;
  const SessionState& s = *app.session;
  switch (s.kind) {
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
  const int reason = readiness(profile);
  if (reason == 0) return;  // live transports start here once wired in
  app.needs_redraw = true;
  if (app.session_generation == std::numeric_limits<std::uint64_t>::max()) {
    app.session_connection = id;
    app.session = SessionState::failed("remote session identity exhausted; restart the application");
    app.screen = Screen::session(id);
    return;
  }
  ++app.session_generation;
  app.session_connection = id;
  app.fullscreen = false;
  app.session = SessionState::unavailable(reason, profile.kind);
  app.screen = Screen::session(id);
}

void disconnect(AppState& app) {
  app.session.reset();
  app.session_connection.reset();
  app.fullscreen = false;
  if (app.session_generation != std::numeric_limits<std::uint64_t>::max()) ++app.session_generation;
  app.screen = Screen::list();
  app.needs_redraw = true;
}

}  // namespace remote::app
