#include "ui_toolkit/flap.h"

#include <algorithm>
#include <cmath>

namespace kova::ui {

namespace {
constexpr double max_step_seconds = 0.1;
constexpr double snap_distance = 0.001;
constexpr double approach_rate = 14;  // per second
}  // namespace

bool FlapState::is_open(bool narrow) const {
  switch (mode) {
    case FlapMode::Open: return true;
    case FlapMode::Closed: return false;
    case FlapMode::Automatic: return !narrow && default_open;
  }
  return false;
}

void FlapState::on_layout(bool narrow) {
  FlapLayout now = narrow ? FlapLayout::Narrow : FlapLayout::Wide;
  if (last_layout == FlapLayout::Unknown) {
    last_layout = now;
    position = target(narrow);
  } else if (last_layout != now) {
    last_layout = now;
    mode = FlapMode::Automatic;
  }
}

void FlapState::set_now(bool open) {
  mode = open ? FlapMode::Open : FlapMode::Closed;
  position = open ? 1 : 0;
}

void FlapState::toggle(bool narrow) { mode = is_open(narrow) ? FlapMode::Closed : FlapMode::Open; }

bool FlapState::animate(bool narrow, double dt_seconds, bool reduced_motion) {
  double goal = target(narrow);
  if (reduced_motion) {
    position = goal;
    return false;
  }
  double dt = std::clamp(std::isfinite(dt_seconds) ? dt_seconds : 0.0, 0.0, max_step_seconds);
  position += (1 - std::exp(-approach_rate * dt)) * (goal - position);
  if (std::abs(goal - position) < snap_distance) {
    position = goal;
    return false;
  }
  return true;
}

bool FlapState::moving(bool narrow, bool reduced_motion) const {
  return !reduced_motion && std::abs(position - target(narrow)) >= snap_distance;
}

double FlapState::reveal() const {
  double p = std::clamp(position, 0.0, 1.0);
  return p * p * (3 - 2 * p);
}

double FlapState::slide() const {
  double p = std::clamp(position, 0.0, 1.0);
  double q = 1 - p;
  return 1 - q * q * q;
}

}  // namespace kova::ui
