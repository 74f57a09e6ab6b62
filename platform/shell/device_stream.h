// Requests an application queues for the platform's device-control service
// and the events the service delivers back, tagged with the stream request
// number the application chose.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kova::shell {

struct OpenStream {
  std::array<std::uint8_t, 32> endpoint{};  // the device's public key
  std::uint64_t stream_request = 0;
};

// One pointer or keyboard input for the device. `kind`: 0 pointer move
// (x, y in device-frame pixels), 1 button, 2 key (pressed, Linux input code),
// 3 press marker.
struct DeviceInput {
  std::uint8_t kind = 0;
  double x = 0;
  double y = 0;
  bool pressed = false;
  std::uint32_t code = 0;
  std::uint64_t stream_request = 0;
};

struct CloseStream {
  std::uint64_t stream_request = 0;
};

using PlatformRequest = std::variant<OpenStream, DeviceInput, CloseStream>;

struct DeviceStreamEvent {
  enum class Kind : std::uint8_t { Other = 0, Started = 1, Frame = 2, Closed = 3 };
  std::uint64_t stream_request = 0;
  Kind kind = Kind::Other;
  std::uint32_t width = 0;          // Started
  std::uint32_t height = 0;         // Started
  std::vector<std::uint8_t> bytes;  // Frame: one encoded picture
  std::string reason;               // Closed
};

}  // namespace kova::shell
