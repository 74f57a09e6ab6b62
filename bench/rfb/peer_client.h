// The common C client library (libvncclient) reading the same recorded
// stream from the replay server, as the yardstick for our decoders.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace remote::rfb::bench {

struct PeerRun {
  double seconds = 0;         // connect to end of stream
  std::uint64_t updates = 0;  // counted by its end-of-update callback
};

// Connects to 127.0.0.1:`port` with a 32-bit pixel format equal to ours and
// the encodings Raw, CopyRect and RRE, and handles messages until the server
// ends the stream. Its final framebuffer (wire pixels) goes to `picture`
// when given. Nothing when the library refuses the handshake.
std::optional<PeerRun> peer_replay(std::uint16_t port, std::vector<std::uint8_t>* picture);

}  // namespace remote::rfb::bench
