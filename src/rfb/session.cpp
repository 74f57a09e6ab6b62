#include "rfb/session.h"

#include <pthread.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "rfb/handshake.h"
#include "rfb/limits.h"
#include "rfb/socket.h"
#include "rfb/update.h"
#include "rfb/wire.h"

namespace remote::rfb {

// Bounded queue of input events: many senders that only try, one receiver
// that only polls.
class InputQueue {
 public:
  enum class Put : std::uint8_t { Ok, Full, Closed };
  enum class Take : std::uint8_t { Event, Empty, Closed };

  Put try_put(const VncInputEvent& e) {
    std::lock_guard lock(mutex_);
    if (closed_) return Put::Closed;
    if (events_.size() >= input_queue_capacity) return Put::Full;
    events_.push_back(e);
    return Put::Ok;
  }
  Take try_take(VncInputEvent& out) {
    std::lock_guard lock(mutex_);
    if (closed_) return Take::Closed;
    if (events_.empty()) return Take::Empty;
    out = events_.front();
    events_.pop_front();
    return Take::Event;
  }
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    events_.clear();
  }

 private:
  std::mutex mutex_;
  std::deque<VncInputEvent> events_;
  bool closed_ = false;
};

// The objects the handle and the worker share. No code holds two of these
// locks at once.
struct VncShared {
  StatusCell status;

  mutable std::mutex frame_mutex;
  std::optional<VncFrame> frame;
  std::optional<std::uint64_t> last_taken;
  std::optional<std::pair<std::uint16_t, std::uint16_t>> size;
  VncFrameCopies copies;

  InputQueue input;
  SocketCanceller canceller;
};

namespace {

using Clock = std::chrono::steady_clock;

struct WorkerContext {
  std::string host;
  std::uint16_t port;
  std::string password;
  std::shared_ptr<VncShared> shared;
};

void publish(VncShared& shared, const Framebuffer& fb) {
  std::lock_guard lock(shared.frame_mutex);
  shared.frame = fb.snapshot();
  shared.size = std::pair(fb.width(), fb.height());
  shared.copies = {fb.whole_copies(), fb.tile_bytes_copied()};
}

// Takes back the slot's snapshot when the view has already seen it and holds
// no copy of its own, so the next update can paint in place instead of
// copying the whole buffer. A snapshot the view has not taken yet stays
// published and is copied on write as usual.
void reclaim_unheld_snapshot(VncShared& shared, const Framebuffer& fb) {
  std::lock_guard lock(shared.frame_mutex);
  if (!shared.frame || shared.frame->pixels.get() != &fb.pixels()) return;
  if (shared.last_taken != shared.frame->generation) return;
  // Two owners: the framebuffer and the slot. Under the slot lock nobody can
  // obtain another reference.
  if (shared.frame->pixels.use_count() == 2) shared.frame.reset();
}

Result<void> send(Stream& s, const std::vector<std::uint8_t>& bytes) {
  return s.write(bytes);
}

Result<void> send_event(Stream& s, const VncInputEvent& event) {
  if (const auto* key = std::get_if<VncKeyEvent>(&event)) {
    return send(s, encode_key_event(key->down, key->keysym));
  }
  const auto& p = std::get<VncPointerEvent>(event);
  return send(s, encode_pointer_event(p.buttons, p.x, p.y));
}

class Worker {
 public:
  explicit Worker(WorkerContext ctx) : ctx_(std::move(ctx)), shared_(*ctx_.shared) {}

  Result<void> run() {
    auto fd = connect_tcp(ctx_.host, ctx_.port, shared_.canceller);
    if (!fd) return std::unexpected(fd.error());
    SocketStream stream(*fd, shared_.canceller);
    auto init = run_handshake(stream, ctx_.password);
    if (!init) return std::unexpected(init.error());
    if (auto r = start_session(stream, *init); !r) return r;
    return message_loop(stream);
  }

 private:
  Result<void> start_session(SocketStream& s, const ServerInit& init) {
    if (auto r = send(s, encode_set_pixel_format(requested_pixel_format)); !r) return r;
    if (auto r = send(s, encode_set_encodings()); !r) return r;
    fb_ = Framebuffer::create(init.width, init.height);
    if (auto r = request_update(s, false); !r) return r;
    shared_.status.set(SessionStatus::connected());
    publish(shared_, *fb_);
    return {};
  }

