// The reducer: applies one AppMessage to the application state. It never
// fails; messages naming an unknown connection do nothing (or leave a
// notice, for confirmations). Changes to saved connections change
// `profiles` at once and go to the document as RemoteAction changes through
// the state's action host.
#pragma once

#include <string>

#include "actions/vocabulary.h"
#include "app/messages.h"
#include "app/state.h"
#include "document/document.h"

namespace remote::app {

void apply_message(AppState& app, const AppMessage& message, kova::doc::Document& document);

// The focused field loses focus: `focused_field` becomes none, its input is
// told, and on the form leaving Name, Host or Port marks it touched.
void blur_focused(AppState& app);
// Focus moves to `field` (the previous one is blurred first).
void focus_field(AppState& app, FormField field);
// Sets the host placeholder for the form's kind, then every input's text from
// its model text with the cursor at the end.
void refill_inputs(AppState& app);

// The id of the first entry of the visible list under the current search
// text, or none.
std::optional<ConnectionId> first_visible(const AppState& app);

// Kind label, host, port, user and auth label joined by "|": the fields that
// decide where and how a session would go.
std::string profile_signature(const ConnectionProfile& profile);

// Dispatches one change to the document through the state's action host,
// labelled by its variant name.
void dispatch_remote_action(AppState& app, kova::doc::Document& document,
                            const actions::RemoteAction& action);

}  // namespace remote::app
