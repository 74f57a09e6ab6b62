#pragma once

// Hover tooltips: the pointer routing names the target under the pointer,
// the host decides when its tooltip shows. Times come from the caller (a
// monotonic clock), so the host is a plain record that tests drive.

#include <chrono>
#include <optional>
#include <string>

#include "ui_toolkit/geometry.h"

namespace kova::ui {

struct TooltipTarget {
  Rect anchor;
  std::string text;
  friend bool operator==(const TooltipTarget&, const TooltipTarget&) = default;
};

class TooltipHost {
 public:
  using Clock = std::chrono::steady_clock;
  // Resting time before a tooltip shows.
  static constexpr std::chrono::milliseconds show_delay{500};
  // Moving straight from one shown tooltip to another target within this
  // time shows the next one at once, as people expect along a toolbar.
  static constexpr std::chrono::milliseconds warm_window{300};

  // The target under the pointer (none when nothing there has a tooltip).
  // Returns whether what is drawn or pending changed.
  bool set_target(std::optional<TooltipTarget> target, Clock::time_point now);
  // Any event other than a pointer move hides the tooltip; the same target
  // does not come back until the pointer has left it. Returns whether
  // anything changed.
  bool dismiss();
  // Advances to `now`; returns whether the tooltip became visible.
  bool advance(Clock::time_point now);

  // The tooltip to draw, if any.
  const TooltipTarget* shown() const { return visible_ ? &*target_ : nullptr; }
  // A target is held but not shown yet: the caller wants another frame.
  bool pending() const { return target_.has_value() && !visible_; }
  // When the pending tooltip is due.
  std::optional<Clock::time_point> due() const;

 private:
  std::optional<TooltipTarget> target_;
  std::optional<TooltipTarget> suppressed_;
  Clock::time_point since_{};
  std::optional<Clock::time_point> last_hidden_;
  bool visible_ = false;
};

}  // namespace kova::ui
