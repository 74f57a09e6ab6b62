#include "ui_toolkit/frontend.h"

namespace kova::ui {

namespace {

class HeadlessWaker final : public Waker {
 public:
  explicit HeadlessWaker(std::weak_ptr<HeadlessFrontend::Queue> q) : queue_(std::move(q)) {}
  void wake() override {
    auto q = queue_.lock();
    if (!q) return;
    {
      std::lock_guard lock(q->mutex);
      q->woken = true;
    }
    q->ready.notify_one();
  }

 private:
  std::weak_ptr<HeadlessFrontend::Queue> queue_;
};

}  // namespace

Result<std::unique_ptr<HeadlessFrontend>> HeadlessFrontend::create(Size logical, double scale) {
  auto canvas = Canvas::create(logical, scale);
  if (!canvas) return std::unexpected(canvas.error());
  Size fitted = canvas->logical_size();
  double s = canvas->scale();
  return std::unique_ptr<HeadlessFrontend>(new HeadlessFrontend(std::move(*canvas), fitted, s));
}

HeadlessFrontend::HeadlessFrontend(Canvas canvas, Size logical, double scale)
    : canvas_(std::move(canvas)),
      logical_(logical),
      scale_(scale),
      queue_(std::make_shared<Queue>()) {}

HeadlessFrontend::~HeadlessFrontend() = default;

std::vector<Event> HeadlessFrontend::wait_events(std::optional<Clock::time_point> deadline) {
  std::unique_lock lock(queue_->mutex);
  auto has_work = [this] { return !queue_->events.empty() || queue_->woken; };
  if (deadline) {
    queue_->ready.wait_until(lock, *deadline, has_work);
  } else {
    queue_->ready.wait(lock, has_work);
  }
  std::vector<Event> out(std::make_move_iterator(queue_->events.begin()),
                         std::make_move_iterator(queue_->events.end()));
  queue_->events.clear();
  if (queue_->woken) {
    out.emplace_back(WakeEvent{});
    queue_->woken = false;
  }
  return out;
}

std::shared_ptr<Waker> HeadlessFrontend::waker() { return std::make_shared<HeadlessWaker>(queue_); }

void HeadlessFrontend::push_event(Event event) {
  {
    std::lock_guard lock(queue_->mutex);
    queue_->events.push_back(std::move(event));
  }
  queue_->ready.notify_one();
}

Result<void> HeadlessFrontend::resize(Size logical, double scale) {
  auto canvas = Canvas::create(logical, scale);
  if (!canvas) return std::unexpected(canvas.error());
  logical_ = canvas->logical_size();
  scale_ = canvas->scale();
  canvas_ = std::move(*canvas);
  push_event(ResizeEvent{logical_, scale_});
  return {};
}

}  // namespace kova::ui
