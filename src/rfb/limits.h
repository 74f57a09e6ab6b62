// Every bound the client applies to numbers taken from the server.
//
// Each value is compared with `>`: the number itself is allowed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace remote::rfb {

// 4096 x 4096 pixels, 64 MiB of RGBA: larger than any real desktop we reach,
// small enough that a lying ServerInit cannot make us reserve unbounded memory.
inline constexpr std::uint64_t max_framebuffer_pixels = 16'777'216;

// A desktop name is a label for humans; 16 KiB is far beyond any real one.
inline constexpr std::uint32_t max_server_name_bytes = 16'384;

// Reason strings (security failures) are one sentence; a server cannot make
// us wait for or keep more than this.
inline constexpr std::uint32_t max_reason_bytes = 16'384;

// Real servers split an update into at most a few hundred rectangles; 4096
// bounds the header loop of a single message.
inline constexpr std::uint16_t max_update_rectangles = 4096;

// One Raw rectangle may cover the whole largest framebuffer at 4 bytes per
// pixel, and no more: this is the biggest payload buffer we ever reserve.
inline constexpr std::uint64_t max_raw_payload_bytes = 67'108'864;

// The CopyRect temporary holds one pixel per destination pixel; bounded like
// the framebuffer itself.
inline constexpr std::uint64_t max_copy_rect_pixels = 16'777'216;

// Each RRE subrectangle record is kept until the whole rectangle is read.
inline constexpr std::uint32_t max_rre_subrectangles = 1'000'000;

// Pixel writes of one RRE rectangle: the background, each subrectangle and the
// sum of all subrectangles are each bounded so that a few wire bytes cannot
// drive billions of writes.
inline constexpr std::uint64_t max_rre_pixel_work = 16'777'216;

// ServerCutText and colour-map bodies are discarded in pieces of this size, so
// their wire lengths never decide how much we reserve.
inline constexpr std::size_t discard_chunk_bytes = 65'536;

// Socket receive buffer of the session: large enough that a batch of small
// messages, or any Raw row (65535 pixels of 4 bytes), costs one system call
// and fits without a second buffer, small enough to stay in the second-level
// cache while its rows are converted.
inline constexpr std::size_t socket_buffer_bytes = 262'144;

// Input events waiting for the worker; the user-interface side only tries to
// put, so a stalled server makes it drop events instead of blocking.
inline constexpr std::size_t input_queue_capacity = 256;

// Poll interval of the message loop: how long a queued input event can wait
// while the server is silent, and how soon a dropped handle is noticed.
inline constexpr int read_poll_interval_ms = 100;

// While the server is silent, ask for an incremental update this often so the
// picture keeps flowing without flooding the server.
inline constexpr int update_request_interval_ms = 500;

}  // namespace remote::rfb
