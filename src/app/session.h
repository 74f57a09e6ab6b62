// The session supervisor's part that needs no live transport: readiness of
// a profile, the status a session shows, and connect/disconnect for the
// cases that end without a worker.
#pragma once

#include <optional>
#include <string>

#include "app/state.h"

namespace remote::app {

// 0 ready; 1 live network access not granted (SSH and VNC without
// REMOTE_LIVE_SESSIONS in the environment, read at every call); 2 no client
// backend (RDP); 3 inconsistent profile (profile_problem).
int readiness(const ConnectionProfile& profile);
std::string readiness_text(int reason, profiles::ConnectionKind kind);

// The status the session shows; none when there is no session.
std::optional<SessionStatus> session_status(const AppState& app);

// Starts a session for the connection: a profile that is not ready gets an
// Unavailable session and the session screen. Starting live transports
// belongs to the workers; until they are wired in, a ready profile starts
// nothing and nothing changes.
void connect(AppState& app, const ConnectionId& id);
// Ends the current session: no session, no session connection, fullscreen
// off, a new session generation, back to the list.
void disconnect(AppState& app);

}  // namespace remote::app
