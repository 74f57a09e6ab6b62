// Presentation state of the screens and the hit regions through which they
// are clicked. The model (app::AppState) knows nothing of it: RemoteApp holds
// one ViewState beside its AppState, and both belong to the UI thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/state.h"
#include "ui/session_view.h"
#include "ui_toolkit/geometry.h"
#include "ui_toolkit/tooltip.h"

namespace remote::ui {

using kova::ui::Point;
using kova::ui::Rect;
using Clock = std::chrono::steady_clock;

// A clickable (or click-blocking, without a message) area of the last paint.
struct HitRegion {
  Rect rect;
  std::optional<app::AppMessage> message;
};

// Row metrics of the list that depend only on the text renderer, measured
// once per renderer scale.
struct RowMetrics {
  double scale = 0;  // 0: not measured yet
  double name_line = 0;
  double small_line = 0;
  double button_line = 0;
  double second_line = 0;  // offset of the kind/target line below the row top
  double button_height = 0;
  double edit_width = 0;
  double core_height = 0;
  double wide_height = 0;
  double compact_height = 0;
  double status_width = 0;
};

// The visible list (filtered, ordered) as indexes into `profiles`, with the
// summary line, rebuilt only when the profiles, the search text or the
// live-session switch change. A paint then costs the rows it draws, not the
// length of the list.
struct VisibleCache {
  std::optional<std::size_t> key;
  std::vector<std::size_t> rows;
  std::string summary;
};

struct ViewState {
  // Emptied at the start of every paint, filled in drawing order.
  std::vector<HitRegion> regions;
  // Last pointer position in logical pixels; far outside until one arrives.
  Point pointer{-1e9, -1e9};

  double list_scroll = 0;
  double list_scroll_max = 0;
  double list_top = 0;  // from the content top to the first row
  bool compact_rows = false;
  RowMetrics metrics;

  // The form's vertical scroll offset (0 at the top) and its largest value
  // at the last paint, for windows shorter than the form; the form screen
  // the offset belongs to, and the focus the form last brought into view.
  double form_scroll = 0;
  double form_scroll_max = 0;
  std::optional<app::Screen> form_scrolled;
  std::optional<app::FormField> form_focus_seen;
  VisibleCache visible;

  std::optional<Clock::time_point> last_paint;
  kova::ui::TooltipHost tooltip;

  SessionView session;
};

// Appends a region; later regions win over earlier ones.
void register_region(ViewState& view, Rect rect, std::optional<app::AppMessage> message);
// The newest region containing `point` (left <= x < right, top <= y < bottom).
const HitRegion* hit_test(const std::vector<HitRegion>& regions, Point point);

// Left edge of the screen area: the content's left when a session is
// fullscreen, 64 in from it in the narrow layout, else 64 times the flap's
// reveal.
double content_left(const app::AppState& app);
// The rail's width; the navigation toggle's square.
inline constexpr double rail_width = 64;
Rect toggle_rect(const app::AppState& app);

// The visible list of the current profiles and search text (cached).
const VisibleCache& visible_rows(const app::AppState& app, ViewState& view);

}  // namespace remote::ui
