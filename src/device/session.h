// A device-control session: the application's side of a control stream to
// one of the platform's devices. The relay, consent and transport are the
// platform's; this holds the stream's status, hands encoded frames to a
// background decoder thread and takes decoded pictures back, each through a
// single-value slot so nothing ever queues up.
//
// Everything here runs on the user-interface thread except the decoder
// thread, which shares only the two slots, the running flag and the token
// channel. Dropping the session closes the channel; the decoder thread then
// ends by itself and is never joined.
#pragma once

#include <atomic>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "core/endpoint_key.h"
#include "device/input.h"
#include "device/mailbox.h"
#include "media/decoder.h"
#include "session/session_status.h"

namespace remote::device {

using DecodedFrame = kova::callstream::DecodedFrame;

// Parses a connection's host as a certified device endpoint id, or gives the
// message the session fails with.
std::expected<kova::p2p::EndpointKey, std::string> parse_device_host(std::string_view host);

inline constexpr const char* invalid_host_text =
    "Kova host must be an exact certified device endpoint id";

// How a control stream ended, as the platform reports it.
struct Closed {
  enum class Reason : std::uint8_t {
    RevokedByTarget,
    TargetDisconnected,
    RelayDisconnected,
    WorkspaceControlClosed,
    Other,
  };
  Reason reason = Reason::Other;
  std::string text;  // the reason's own text for Other
};

// The text a closed stream shows.
std::string closed_text(const Closed& closed);

// One event of the platform's device stream, already matched to this
// session's stream request number by the caller.
struct Started {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};
struct Frame {
  std::vector<std::uint8_t> bytes;
};
struct OtherEvent {};
using StreamEvent = std::variant<OtherEvent, Started, Frame, Closed>;

class DeviceSession {
 public:
  // Starts the decoder thread ("remote-kova-decode"); fails with "could not
  // start Kova frame decoder: " and the system's error text.
  static std::expected<DeviceSession, std::string> start(std::uint64_t stream_request);

  DeviceSession(DeviceSession&&) noexcept = default;
  DeviceSession& operator=(DeviceSession&&) noexcept = default;
  ~DeviceSession() = default;

  std::uint64_t stream_request() const { return stream_request_; }
  const SessionStatus& status() const { return status_; }
  FrameSize frame_size() const { return frame_size_; }
  void set_frame_size(FrameSize size) { frame_size_ = size; }

  // Applies one stream event: status changes, frame size, and frames handed
  // to the decoder (the newest replaces one still waiting).
  void handle(StreamEvent event);

  // The newest decoded picture not yet taken, if any. Taking it also records
  // its size as the device frame size.
  std::optional<DecodedFrame> take_picture();
  // Gives a taken picture's storage back for the decoder thread's next
  // picture, so a steady stream reuses one buffer instead of reserving and
  // clearing a fresh one per frame. Keeps at most one.
  void recycle(DecodedFrame picture);

  bool decoder_running() const;

 private:
  struct Shared {
    Slot<std::vector<std::uint8_t>> encoded;
    Slot<DecodedFrame> decoded;
    Slot<std::vector<std::uint8_t>> spare;  // storage given back by the view
    std::atomic<bool> decoder_running{true};
  };

  DeviceSession(std::uint64_t stream_request, std::shared_ptr<Shared> shared,
                TokenSender frames)
      : stream_request_(stream_request), shared_(std::move(shared)), frames_(std::move(frames)) {}

  void hand_over(std::vector<std::uint8_t> bytes);

  std::uint64_t stream_request_;
  std::shared_ptr<Shared> shared_;
  TokenSender frames_;
  SessionStatus status_ = SessionStatus::connecting();
  FrameSize frame_size_;

  static void decode_loop(std::shared_ptr<Shared> shared, TokenReceiver frames);
};

}  // namespace remote::device
