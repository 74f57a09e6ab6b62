// The device-stream service behind the framework's device-stream port.
//
// The application queues requests (open a stream to a device endpoint, feed
// it input, close it); the framework hands them to a service and delivers the
// service's events back to the application on the user-interface thread. The
// real relay to remote devices is not part of this machine's platform; what
// ships here is a local demonstration service that plays the part of a set of
// known devices, so a device session can be seen working end to end.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

namespace kova::callstream {

using EndpointBytes = std::array<std::uint8_t, 32>;

// One input event for a device, as the application translated it.
struct DeviceInput {
  enum class Kind : std::uint8_t { PointerMove = 0, Button = 1, Key = 2, PressMarker = 3 };
  Kind kind = Kind::PointerMove;
  double x = 0;  // PointerMove: device-frame pixels
  double y = 0;
  bool pressed = false;  // Button, Key
  std::uint32_t code = 0;  // Button, Key: Linux input event code
};

struct OpenStream {
  EndpointBytes endpoint{};
  std::uint64_t request = 0;
};
struct SendInput {
  DeviceInput input;
  std::uint64_t request = 0;
};
struct CloseStream {
  std::uint64_t request = 0;
};
using StreamRequest = std::variant<OpenStream, SendInput, CloseStream>;

enum class CloseReason : std::uint8_t {
  RevokedByTarget,
  TargetDisconnected,
  RelayDisconnected,
  WorkspaceControlClosed,
  Other,
};

struct StreamStarted {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};
struct StreamFrame {
  std::vector<std::uint8_t> bytes;  // one encoded H.264 frame (Annex B)
};
struct StreamClosed {
  CloseReason reason = CloseReason::Other;
  std::string text;  // the reason's own text when `reason` is Other
};
struct StreamWaiting {};  // any other event: the stream is (again) being set up

struct StreamEvent {
  std::uint64_t request = 0;
  std::variant<StreamWaiting, StreamStarted, StreamFrame, StreamClosed> body;
};

// A service the framework drives from the user-interface thread: submit()
// never blocks; take_events() returns what happened since the last call, in
// order. A service calls the wake-up function (from any thread) whenever new
// events are waiting.
class DeviceStreamService {
 public:
  virtual ~DeviceStreamService() = default;
  virtual void submit(StreamRequest request) = 0;
  virtual std::vector<StreamEvent> take_events() = 0;
};

struct DemoDeviceOptions {
  std::vector<EndpointBytes> devices;  // endpoints this service answers
  std::uint32_t width = 1280;
  std::uint32_t height = 720;
  int frames_per_second = 15;
  int consent_delay_ms = 1200;  // time a device takes to "accept" control
};

// Answers the listed devices: consent after a short delay, a started event,
// then a moving test picture as H.264; any other endpoint is closed at once
// because no relay is configured. `wake` is called from the service's threads.
std::unique_ptr<DeviceStreamService> make_demo_device_service(DemoDeviceOptions options,
                                                              std::function<void()> wake);

// The close text for an endpoint this machine cannot reach.
inline constexpr const char* no_relay_text = "No encrypted relay is configured on this machine";

}  // namespace kova::callstream
