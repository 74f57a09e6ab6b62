// Applies a connection change to the shared document. Runs on the thread
// that owns the document.
#pragma once

#include "actions/codec.h"
#include "actions/vocabulary.h"
#include "document/document.h"

namespace remote::actions {

// Writes the change through the profiles' document mapping. An upsert keeps
// the stored favourite flag, presence and last-use text of an existing
// connection (new ones get "Never", not favourite, Unknown) and takes every
// other field from the action as it is; rename, favourite and delete of a
// connection that is not there do nothing. Always succeeds: the result type
// only matches what the action host expects of a change.
Result<void> apply_remote_action(const RemoteAction& action, kova::doc::Document& document);

}  // namespace remote::actions
