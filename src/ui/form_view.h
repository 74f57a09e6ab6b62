// The connection form screen, and the six text inputs shared with the list's
// search field: mirroring between inputs and model texts, editing, the port
// filter and which validation problems the user has earned to see.
#pragma once

#include <string>
#include <vector>

#include "app/state.h"
#include "ui/paint_context.h"
#include "ui/view.h"
#include "ui_toolkit/events.h"
#include "ui_toolkit/text_input.h"

namespace remote::ui {

// Every input except the focused one shows its model text (cursor kept).
void mirror_inputs(app::AppState& app);

// Hands `event` to the focused input, if any; a changed text goes into the
// model (the port keeps only ASCII digits) and asks for a redraw. Returns
// whether the input consumed the event.
bool input_event(app::AppState& app, const kova::ui::Event& event, kova::ui::Clipboard& clipboard,
                 const kova::ui::TextRenderer& tr);

// validate_form of the form, keeping only the messages whose field has been
// left once (all of them after a failed save). Order is kept.
std::vector<std::string> visible_problems(const app::AppState& app);

// Draws the form from content_left to the content's right edge and
// registers its regions.
void paint_form(app::AppState& app, ViewState& view, PaintContext& ctx);

}  // namespace remote::ui
