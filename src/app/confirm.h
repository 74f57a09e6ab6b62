// Confirmations: connecting, deleting, trusting and forgetting an SSH host
// key are never carried out on the first request. Each opens a pending
// confirmation remembering the profile's signature; an explicit confirm
// carries it out only if the profile still exists unchanged.
#pragma once

#include "app/state.h"
#include "document/document.h"

namespace remote::app {

void request_connect(AppState& app, const ConnectionId& id);
void request_delete(AppState& app, const ConnectionId& id);
void request_trust_ssh_host_key(AppState& app, const ConnectionId& id);
void request_forget_ssh_host_key(AppState& app, const ConnectionId& id);
void confirm_pending(AppState& app, kova::doc::Document& document);
void cancel_pending(AppState& app);

}  // namespace remote::app
