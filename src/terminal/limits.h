#pragma once

#include <cstddef>
#include <cstdint>

namespace terminal {

// Parameter groups kept per control sequence. Nothing the screen understands
// uses more than two, and SGR lists from real programs stay well below this;
// further groups are parsed and dropped so a hostile sequence cannot grow
// memory.
inline constexpr std::size_t max_csi_param_groups = 32;

// A parameter stops growing here instead of overflowing; no row, column or
// count the screen uses comes near it, and saturating keeps "ESC [ 99999...9 A"
// a single clamped move rather than a long loop.
inline constexpr std::uint16_t max_csi_param_value = 65535;

// Intermediate bytes kept per escape or control sequence. Real sequences
// carry at most two; a sequence with more is malformed and is dropped whole.
inline constexpr std::size_t max_intermediate_bytes = 2;

// Screen size bounds. Sizes come from the application (80 x 24 for SSH), but
// a width times height product must never be able to exhaust memory, so the
// constructor clamps both sides to this.
inline constexpr unsigned max_screen_columns = 2048;
inline constexpr unsigned max_screen_rows = 2048;

}  // namespace terminal
