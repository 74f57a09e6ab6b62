// The session supervisor: readiness of a profile, starting the one live
// session (an SSH or VNC worker, or a device-control session over the
// platform's relay), ending it, the status it shows, the device-stream
// requests and events, and the host-key verdict it answers for. UI thread
// only; nothing here ever waits for a worker.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/state.h"
#include "ssh/trust_store.h"

namespace remote::app {

// 0 ready; 1 live network access not granted (SSH and VNC without
// REMOTE_LIVE_SESSIONS in the environment, read at every call; an empty
// value grants it); 2 no client backend (RDP); 3 inconsistent profile.
int readiness(const ConnectionProfile& profile);
std::string readiness_text(int reason, profiles::ConnectionKind kind);
// The code automation clients see for a readiness reason other than 0.
std::string readiness_code(int reason);

// The status the session shows; none when there is no session.
std::optional<SessionStatus> session_status(const AppState& app);

// Starts a session for the connection, replacing the current one (whose
// worker is told to finish by the drop). A missing id does nothing.
void connect(AppState& app, const ConnectionId& id);
// Ends the current session: a close-stream request for a device session,
// no session, no session connection, fullscreen off, a new session
// generation (unless exhausted), back to the list.
void disconnect(AppState& app);

// Hands the queued device-stream requests over and leaves the queue empty.
std::vector<kova::shell::PlatformRequest> take_platform_requests(AppState& app);
// Applies one device-stream event when it belongs to the current device
// session (same stream request number); every other event is ignored.
void deliver_device_event(AppState& app, const kova::shell::DeviceStreamEvent& event);
// Queues a device-input request while the current session is a connected
// device session; drops the input otherwise. True when queued.
bool send_device_input(AppState& app, const device::DeviceInputEvent& input);

// True while a session exists whose status is Connecting or Connected.
bool session_wants_frame(const AppState& app);

// The verdict the SSH worker recorded while connecting, only while the
// current session is an SSH session of `id`; none otherwise.
std::optional<ssh::HostKeyVerdict> host_key_verdict(const AppState& app, const ConnectionId& id);

// True when the current session is an SSH session whose status is Connected.
bool terminal_connected(const AppState& app);

}  // namespace remote::app
