// The saved-connection record, its three small enumerations and the values of
// the connection form. Everything here is a plain value; the functions are
// pure and never fail (conversions from text fall back to a default).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "profiles/connection_id.h"

namespace remote::profiles {

// Stored as one byte; the values are part of the record's contract.
enum class ConnectionKind : std::uint8_t { Ssh = 0, Vnc = 1, Rdp = 2, Kova = 3 };

enum class AuthMethod : std::uint8_t { Password = 0, PublicKey = 1, DeviceIdentity = 2 };

// Last known reachability. It arrives with the shared record and is only
// shown and preserved here; nothing in this program probes a machine.
enum class Presence : std::uint8_t { Online = 0, Offline = 1, Unknown = 2 };

struct ConnectionProfile {
  ConnectionId id;
  std::string name;
  // Host name or address; for Kova, the device's endpoint id.
  std::string host;
  // TCP port; 0 for Kova.
  std::uint16_t port = 0;
  std::string user;
  std::string group;
  ConnectionKind kind = ConnectionKind::Ssh;
  AuthMethod auth = AuthMethod::Password;
  bool favorite = false;
  // Shown as is ("Never", "just now", "2h ago"); never parsed.
  std::string last_used;
  Presence presence = Presence::Unknown;

  friend bool operator==(const ConnectionProfile&, const ConnectionProfile&) = default;
};

// What the user typed into the connection form, untrimmed. `port` is the
// typed text, not a number.
struct ConnectionFormValues {
  std::string name;
  std::string host;
  std::string port;
  std::string user;
  std::string group;
  AuthMethod auth = AuthMethod::Password;
  ConnectionKind kind = ConnectionKind::Ssh;

  friend bool operator==(const ConnectionFormValues&, const ConnectionFormValues&) = default;
};

// The methods a kind accepts, in the order the form offers them.
std::span<const AuthMethod> allowed_auth_methods(ConnectionKind kind);
bool auth_allowed(ConnectionKind kind, AuthMethod auth);
// 22, 5900, 3389; none for Kova, whose profiles carry port 0.
std::optional<std::uint16_t> default_port(ConnectionKind kind);

// Texts shown to the user and stored in the document. The auth label is also
// its document text.
std::string_view kind_label(ConnectionKind kind);
std::string_view kind_document_text(ConnectionKind kind);
std::string_view auth_label(AuthMethod auth);
std::string_view auth_slug(AuthMethod auth);
std::string_view presence_document_text(Presence presence);

// Exact, case-sensitive, untrimmed comparisons with fallbacks Ssh, Password
// and Unknown.
ConnectionKind kind_from_text(std::string_view text);
AuthMethod auth_from_label(std::string_view text);
AuthMethod auth_from_slug(std::string_view text);
Presence presence_from_text(std::string_view text);

}  // namespace remote::profiles
