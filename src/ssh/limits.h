// Every bound of the SSH transport, with the reason for its number.
#pragma once

#include <cstddef>
#include <cstdint>

namespace remote::ssh {

// One input is one key press or one automation text; 64 KiB covers a pasted
// page while keeping 256 queued inputs under 16 MiB.
inline constexpr std::size_t max_input_bytes = 65536;
// The limit as the user reads it in the "exceeds the 64 KiB" sentence.
inline constexpr std::size_t max_input_kib = max_input_bytes / 1024;

// Inputs waiting for the worker. The user-interface thread never waits, so a
// stalled server shows up as "busy" once this many are queued.
inline constexpr std::size_t input_queue_capacity = 256;

// Output chunks held between two repaints. A full queue makes the worker stop
// reading, and SSH flow control then slows the server.
inline constexpr std::size_t output_queue_capacity = 128;

// Largest chunk the worker takes from the channel at once: the maximum packet
// size we announce, so one chunk is at most one data message.
inline constexpr std::size_t max_output_chunk_bytes = 32768;

// Typed input is written to the channel through a copy buffer of this size.
inline constexpr std::size_t write_copy_bytes = 8192;

// The trust file holds a few hundred bytes per pin; a file beyond 16 MiB is
// not a trust file, and reading it whole would only waste memory.
inline constexpr std::uintmax_t max_known_hosts_file_bytes = 16u * 1024u * 1024u;

// The JSON nesting of a real trust file is four levels; a hostile file with
// deep nesting must not exhaust the parser's stack.
inline constexpr std::size_t max_known_hosts_depth = 64;

// A session in which nothing was exchanged for an hour ends by itself.
inline constexpr int inactivity_timeout_s = 3600;

// Re-key after this much data in either direction, or after this long.
inline constexpr std::uint64_t rekey_data_bytes = std::uint64_t{1} << 30;
inline constexpr std::uint32_t rekey_time_s = 3600;

// The pseudo-terminal size the screen model is created with.
inline constexpr std::uint16_t terminal_columns = 80;
inline constexpr std::uint16_t terminal_rows = 24;

}  // namespace remote::ssh
