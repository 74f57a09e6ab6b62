#include "shell/event_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "automation/server.h"
#include "shell/limits.h"
#include "ui_toolkit/canvas.h"

namespace kova::shell {

namespace {

sigset_t quit_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

std::string errno_text(const char* call) { return std::string(call) + ": " + std::strerror(errno); }

}  // namespace

void block_quit_signals() {
  const sigset_t set = quit_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

LoopSources::OwnedFd::~OwnedFd() {
  if (fd >= 0) ::close(fd);
}

LoopSources::LoopSources(int signal_fd, std::shared_ptr<OwnedFd> wake)
    : signal_fd_(signal_fd), wake_(std::move(wake)) {}

LoopSources::LoopSources(LoopSources&& other) noexcept
    : signal_fd_(std::exchange(other.signal_fd_, -1)), wake_(std::move(other.wake_)) {}

LoopSources& LoopSources::operator=(LoopSources&& other) noexcept {
  if (this != &other) {
    if (signal_fd_ >= 0) ::close(signal_fd_);
    signal_fd_ = std::exchange(other.signal_fd_, -1);
    wake_ = std::move(other.wake_);
  }
  return *this;
}

LoopSources::~LoopSources() {
  if (signal_fd_ >= 0) ::close(signal_fd_);
}

std::expected<LoopSources, std::string> LoopSources::create() {
  const sigset_t set = quit_signals();
  const int sfd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (sfd < 0) return std::unexpected(errno_text("signalfd"));
  auto wake = std::make_shared<OwnedFd>();
  wake->fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake->fd < 0) {
    auto err = errno_text("eventfd");
    ::close(sfd);
    return std::unexpected(err);
  }
  return LoopSources(sfd, std::move(wake));
}

std::function<void()> LoopSources::waker() const {
  return [wake = wake_] {
    const std::uint64_t one = 1;
    // A full counter (EAGAIN) already means "wake up"; nothing to retry.
    [[maybe_unused]] const auto n = ::write(wake->fd, &one, sizeof one);
  };
}

void LoopSources::drain_wake() const {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto n = ::read(wake_->fd, &count, sizeof count);
}

int LoopSources::read_signal() const {
  signalfd_siginfo info{};
  if (::read(signal_fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
  return static_cast<int>(info.ssi_signo);
}

Readiness poll_fds(const LoopFds& fds, std::optional<std::chrono::milliseconds> timeout) {
  // poll() skips entries whose fd is negative.
  pollfd pfds[4] = {{fds.signal_fd, POLLIN, 0},
                    {fds.wake_fd, POLLIN, 0},
                    {fds.watch_fd, POLLIN, 0},
                    {fds.automation_fd, POLLIN, 0}};
  const nfds_t count = 4;
  const int ms = timeout ? static_cast<int>(timeout->count()) : -1;
  Readiness out;
  const int n = ::poll(pfds, count, ms);
  if (n <= 0) return out;  // timeout, or EINTR: the caller loops
  out.quit = (pfds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
  out.woken = (pfds[1].revents & POLLIN) != 0;
  out.document = fds.watch_fd >= 0 && (pfds[2].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
  return out;
}

struct HeadlessFrontend::Offscreen {
  ui::Canvas canvas;
};

HeadlessFrontend::HeadlessFrontend(WindowSize size, double scale,
                                   std::optional<std::filesystem::path> snapshot)
    : size_(size), scale_(scale), snapshot_(std::move(snapshot)) {}

HeadlessFrontend::~HeadlessFrontend() = default;

Readiness HeadlessFrontend::wait_for_events(Application& /*app*/, const LoopFds& fds,
                                            std::optional<std::chrono::milliseconds> timeout) {
  return poll_fds(fds, timeout);
}

void HeadlessFrontend::draw(Application& app) {
  if (!offscreen_) {
    auto canvas = ui::Canvas::create(
        ui::Size{static_cast<double>(size_.width), static_cast<double>(size_.height)}, scale_);
    if (!canvas) {
      error_ = "offscreen canvas: " + canvas.error().message;
      finished_ = true;
      return;
    }
    offscreen_ = std::make_unique<Offscreen>(Offscreen{std::move(*canvas)});
    app.layout(ui::Rect::from_xywh(0, 0, size_.width, size_.height));
  }
  {
    ui::Painter painter(offscreen_->canvas);
    app.paint(painter);
  }
  ++frames_;
  if (snapshot_) {
    const auto now = std::chrono::steady_clock::now();
    if (!first_frame_) first_frame_ = now;
    if (app.wants_frame() && now - *first_frame_ < std::chrono::seconds(snapshot_settle_seconds))
      return;
    if (auto written = ui::write_png(offscreen_->canvas, snapshot_->string()); !written)
      error_ = "snapshot " + snapshot_->string() + ": " + written.error().message;
    finished_ = true;
  }
}

void commit_pending(doc::Store& store, std::string_view message) {
  if (!store.doc().has_pending()) return;
  if (auto committed = store.commit(message); !committed)
    std::fprintf(stderr, "document commit failed: %s\n", committed.error().message.c_str());
}

void serve_device_streams(Application& app, callstream::DeviceStreamService& devices) {
  DeviceStreamPort* port = app.device_stream_port();
  if (!port) return;
  for (auto& request : port->take_platform_requests()) devices.submit(std::move(request));
  for (const auto& event : devices.take_events()) port->deliver_device_event(event);
}

void run_loop(Application& app, doc::Store& store, const LoopSources& sources, Frontend& frontend,
              bool trace, callstream::DeviceStreamService* devices,
              const AutomationService* automation) {
  const auto note = [trace](const char* event) {
    if (trace) std::fprintf(stderr, "%s\n", event);
  };
  LoopFds fds = sources.fds(store.watch_fd());
  if (automation) fds.automation_fd = automation->server.fd();
  bool draw_now = true;
  bool ready_noted = false;
  while (!frontend.finished()) {
    if (devices) serve_device_streams(app, *devices);
    if (draw_now || app.wants_frame() || app.needs_redraw()) {
      frontend.draw(app);
      app.did_draw();
      commit_pending(store, "");
      draw_now = false;
      if (frontend.finished()) break;
    }
    if (!ready_noted) {
      note("ready");
      ready_noted = true;
    }
    std::optional<std::chrono::milliseconds> timeout;
    if (app.wants_frame() || app.needs_redraw() || (automation && automation->server.wants_poll()))
      timeout = std::chrono::milliseconds(frame_interval_ms);
    const Readiness ready = frontend.wait_for_events(app, fds, timeout);
    // Between frames; never blocks (see automation/server.h).
    if (automation) automation->server.serve_ready(automation->host);
    if (ready.quit && sources.read_signal() != 0) {
      note("quit");
      break;
    }
    if (ready.woken) sources.drain_wake();
    if (ready.document) {
      auto changed = store.refresh();
      if (!changed) {
        std::fprintf(stderr, "document refresh failed: %s\n", changed.error().message.c_str());
      } else if (*changed) {
        app.document_changed(store.doc());
        commit_pending(store, "");
        note("document changed");
      }
    }
  }
}

}  // namespace kova::shell
