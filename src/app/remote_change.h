// The change type "remote.action" as the action system knows it: decoder,
// encoder and apply, the typed action the reducer dispatches, the context it
// is dispatched with, and the registry installer of the launch description.
#pragma once

#include "action_host/action.h"
#include "action_host/context.h"
#include "action_host/registry.h"
#include "actions/vocabulary.h"
#include "shell/launch.h"

namespace remote::app {

kova::actions::registry::ChangeType<actions::RemoteAction> remote_change_type();

kova::actions::action::Typed<actions::RemoteAction> make_remote_typed_action(
    const actions::RemoteAction& action);

// Application "org.kova.Remote" / "Remote", labelled with the humanised
// variant name ("Upsert connection"), or "Update" when there is none.
kova::actions::context::ActionContext remote_action_context(const actions::RemoteAction& action);

// Registers "remote.action" in the shell's action registry.
void install_registry(kova::shell::App& app);

}  // namespace remote::app
