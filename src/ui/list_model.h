// What the list screen says about each saved connection: whether it can be
// connected from here, how its target reads, and the one-line summary of the
// whole list. Pure functions of the profiles (and, for connect status, of
// the environment's live-session switch).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "profiles/profile.h"
#include "ui_toolkit/theme.h"

namespace remote::ui {

// Why a row offers "Connect" or not. One byte; values are part of the
// contract.
enum class ConnectStatus : std::uint8_t {
  Connectable = 0,
  NeedsAccess = 1,
  NotSupported = 2,
  FixProfile = 3
};

// Transport availability first (SSH and VNC need REMOTE_LIVE_SESSIONS, RDP
// never connects, Kova always may), then the profile's own consistency.
ConnectStatus connect_status(const profiles::ConnectionProfile& profile);
// "Needs access", "Not supported", "Fix profile"; empty for Connectable.
std::string_view status_pill_text(ConnectStatus status);
kova::ui::Color status_color(ConnectStatus status, const kova::ui::Theme& theme);
// The kind's pill colour on the list.
kova::ui::Color kind_color(profiles::ConnectionKind kind, const kova::ui::Theme& theme);

// The text itself when it has at most 12 code points, else its first 12
// followed by "…". Invalid UTF-8 counts byte by byte.
std::string abbreviate(std::string_view text);

// "Kova device <abbreviated id>" for Kova; otherwise host, ":port" when the
// port is not 0, and "user@" in front for SSH with a user.
std::string target_text(const profiles::ConnectionProfile& profile);

// "{n} saved · {k} online", with " · {c} connectable here" when fewer than
// all can connect.
std::string summary_text(std::span<const profiles::ConnectionProfile> profiles);

}  // namespace remote::ui
