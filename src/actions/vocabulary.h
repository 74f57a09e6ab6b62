// The two typed vocabularies this program speaks to the platform's action
// system: RemoteAction, the changes to the shared connections document, and
// RemoteOperation, the things an automation client may ask the running
// program to do. Both are plain values; their JSON form is in codec.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "actions/host_key_identity.h"
#include "profiles/connection_id.h"
#include "profiles/profile.h"

namespace remote::actions {

using profiles::AuthMethod;
using profiles::ConnectionId;
using profiles::ConnectionKind;

inline constexpr std::string_view remote_action_type = "remote.action";
inline constexpr std::string_view remote_operation_type = "remote.operation";

// Carries a record's identity and editable fields only: the document keeps
// its stored favourite flag, presence and last-use text.
struct UpsertConnection {
  ConnectionId id;
  std::string name;
  std::string host;
  std::uint16_t port = 0;
  std::string user;
  ConnectionKind kind = ConnectionKind::Ssh;
  AuthMethod auth = AuthMethod::Password;
  std::string group;

  friend bool operator==(const UpsertConnection&, const UpsertConnection&) = default;
};

struct RenameConnection {
  ConnectionId id;
  std::string name;

  friend bool operator==(const RenameConnection&, const RenameConnection&) = default;
};

struct SetFavorite {
  ConnectionId id;
  bool favorite = false;

  friend bool operator==(const SetFavorite&, const SetFavorite&) = default;
};

struct DeleteConnection {
  ConnectionId id;

  friend bool operator==(const DeleteConnection&, const DeleteConnection&) = default;
};

// The alternative index is part of the contract (0 UpsertConnection ... 3
// DeleteConnection).
using RemoteAction =
    std::variant<UpsertConnection, RenameConnection, SetFavorite, DeleteConnection>;

struct ShowConnections {
  friend bool operator==(const ShowConnections&, const ShowConnections&) = default;
};

struct NewConnectionForm {
  friend bool operator==(const NewConnectionForm&, const NewConnectionForm&) = default;
};

struct EditConnection {
  ConnectionId connection_id;

  friend bool operator==(const EditConnection&, const EditConnection&) = default;
};

struct Connect {
  ConnectionId connection_id;

  friend bool operator==(const Connect&, const Connect&) = default;
};

struct Disconnect {
  ConnectionId connection_id;

  friend bool operator==(const Disconnect&, const Disconnect&) = default;
};

struct SendText {
  ConnectionId connection_id;
  std::string text;

  friend bool operator==(const SendText&, const SendText&) = default;
};

struct TrustSshHostKey {
  ConnectionId connection_id;
  HostKeyIdentity observed;

  friend bool operator==(const TrustSshHostKey&, const TrustSshHostKey&) = default;
};

struct ForgetSshHostKey {
  ConnectionId connection_id;

  friend bool operator==(const ForgetSshHostKey&, const ForgetSshHostKey&) = default;
};

// The alternative index is part of the contract (0 ShowConnections ... 7
// ForgetSshHostKey).
using RemoteOperation = std::variant<ShowConnections, NewConnectionForm, EditConnection, Connect,
                                     Disconnect, SendText, TrustSshHostKey, ForgetSshHostKey>;

}  // namespace remote::actions
