// One VNC session: a detached worker thread "remote-vnc" that owns the
// connection and the framebuffer, and the handle the user interface keeps.
//
// The handle's methods never wait for the network: the input queue is only
// tried, and the status cell and frame slot are each held only to copy one
// value. Dropping the handle closes the queue and shuts the worker's socket
// down, so the worker ends by itself even while blocked in the handshake;
// nothing ever joins it.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "rfb/framebuffer.h"
#include "session/session_status.h"

namespace remote::rfb {

struct VncKeyEvent {
  bool down = false;  // true pressed, false released
  std::uint32_t keysym = 0;
  bool operator==(const VncKeyEvent&) const = default;
};

struct VncPointerEvent {
  std::uint8_t buttons = 0;  // bit 0 left, bit 1 middle, bit 2 right
  std::uint16_t x = 0;       // framebuffer coordinates
  std::uint16_t y = 0;
  bool operator==(const VncPointerEvent&) const = default;
};

using VncInputEvent = std::variant<VncKeyEvent, VncPointerEvent>;

inline constexpr const char* input_busy_text =
    "VNC input is busy; wait for the remote desktop to catch up";
inline constexpr const char* input_closed_text = "VNC session input channel is closed";

// What the worker copied inside its framebuffer up to the latest picture:
// whole pictures (both buffers still held) and bytes of lagging tiles.
struct VncFrameCopies {
  std::uint64_t whole_pictures = 0;
  std::uint64_t tile_bytes = 0;
};

struct VncShared;

class VncSession {
 public:
  // Starts the worker; the status is Connecting until the handshake is done.
  // An error is the text of a failed thread creation. An absent password is
  // used like an empty one.
  static std::expected<VncSession, std::string> start(std::string host, std::uint16_t port,
                                                      std::optional<std::string> password);

  VncSession(VncSession&&) noexcept = default;
  VncSession& operator=(VncSession&& other) noexcept;
  ~VncSession();

  // Queues an event without waiting; the busy or closed text on failure.
  std::expected<void, std::string> send(const VncInputEvent& event);
  // The newest snapshot if it differs from the one taken last.
  std::optional<VncFrame> take_frame();
  // Width and height of the published picture, nothing before the first one.
  std::optional<std::pair<std::uint16_t, std::uint16_t>> frame_size() const;
  SessionStatus status() const;
  // For tests and benchmarks.
  VncFrameCopies frame_copies() const;

 private:
  explicit VncSession(std::shared_ptr<VncShared> shared) : shared_(std::move(shared)) {}
  void close();

  std::shared_ptr<VncShared> shared_;
};

}  // namespace remote::rfb
