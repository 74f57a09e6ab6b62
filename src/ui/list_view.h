// The connection list screen: header, search field, one card per visible
// connection, empty states, and scrolling.
#pragma once

#include <cstddef>

#include "app/state.h"
#include "ui/paint_context.h"
#include "ui/view.h"

namespace remote::ui {

// Measures the row metrics when the renderer's scale changed.
const RowMetrics& row_metrics(ViewState& view, const kova::ui::TextRenderer& tr);

// Draws the list screen from content_left to the content's right edge and
// registers its regions: new button, search field, then per drawn row card,
// star, Connect (when connectable), Edit. Clamps `list_scroll`.
void paint_list(app::AppState& app, ViewState& view, PaintContext& ctx);

// Scrolls so that row `index` of `count` is fully visible, with the row
// height of the current width.
void scroll_into_view(const app::AppState& app, ViewState& view, std::size_t index,
                      std::size_t count);

}  // namespace remote::ui
