// The window shell around the screens: one whole paint in its order, the
// navigation rail and toggle, the notice toast, the hover tooltip and the
// confirmation dialog on top.
#pragma once

#include "app/state.h"
#include "ui/paint_context.h"
#include "ui/view.h"

namespace remote::ui {

// One frame: empties the regions, mirrors the inputs, animates the flap,
// then draws background, screen, notice and either the dialog or the rail,
// toggle and tooltip. `now` is the monotonic time of the frame.
void paint_app(app::AppState& app, ViewState& view, PaintContext& ctx, Clock::time_point now);

// Whether the shell itself wants another frame: the flap moves or a
// tooltip is due.
bool shell_wants_frame(const app::AppState& app, const ViewState& view);

// Title, subject line (target text when the profile exists), body and
// confirm label of the pending confirmation's dialog.
struct DialogTexts {
  std::string title;
  std::string target;
  std::string body;
  std::string confirm;
};
DialogTexts dialog_texts(const app::AppState& app, const app::PendingConfirmation& pending);

}  // namespace remote::ui
