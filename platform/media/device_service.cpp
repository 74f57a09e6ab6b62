#include "media/device_service.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <thread>

#include "media/decoder.h"

namespace kova::callstream {
namespace {

using Clock = std::chrono::steady_clock;

// State shared by the service object and its stream threads. Threads hold it
// by shared_ptr, so the service can go away while a thread is still winding
// down; nothing ever waits for a stream thread.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<StreamEvent> events;
  std::map<std::uint64_t, DeviceInput> last_pointer;  // by request
  std::map<std::uint64_t, bool> open;                 // by request: still wanted
  bool shutting_down = false;
  std::function<void()> wake;

  bool wanted(std::uint64_t request) {
    auto it = open.find(request);
    return !shutting_down && it != open.end() && it->second;
  }

  // Frames are coalesced: a frame still waiting for the same stream is
  // replaced, so a slow consumer bounds memory to one pending frame a stream.
  void push(StreamEvent event) {
    std::function<void()> wake_now;
    {
      std::lock_guard lock(mutex);
      wake_now = wake;
      bool merged = false;
      if (std::holds_alternative<StreamFrame>(event.body)) {
        for (auto& queued : events) {
          if (queued.request == event.request &&
              std::holds_alternative<StreamFrame>(queued.body)) {
            queued.body = std::move(event.body);
            merged = true;
            break;
          }
        }
      }
      if (!merged) events.push_back(std::move(event));
    }
    if (wake_now) wake_now();
  }
};

// A moving test picture: a slow colour sweep, bars that scroll, a bouncing
// square, and a marker where the pointer last was.
void paint_test_picture(std::vector<std::uint8_t>& rgba, std::uint32_t width,
                        std::uint32_t height, std::uint64_t frame, const DeviceInput* pointer) {
  const double t = static_cast<double>(frame) / 15.0;
  const auto shade = [](double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)); };
  const std::uint32_t box = height / 5;
  const double span_x = static_cast<double>(width - box);
  const double span_y = static_cast<double>(height - box);
  const auto box_x = static_cast<std::uint32_t>(span_x * (0.5 + 0.5 * std::sin(t * 0.9)));
  const auto box_y = static_cast<std::uint32_t>(span_y * (0.5 + 0.5 * std::cos(t * 1.3)));
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* row = &rgba[std::size_t{y} * width * 4];
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = row + std::size_t{x} * 4;
      const double fx = static_cast<double>(x) / width;
      const double fy = static_cast<double>(y) / height;
      p[0] = shade(40 + 60 * fx + 30 * std::sin(t));
      p[1] = shade(50 + 50 * fy);
      p[2] = shade(90 + 60 * (1 - fx));
      p[3] = 255;
      if (y > height - height / 8) {
        const auto bar = (x + static_cast<std::uint32_t>(frame * 8)) / (width / 8) % 8;
        p[0] = (bar & 1) ? 230 : 30;
        p[1] = (bar & 2) ? 230 : 30;
        p[2] = (bar & 4) ? 230 : 30;
      }
      if (x >= box_x && x < box_x + box && y >= box_y && y < box_y + box) {
        p[0] = 250, p[1] = 200, p[2] = 60;
      }
    }
  }
  if (pointer != nullptr) {
    const auto px = static_cast<long>(pointer->x), py = static_cast<long>(pointer->y);
    for (long dy = -6; dy <= 6; ++dy) {
      for (long dx = -6; dx <= 6; ++dx) {
        const long x = px + dx, y = py + dy;
        if (x < 0 || y < 0 || x >= static_cast<long>(width) || y >= static_cast<long>(height)) {
          continue;
        }
        std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * 4];
        p[0] = 255, p[1] = 255, p[2] = 255;
      }
    }
  }
}

