#pragma once

// Where frames go and events come from: a real SDL window, or a headless
// offscreen image. The application shell drives either through this
// interface on the UI thread: wait for events (sleeping while idle), paint
// into canvas(), present(). Only Waker::wake may be called from other
// threads.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui_toolkit/canvas.h"
#include "ui_toolkit/error.h"
#include "ui_toolkit/events.h"
#include "ui_toolkit/text_input.h"

namespace kova::ui {

// Wakes the UI thread out of Frontend::wait_events, from any thread (worker
// threads after a hand-over, fd pollers). Wake-ups that arrive before the
// loop handles the first one are merged into one WakeEvent. Safe to call
// after the frontend is gone (it then does nothing).
class Waker {
 public:
  virtual ~Waker() = default;
  virtual void wake() = 0;
};

struct WindowOptions {
  std::string title = "Kova";
  Size logical{1280, 800};
  // Device pixels per logical pixel; 0 takes the display's own ratio.
  double scale = 0;
  bool fullscreen = false;
};

class Frontend {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~Frontend() = default;

  virtual Size logical_size() const = 0;
  virtual double scale() const = 0;
  virtual bool headless() const = 0;

  // Returns the pending events. Without a deadline it sleeps until at least
  // one event or wake-up arrives, using no processor time while idle; with a
  // deadline (a frame is wanted) it returns by then at the latest, possibly
  // with no events.
  virtual std::vector<Event> wait_events(std::optional<Clock::time_point> deadline) = 0;

  // The image for the next frame, sized to the window's device pixels.
  virtual Canvas& canvas() = 0;
  // Shows the canvas (a no-op without a window).
  virtual void present() = 0;
  // Writes the canvas as a PNG at device pixels.
  Result<void> snapshot(const std::string& path) { return write_png(canvas(), path); }

  virtual Clipboard& clipboard() = 0;
  virtual void set_fullscreen(bool on) = 0;
  // Text input on, with the caret of the focused input at `caret` (logical
  // pixels) so an input method places its window beside it; or off with
  // nothing, so keys go to shortcuts instead of an input method. Called when
  // the area changes, not at every frame.
  virtual void set_text_input_area(std::optional<Rect> caret) = 0;
  virtual std::shared_ptr<Waker> waker() = 0;
};

// Opens a real window (SDL2; X11 or Wayland from the environment). Fails with
// WindowUnavailable when no display can be reached. At most one window
// frontend exists at a time.
Result<std::unique_ptr<Frontend>> open_window(const WindowOptions& options);

// A clipboard that lives in memory, for headless runs and tests.
class MemoryClipboard final : public Clipboard {
 public:
  std::string text() override { return text_; }
  void set_text(std::string_view text) override { text_ = std::string(text); }

 private:
  std::string text_;
};

// Renders into an offscreen image; events are whatever push_event() gives
// (from any thread).
class HeadlessFrontend final : public Frontend {
 public:
  static Result<std::unique_ptr<HeadlessFrontend>> create(Size logical, double scale);
  ~HeadlessFrontend() override;

  Size logical_size() const override { return logical_; }
  double scale() const override { return scale_; }
  bool headless() const override { return true; }
  std::vector<Event> wait_events(std::optional<Clock::time_point> deadline) override;
  Canvas& canvas() override { return canvas_; }
  void present() override { ++presented_; }
  Clipboard& clipboard() override { return clipboard_; }
  void set_fullscreen(bool on) override { fullscreen_ = on; }
  void set_text_input_area(std::optional<Rect> caret) override {
    caret_ = caret;
    text_input_changes_.push_back(caret);
  }
  std::shared_ptr<Waker> waker() override;

  void push_event(Event event);
  // Changes the window size as a user would, and queues the ResizeEvent.
  Result<void> resize(Size logical, double scale);
  int presented() const { return presented_; }
  bool fullscreen() const { return fullscreen_; }
  std::optional<Rect> text_input_area() const { return caret_; }
  // Every area given so far, in order (nothing: text input turned off).
  const std::vector<std::optional<Rect>>& text_input_changes() const {
    return text_input_changes_;
  }

  struct Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Event> events;
    bool woken = false;
  };

 private:
  HeadlessFrontend(Canvas canvas, Size logical, double scale);
  Canvas canvas_;
  Size logical_;
  double scale_;
  std::shared_ptr<Queue> queue_;
  MemoryClipboard clipboard_;
  std::optional<Rect> caret_;
  std::vector<std::optional<Rect>> text_input_changes_;
  bool fullscreen_ = false;
  int presented_ = 0;
};

}  // namespace kova::ui
