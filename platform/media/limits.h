#pragma once

#include <cstdint>

namespace kova::callstream {

// Largest picture we turn into RGBA. 8192 x 8192 covers every real device
// surface (8K is 7680 x 4320) while keeping one decoded frame under 256 MiB, so
// a hostile stream header cannot make us reserve unbounded memory.
inline constexpr std::uint32_t max_frame_dimension = 8192;

// Largest single encoded frame we accept for decoding. A 4K intra frame at
// high quality stays well below this; anything bigger is not a sane stream.
inline constexpr std::size_t max_encoded_frame_bytes = 32u * 1024 * 1024;

}  // namespace kova::callstream
