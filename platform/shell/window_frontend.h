// Runs the loop through a toolkit frontend (an SDL window, or the toolkit's
// headless frontend in tests). The toolkit's wait sleeps in the window
// system; a helper thread polls the loop's descriptors (signals, document
// watch, worker wake-ups) and wakes the toolkit when one is ready, then waits
// until the UI thread has handled it so that it never spins on a descriptor
// the UI thread has not drained yet.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "shell/event_loop.h"
#include "ui_toolkit/frontend.h"

namespace kova::shell {

class UiFrontendAdapter final : public Frontend {
 public:
  explicit UiFrontendAdapter(std::unique_ptr<ui::Frontend> ui);
  ~UiFrontendAdapter() override;

  Readiness wait_for_events(Application& app, const LoopFds& fds,
                            std::optional<std::chrono::milliseconds> timeout) override;
  void draw(Application& app) override;
  bool finished() const override { return finished_; }

  ui::Frontend& ui() { return *ui_; }

 private:
  void start_watcher(const LoopFds& fds);
  void watch(LoopFds fds);

  std::unique_ptr<ui::Frontend> ui_;
  bool finished_ = false;
  bool laid_out_ = false;
  // The text input area last given to the window (see draw()).
  std::optional<ui::Rect> text_area_;
  bool text_area_known_ = false;
  int stop_fd_ = -1;  // eventfd: tells the helper thread to end
  std::mutex mutex_;
  std::condition_variable rearm_;
  bool handled_ = true;
  bool stopping_ = false;
  std::thread watcher_;
};

// Opens a window of `size` (logical pixels) at `scale` (0: the display's),
// titled `title`; nothing when no display can be reached (the reason is
// written to standard error).
std::unique_ptr<Frontend> open_window_frontend(const std::string& title, WindowSize size,
                                               double scale);

}  // namespace kova::shell
