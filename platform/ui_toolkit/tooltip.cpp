#include "ui_toolkit/tooltip.h"

namespace kova::ui {

bool TooltipHost::set_target(std::optional<TooltipTarget> target, Clock::time_point now) {
  if (target && suppressed_ == target) return false;
  suppressed_.reset();
  if (target == target_) return false;
  bool was_visible = visible_;
  if (was_visible) last_hidden_ = now;
  target_ = std::move(target);
  visible_ = false;
  since_ = now;
  if (target_ && last_hidden_ && now - *last_hidden_ <= warm_window) visible_ = true;
  return was_visible || target_.has_value() || visible_;
}

bool TooltipHost::dismiss() {
  if (!target_) return false;
  suppressed_ = target_;
  target_.reset();
  visible_ = false;
  last_hidden_.reset();
  return true;
}

bool TooltipHost::advance(Clock::time_point now) {
  if (!target_ || visible_) return false;
  if (now - since_ < show_delay) return false;
  visible_ = true;
  return true;
}

std::optional<TooltipHost::Clock::time_point> TooltipHost::due() const {
  if (!pending()) return std::nullopt;
  return since_ + show_delay;
}

}  // namespace kova::ui
