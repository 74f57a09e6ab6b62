// Recorded server-to-client streams for the replay benchmark: the 3.8
// exchange with security type None, ServerInit, then FramebufferUpdates.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace remote::rfb::bench {

struct StreamStats {
  std::uint64_t updates = 0;
  std::uint64_t rectangles = 0;
  std::uint64_t painted_pixels = 0;  // Raw and CopyRect areas, RRE background plus subrectangles
  std::uint64_t raw_bytes = 0;       // Raw payloads
};

// Walks a recorded stream's headers to count what the decoder will paint.
// Returns false when the stream is not in the recorded form.
bool scan_stream(std::span<const std::uint8_t> stream, StreamStats& stats);

// Writes a stream for a 1920x1080 framebuffer of the given kind ("raw",
// "copyrect" or "rre").
bool generate_stream(const std::string& kind, std::vector<std::uint8_t>& out);

}  // namespace remote::rfb::bench
