// Automation operations: the three entry points through which the platform's
// action system hands a "remote.operation" invocation to the application,
// to be executed at once or started as background work and then polled.
// At most one background operation runs (AppState::running_operation).
// UI thread only; polling never waits.
#pragma once

#include <string_view>

#include "action_host/operation.h"
#include "actions/vocabulary.h"
#include "app/state.h"

namespace remote::app {

using kova::actions::operation::Invocation;
using kova::actions::operation::Outcome;
using kova::actions::resource::OperationClass;

// The class an operation must be invoked with: View for ShowConnections,
// NewConnectionForm and EditConnection, Background for all others.
OperationClass operation_class(const actions::RemoteOperation& operation);

Outcome execute_operation(AppState& app, const Invocation& invocation);
Outcome start_operation(AppState& app, const Invocation& invocation);
Outcome poll_operation(AppState& app, std::string_view invocation_id, bool cancel);

}  // namespace remote::app
