// Input routing: every event of the window goes to an AppMessage applied by
// the reducer, to the list's scroll offset, to the focused text input or to
// the hover tooltip. Live sessions take their keys and pointer elsewhere.
#pragma once

#include <optional>

#include "app/messages.h"
#include "app/state.h"
#include "document/document.h"
#include "ui/view.h"
#include "ui_toolkit/events.h"
#include "ui_toolkit/text.h"
#include "ui_toolkit/text_input.h"

namespace remote::ui {

// What routing needs besides the state: the document that messages change,
// the clipboard the inputs use, the renderer that places carets, and the
// time for the tooltip.
struct InputContext {
  kova::doc::Document& document;
  kova::ui::Clipboard& clipboard;
  const kova::ui::TextRenderer& tr;
  Clock::time_point now;
};

void handle_event(app::AppState& app, ViewState& view, const kova::ui::Event& event,
                  InputContext& ctx);

// The Control/Super shortcut a key press stands for on the current screen,
// if any (n: new form, f: search, w: disconnect on the session screen).
enum class Shortcut { NewConnection, FocusSearch, Disconnect };
std::optional<Shortcut> shortcut_for(const app::AppState& app, const kova::ui::KeyEvent& key);

// The field Tab moves to from the current focus on a form of `kind`.
app::FormField next_field(profiles::ConnectionKind kind, std::optional<app::FormField> focused);

// The tooltip text of a region's message, if it has one.
std::optional<std::string> tooltip_text(const app::AppState& app, const app::AppMessage& message);

}  // namespace remote::ui
