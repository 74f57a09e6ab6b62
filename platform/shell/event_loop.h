// The shell's event loop. One thread (the UI thread) runs it; it sleeps in
// poll() until a quit signal, a change of the document file, a wake-up from
// a worker, input (window frontends) or the next animation frame.
//
// SIGINT and SIGTERM are taken through a signalfd, so they must be blocked in
// every thread: call block_quit_signals() before any thread is started
// (threads inherit the mask).
#pragma once

#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "document/store.h"
#include "shell/application.h"
#include "shell/options.h"

namespace kova::automation {
class AutomationHost;
class Server;
}  // namespace kova::automation

namespace kova::shell {

// Blocks SIGINT and SIGTERM for the calling thread (and threads it starts).
void block_quit_signals();

// The descriptors the loop waits on. All are owned by LoopSources.
struct LoopFds {
  int signal_fd = -1;  // readable when SIGINT/SIGTERM arrived
  int wake_fd = -1;    // eventfd, readable after wake()
  int watch_fd = -1;   // the document store's watch fd, -1 for none
  int automation_fd = -1;  // the automation endpoint's fd, -1 for none
};

// What woke the loop.
struct Readiness {
  bool quit = false;
  bool document = false;
  bool woken = false;
};

class LoopSources {
 public:
  static std::expected<LoopSources, std::string> create();

  LoopFds fds(int watch_fd) const { return {signal_fd_, wake_->fd, watch_fd}; }
  // Thread-safe; may be called after the loop ended (the eventfd lives as
  // long as any waker does).
  std::function<void()> waker() const;
  void drain_wake() const;
  // Reads one pending signal; its number, or 0 when none was pending.
  int read_signal() const;

  LoopSources(LoopSources&&) noexcept;
  LoopSources& operator=(LoopSources&&) noexcept;
  ~LoopSources();

 private:
  struct OwnedFd {
    int fd = -1;
    ~OwnedFd();
  };
  LoopSources(int signal_fd, std::shared_ptr<OwnedFd> wake);
  int signal_fd_ = -1;
  std::shared_ptr<OwnedFd> wake_;
};

// Polls the loop's descriptors; the same wait the headless frontend uses and
// a window frontend's helper thread can use. An absent timeout waits for ever.
Readiness poll_fds(const LoopFds& fds, std::optional<std::chrono::milliseconds> timeout);

// The seam between the loop and what shows the application. A window
// frontend delivers its input events to the application inside
// wait_for_events (a good design: a helper thread polls `fds` and posts a
// window event, so the UI thread sleeps in the window system's wait alone).
class Frontend {
 public:
  virtual ~Frontend() = default;
  virtual Readiness wait_for_events(Application& app, const LoopFds& fds,
                                    std::optional<std::chrono::milliseconds> timeout) = 0;
  // Paints one frame of `app`.
  virtual void draw(Application& app) = 0;
  // True when the frontend is done (a window closed, a snapshot taken).
  virtual bool finished() const { return false; }
  // Why the frontend failed (a snapshot that could not be written), if it did.
  virtual std::optional<std::string> error() const { return std::nullopt; }
};

// No window: waits on the descriptors and paints into an offscreen canvas of
// `size` at `scale`. With a snapshot path, the first frame after which the
// application wants no further frame (or the frame at which two seconds of
// frames have passed, for screens that keep animating) is written there as a
// PNG and the frontend finishes.
class HeadlessFrontend final : public Frontend {
 public:
  HeadlessFrontend(WindowSize size, double scale, std::optional<std::filesystem::path> snapshot);
  ~HeadlessFrontend() override;
  Readiness wait_for_events(Application& app, const LoopFds& fds,
                            std::optional<std::chrono::milliseconds> timeout) override;
  void draw(Application& app) override;
  bool finished() const override { return finished_; }
  int frames_drawn() const { return frames_; }
  // Set when writing the snapshot failed.
  std::optional<std::string> error() const override { return error_; }

 private:
  struct Offscreen;
  std::unique_ptr<Offscreen> offscreen_;
  WindowSize size_;
  double scale_;
  std::optional<std::filesystem::path> snapshot_;
  bool finished_ = false;
  int frames_ = 0;
  std::optional<std::chrono::steady_clock::time_point> first_frame_;
  std::optional<std::string> error_;
};

// Runs the loop until a quit signal or the frontend finishes. The document
// is refreshed when its file changes, and the application told when that
// changed it; anything the application leaves pending is committed. A frame
// is drawn whenever the application wants one or needs a redraw.
// With `trace`, the events are written to standard error as they happen.
// With `devices`, the application's device-stream port is served by it: the
// queued requests are handed over and its events delivered back, in order,
// before every frame and after every wake-up.
// The automation endpoint the loop serves after every wake-up (and at frame
// intervals while it polls background invocations), and its host.
struct AutomationService {
  automation::Server& server;
  automation::AutomationHost& host;
};

void run_loop(Application& app, doc::Store& store, const LoopSources& sources, Frontend& frontend,
              bool trace = false, callstream::DeviceStreamService* devices = nullptr,
              const AutomationService* automation = nullptr);

// One exchange between an application's device-stream port and a service:
// every queued request is submitted, then every waiting event delivered.
// Nothing happens when the application has no port.
void serve_device_streams(Application& app, callstream::DeviceStreamService& devices);

// Commits what the application left pending in the store's document, with
// `message`. Errors go to standard error; the in-memory state stays.
void commit_pending(doc::Store& store, std::string_view message);

}  // namespace kova::shell
