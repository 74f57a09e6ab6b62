#include "shell/window_frontend.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <variant>

#include "ui_toolkit/canvas.h"

namespace kova::shell {

UiFrontendAdapter::UiFrontendAdapter(std::unique_ptr<ui::Frontend> ui)
    : ui_(std::move(ui)), stop_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

UiFrontendAdapter::~UiFrontendAdapter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  rearm_.notify_all();
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto n = ::write(stop_fd_, &one, sizeof one);
  if (watcher_.joinable()) watcher_.join();
  ::close(stop_fd_);
}

void UiFrontendAdapter::start_watcher(const LoopFds& fds) {
  if (watcher_.joinable()) return;
  watcher_ = std::thread([this, fds] { watch(fds); });
}

void UiFrontendAdapter::watch(LoopFds fds) {
  const std::shared_ptr<ui::Waker> waker = ui_->waker();
  for (;;) {
    // poll() skips entries whose fd is negative.
    pollfd pfds[5] = {{stop_fd_, POLLIN, 0},
                      {fds.signal_fd, POLLIN, 0},
                      {fds.wake_fd, POLLIN, 0},
                      {fds.watch_fd, POLLIN, 0},
                      {fds.automation_fd, POLLIN, 0}};
    if (::poll(pfds, 5, -1) <= 0) continue;
    if (pfds[0].revents != 0) return;
    std::unique_lock lock(mutex_);
    handled_ = false;
    waker->wake();
    rearm_.wait(lock, [this] { return handled_ || stopping_; });
    if (stopping_) return;
  }
}

Readiness UiFrontendAdapter::wait_for_events(Application& app, const LoopFds& fds,
                                             std::optional<std::chrono::milliseconds> timeout) {
  // The previous wake-up's descriptors were drained by the loop since the
  // last call; the helper thread may poll again.
  {
    std::lock_guard lock(mutex_);
    handled_ = true;
  }
  rearm_.notify_all();
  start_watcher(fds);
  std::optional<ui::Frontend::Clock::time_point> deadline;
  if (timeout) deadline = ui::Frontend::Clock::now() + *timeout;
  for (const ui::Event& event : ui_->wait_events(deadline)) {
    if (std::holds_alternative<ui::QuitEvent>(event)) {
      finished_ = true;
    } else if (const auto* resize = std::get_if<ui::ResizeEvent>(&event)) {
      app.layout(ui::Rect::from_xywh(0, 0, resize->logical.width, resize->logical.height));
    } else if (!std::holds_alternative<ui::WakeEvent>(event)) {
      app.handle_event(event);
    }
  }
  return poll_fds(fds, std::chrono::milliseconds(0));
}

void UiFrontendAdapter::draw(Application& app) {
  if (!laid_out_) {
    app.set_clipboard(ui_->clipboard());
    const ui::Size size = ui_->logical_size();
    app.layout(ui::Rect::from_xywh(0, 0, size.width, size.height));
    laid_out_ = true;
  }
  std::optional<ui::Rect> text_area;
  {
    ui::Painter painter(ui_->canvas());
    app.paint(painter);
    text_area = painter.text_input_area();
  }
  // Only a moved caret, or focus entering or leaving a field, reaches the
  // window: its input method is not told the same place every frame.
  if (!text_area_known_ || text_area != text_area_) {
    ui_->set_text_input_area(text_area);
    text_area_ = text_area;
    text_area_known_ = true;
  }
  ui_->present();
}

std::unique_ptr<Frontend> open_window_frontend(const std::string& title, WindowSize size,
                                               double scale) {
  ui::WindowOptions options;
  options.title = title;
  options.logical = ui::Size{static_cast<double>(size.width), static_cast<double>(size.height)};
  options.scale = scale;
  auto window = ui::open_window(options);
  if (!window) {
    std::fprintf(stderr, "no window: %s\n", window.error().message.c_str());
    return nullptr;
  }
  return std::make_unique<UiFrontendAdapter>(std::move(*window));
}

}  // namespace kova::shell
