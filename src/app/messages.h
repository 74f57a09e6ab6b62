// The application's internal messages. Presentation and automation change
// the state only by applying one of these through apply_message (reducer.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <variant>

#include "app/state.h"

namespace remote::app::msg {

struct ShowConnections {};
struct NewConnectionForm {};
struct EditConnection { ConnectionId id; };
struct Connect { ConnectionId id; };
struct RequestConnect { ConnectionId id; };
struct Select { ConnectionId id; };
struct ToggleFavorite { ConnectionId id; };
struct RequestDelete { ConnectionId id; };
struct RequestTrustSshHostKey { ConnectionId id; };
struct RequestForgetSshHostKey { ConnectionId id; };
struct ConfirmPending {};
struct CancelPending {};
struct FocusField { FormField field; };
struct SetFormKind { profiles::ConnectionKind kind; };
struct SetFormAuth { profiles::AuthMethod auth; };
struct SaveForm {};
struct Back {};
struct ToggleScale {};
struct ToggleFullscreen {};
struct Disconnect {};
struct UseDiscoveredDevice { std::size_t index; };
struct ToggleNavigation {};

}  // namespace remote::app::msg

namespace remote::app {

// The alternative index is the message's one-byte tag (0 ShowConnections ...
// 21 ToggleNavigation).
using AppMessage =
    std::variant<msg::ShowConnections, msg::NewConnectionForm, msg::EditConnection, msg::Connect,
                 msg::RequestConnect, msg::Select, msg::ToggleFavorite, msg::RequestDelete,
                 msg::RequestTrustSshHostKey, msg::RequestForgetSshHostKey, msg::ConfirmPending,
                 msg::CancelPending, msg::FocusField, msg::SetFormKind, msg::SetFormAuth,
                 msg::SaveForm, msg::Back, msg::ToggleScale, msg::ToggleFullscreen,
                 msg::Disconnect, msg::UseDiscoveredDevice, msg::ToggleNavigation>;

static_assert(std::variant_size_v<AppMessage> == 22);

inline std::uint8_t message_tag(const AppMessage& message) {
  return static_cast<std::uint8_t>(message.index());
}

}  // namespace remote::app
