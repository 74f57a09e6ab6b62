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
// registers its regions. A form taller than the window scrolls by
// view.form_scroll (clamped to form_scroll_max); a field that gains focus is
// brought into view.
void paint_form(app::AppState& app, ViewState& view, PaintContext& ctx);

// The scroll offset that shows `field` (form coordinates, 0 at the form's
// top) with room for its label, in a viewport `viewport` high currently
// scrolled by `scroll`: unchanged when it is already in view.
double form_scroll_for(double scroll, Rect field, double viewport);

}  // namespace remote::ui
