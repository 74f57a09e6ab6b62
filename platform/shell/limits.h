// Limits of the launch shell.
#pragma once

namespace kova::shell {

// Largest window edge accepted by --size, in logical pixels. Larger values
// would make the offscreen surface (4 bytes per pixel) exceed what any
// display can show and what a snapshot should allocate (16384^2 * 4 = 1 GiB).
inline constexpr int max_window_edge_px = 16384;

// Accepted --scale range; below 0.25 text is unreadable, above 8 a default
// window no longer fits any screen.
inline constexpr double min_scale = 0.25;
inline constexpr double max_scale = 8.0;

// Interval between frames while the application asks for animation frames.
inline constexpr int frame_interval_ms = 16;

// A snapshot waits at most this long for the application to stop asking for
// frames; a connecting session animates for as long as it connects.
inline constexpr int snapshot_settle_seconds = 2;

}  // namespace kova::shell
