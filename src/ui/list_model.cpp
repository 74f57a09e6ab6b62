#include "ui/list_model.h"

#include <cstdlib>

#include "profiles/validate.h"
#include "core/utf8.h"

namespace remote::ui {

using profiles::ConnectionKind;

namespace {

// Code points shown before an id or host is cut; an endpoint id is 64 hex
// digits, and 12 tell devices apart at a glance.
constexpr std::size_t abbreviate_code_points = 12;

}  // namespace

ConnectStatus connect_status(const profiles::ConnectionProfile& p) {
  if (p.kind == ConnectionKind::Rdp) return ConnectStatus::NotSupported;
  if ((p.kind == ConnectionKind::Ssh || p.kind == ConnectionKind::Vnc) &&
      std::getenv("REMOTE_LIVE_SESSIONS") == nullptr)
    return ConnectStatus::NeedsAccess;
  if (profiles::profile_problem(p.kind, p.host, p.auth)) return ConnectStatus::FixProfile;
  return ConnectStatus::Connectable;
}

std::string_view status_pill_text(ConnectStatus status) {
  switch (status) {
    case ConnectStatus::Connectable:
      return "";
    case ConnectStatus::NeedsAccess:
      return "Needs access";
    case ConnectStatus::NotSupported:
      return "Not supported";
    case ConnectStatus::FixProfile:
      return "Fix profile";
  }
  return "";
}

kova::ui::Color status_color(ConnectStatus status, const kova::ui::Theme& t) {
  return status == ConnectStatus::NotSupported ? t.secondary_text : t.attention;
}

kova::ui::Color kind_color(ConnectionKind kind, const kova::ui::Theme& t) {
  switch (kind) {
    case ConnectionKind::Ssh:
      return t.positive;
    case ConnectionKind::Vnc:
      return t.accent_second;
    case ConnectionKind::Rdp:
      return t.attention;
    case ConnectionKind::Kova:
      return t.accent_third;
  }
  return t.secondary_text;
}

std::string abbreviate(std::string_view text) {
  std::size_t pos = 0;
  for (std::size_t n = 0; n < abbreviate_code_points; ++n) {
    if (pos >= text.size()) return std::string(text);
    kova::utf8::next(text, pos);
  }
  if (pos >= text.size()) return std::string(text);
  return std::string(text.substr(0, pos)) + "…";
}

std::string target_text(const profiles::ConnectionProfile& p) {
  if (p.kind == ConnectionKind::Kova) return "Kova device " + abbreviate(p.host);
  std::string host = p.port != 0 ? p.host + ":" + std::to_string(p.port) : p.host;
  if (p.kind == ConnectionKind::Ssh && !p.user.empty()) return p.user + "@" + host;
  return host;
}

std::string summary_text(std::span<const profiles::ConnectionProfile> profiles) {
  std::size_t online = 0;
  std::size_t connectable = 0;
  for (const auto& p : profiles) {
    if (p.presence == profiles::Presence::Online) ++online;
    if (connect_status(p) == ConnectStatus::Connectable) ++connectable;
  }
  std::string text =
      std::to_string(profiles.size()) + " saved · " + std::to_string(online) + " online";
  if (connectable < profiles.size())
    text += " · " + std::to_string(connectable) + " connectable here";
  return text;
}

}  // namespace remote::ui
