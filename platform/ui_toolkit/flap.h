#pragma once

// The navigation flap: a rail that slides in beside the content in a wide
// window and over it, behind a toggle, in a narrow one. A plain record held by
// value in the application state; all changes go through these functions.

namespace kova::ui {

enum class FlapMode { Closed, Open, Automatic };
enum class FlapLayout { Unknown, Narrow, Wide };

struct FlapState {
  double position = 1;  // 0 hidden .. 1 shown
  FlapMode mode = FlapMode::Automatic;
  FlapLayout last_layout = FlapLayout::Unknown;
  bool default_open = true;

  // Open when explicitly open, or automatic in a wide layout with
  // default_open set. An automatic flap is closed in a narrow layout.
  bool is_open(bool narrow) const;
  double target(bool narrow) const { return is_open(narrow) ? 1.0 : 0.0; }

  // After a layout change. The first layout jumps to the target; crossing
  // between narrow and wide returns to automatic, so an explicit choice does
  // not survive the change.
  void on_layout(bool narrow);
  // An explicit choice applied at once (no animation), e.g. a requested
  // start layout.
  void set_now(bool open);
  // Opens when closed, closes when open (animated).
  void toggle(bool narrow);
  void close() { mode = FlapMode::Closed; }

  // One animation step of `dt` seconds (capped at 0.1, so a stalled frame
  // cannot overshoot): a closed-form exponential approach to the target that
  // snaps when within 0.001, or an immediate jump with reduced motion.
  // Returns whether the flap is still moving and wants another frame.
  bool animate(bool narrow, double dt_seconds, bool reduced_motion);
  bool moving(bool narrow, bool reduced_motion) const;

  // Eased fractions of the position: `reveal` for the content offset and the
  // scrim, `slide` for the rail, which leads the reveal slightly.
  double reveal() const;
  double slide() const;
};

}  // namespace kova::ui
