// The accessibility tree of the screens and the semantic actions addressed
// to its nodes. Assistive technology and automation see the application
// through this tree; acting on a node ends in the same AppMessage as clicking
// the element it describes. UI thread only, like the state it reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/messages.h"
#include "app/state.h"
#include "document/document.h"
#include "ui/view.h"
#include "ui_toolkit/access.h"

namespace remote::ui {

// The whole tree for the current state: window, navigation, the current
// screen, the pending confirmation and the notice. A node that stands for a
// message takes the rectangle of the newest hit region of the last paint
// whose message is equal (same tag and payload); without one it has no
// bounds. Nothing of it is kept between calls.
kova::ui::AccessNode build_access_tree(const app::AppState& app, const ViewState& view);

// Carries out `action` on the node with text id `node_id`; `value` is the
// text of a set-value action. Changes go through the reducer with `document`
// as the target of document changes. Returns whether the action was handled:
// unknown ids, actions a node does not take, ids whose connection part is not
// a UUID, and everything but the dialog's two buttons while a confirmation
// is pending are not handled and change nothing.
bool perform_semantic_action(app::AppState& app, ViewState& view, kova::doc::Document& document,
                             std::string_view node_id, kova::ui::AccessAction action,
                             const std::optional<std::string>& value);

// Equal messages: the same alternative with the same carried id, field,
// kind, method or index.
bool same_message(const app::AppMessage& a, const app::AppMessage& b);

}  // namespace remote::ui