void run_stream(std::shared_ptr<Shared> shared, std::uint64_t request, DemoDeviceOptions options) {
  const auto consent_at = Clock::now() + std::chrono::milliseconds(options.consent_delay_ms);
  {
    std::unique_lock lock(shared->mutex);
    shared->changed.wait_until(lock, consent_at, [&] { return !shared->wanted(request); });
    if (!shared->wanted(request)) return;
  }
  // Every frame is a key frame: frames waiting for a slow consumer are
  // replaced by newer ones, here and in the application's mailbox, and a
  // predicted frame whose reference was dropped would decode with artefacts.
  auto encoder = Encoder::create(options.width, options.height, options.frames_per_second, 1);
  if (!encoder) {
    shared->push({request, StreamClosed{CloseReason::Other, encoder.error()}});
    return;
  }
  shared->push({request, StreamStarted{options.width, options.height}});
  std::vector<std::uint8_t> picture(std::size_t{options.width} * options.height * 4);
  const auto period = std::chrono::microseconds(1'000'000 / options.frames_per_second);
  auto next = Clock::now();
  for (std::uint64_t frame = 0;; ++frame) {
    std::optional<DeviceInput> pointer;
    {
      std::lock_guard lock(shared->mutex);
      if (!shared->wanted(request)) break;
      if (auto it = shared->last_pointer.find(request); it != shared->last_pointer.end()) {
        pointer = it->second;
      }
    }
    paint_test_picture(picture, options.width, options.height, frame,
                       pointer ? &*pointer : nullptr);
    auto bytes = encoder->encode(picture);
    if (!bytes) {
      shared->push({request, StreamClosed{CloseReason::Other, bytes.error()}});
      break;
    }
    if (!bytes->empty()) shared->push({request, StreamFrame{std::move(*bytes)}});
    next += period;
    std::unique_lock lock(shared->mutex);
    shared->changed.wait_until(lock, next, [&] { return !shared->wanted(request); });
  }
  std::lock_guard lock(shared->mutex);
  shared->open.erase(request);
  shared->last_pointer.erase(request);
}

class DemoDeviceService final : public DeviceStreamService {
 public:
  DemoDeviceService(DemoDeviceOptions options, std::function<void()> wake)
      : options_(std::move(options)), shared_(std::make_shared<Shared>()) {
    shared_->wake = std::move(wake);
  }

  ~DemoDeviceService() override {
    std::lock_guard lock(shared_->mutex);
    shared_->shutting_down = true;
    shared_->wake = nullptr;
    shared_->changed.notify_all();
  }

  void submit(StreamRequest request) override {
    std::visit([this](auto& r) { handle(r); }, request);
  }

  std::vector<StreamEvent> take_events() override {
    std::lock_guard lock(shared_->mutex);
    std::vector<StreamEvent> out(std::make_move_iterator(shared_->events.begin()),
                                 std::make_move_iterator(shared_->events.end()));
    shared_->events.clear();
    return out;
  }

 private:
  void handle(const OpenStream& open) {
    const bool known = std::find(options_.devices.begin(), options_.devices.end(),
                                 open.endpoint) != options_.devices.end();
    if (!known) {
      shared_->push({open.request, StreamClosed{CloseReason::Other, no_relay_text}});
      return;
    }
    {
      std::lock_guard lock(shared_->mutex);
      shared_->open[open.request] = true;
    }
    shared_->push({open.request, StreamWaiting{}});
    std::thread(run_stream, shared_, open.request, options_).detach();
  }

  void handle(const SendInput& input) {
    if (input.input.kind != DeviceInput::Kind::PointerMove) return;
    std::lock_guard lock(shared_->mutex);
    if (shared_->open.contains(input.request)) shared_->last_pointer[input.request] = input.input;
  }

  void handle(const CloseStream& close) {
    std::lock_guard lock(shared_->mutex);
    if (auto it = shared_->open.find(close.request); it != shared_->open.end()) {
      it->second = false;
    }
    shared_->changed.notify_all();
  }

  DemoDeviceOptions options_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace

std::unique_ptr<DeviceStreamService> make_demo_device_service(DemoDeviceOptions options,
                                                              std::function<void()> wake) {
  return std::make_unique<DemoDeviceService>(std::move(options), std::move(wake));
}

}  // namespace kova::callstream