  Result<void> request_update(Stream& s, bool incremental) {
    last_request_ = Clock::now();
    return send(s, encode_update_request(incremental, fb_->width(), fb_->height()));
  }

  Result<void> message_loop(SocketStream& s) {
    for (;;) {
      VncInputEvent event;
      switch (shared_.input.try_take(event)) {
        case InputQueue::Take::Event:
          if (auto r = send_event(s, event); !r) return r;
          continue;  // every queued event goes out before the next read
        case InputQueue::Take::Closed:
          return {};
        case InputQueue::Take::Empty:
          break;
      }
      auto ready = s.wait_readable(read_poll_interval_ms);
      if (!ready) return std::unexpected(ready.error());
      if (!*ready) {
        if (Clock::now() - last_request_ >= std::chrono::milliseconds(update_request_interval_ms)) {
          if (auto r = request_update(s, true); !r) return r;
        }
        continue;
      }
      auto type = read_u8(s);
      if (!type) return std::unexpected(type.error());
      if (auto r = on_message(s, *type); !r) return r;
    }
  }

  Result<void> on_message(SocketStream& s, std::uint8_t type) {
    if (type == static_cast<std::uint8_t>(ServerMessage::FramebufferUpdate)) {
      reclaim_unheld_snapshot(shared_, *fb_);
    }
    auto updated = read_server_message(s, type, *fb_, scratch_);
    if (!updated) return std::unexpected(updated.error());
    if (!*updated) return {};
    publish(shared_, *fb_);
    return request_update(s, true);
  }

  WorkerContext ctx_;
  VncShared& shared_;
  std::optional<Framebuffer> fb_;
  std::vector<std::uint8_t> scratch_;
  Clock::time_point last_request_;
};

// Only the worker writes the status, so reading it first cannot race.
void report(VncShared& shared, const Error& error) {
  const bool connected = shared.status.get().kind == SessionStatus::Kind::Connected;
  if (error.kind == ErrorKind::UnexpectedEof && connected) {
    shared.status.set(SessionStatus::ended());
  } else {
    shared.status.fail(error.text);
  }
}

void worker_main(WorkerContext ctx) {
  ::pthread_setname_np(::pthread_self(), "remote-vnc");
  std::shared_ptr<VncShared> shared = ctx.shared;
  auto result = Worker(std::move(ctx)).run();
  // A dropped handle ends the worker silently, whatever the broken-off read
  // reported.
  if (!result && !shared->canceller.cancelled()) report(*shared, result.error());
  shared->input.close();
}

}  // namespace

std::expected<VncSession, std::string> VncSession::start(std::string host, std::uint16_t port,
                                                         std::optional<std::string> password) {
  auto shared = std::make_shared<VncShared>();
  WorkerContext ctx{std::move(host), port, password.value_or(std::string{}), shared};
  try {
    std::thread(worker_main, std::move(ctx)).detach();
  } catch (const std::system_error& e) {
    return std::unexpected(e.code().message());
  }
  return VncSession(std::move(shared));
}

VncSession& VncSession::operator=(VncSession&& other) noexcept {
  if (this != &other) {
    close();
    shared_ = std::move(other.shared_);
  }
  return *this;
}

VncSession::~VncSession() {
  close();
}

void VncSession::close() {
  if (!shared_) return;
  shared_->input.close();
  shared_->canceller.cancel();
  shared_.reset();
}

std::expected<void, std::string> VncSession::send(const VncInputEvent& event) {
  switch (shared_->input.try_put(event)) {
    case InputQueue::Put::Ok:
      return {};
    case InputQueue::Put::Full:
      return std::unexpected(input_busy_text);
    case InputQueue::Put::Closed:
      break;
  }
  return std::unexpected(input_closed_text);
}

std::optional<VncFrame> VncSession::take_frame() {
  std::lock_guard lock(shared_->frame_mutex);
  if (!shared_->frame || shared_->last_taken == shared_->frame->generation) return std::nullopt;
  shared_->last_taken = shared_->frame->generation;
  return shared_->frame;
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> VncSession::frame_size() const {
  std::lock_guard lock(shared_->frame_mutex);
  return shared_->size;
}

VncFrameCopies VncSession::frame_copies() const {
  std::lock_guard lock(shared_->frame_mutex);
  return shared_->copies;
}

SessionStatus VncSession::status() const { return shared_->status.get(); }

}  // namespace remote::rfb
