// Limits of the automation endpoint. Everything a client sends is bounded
// before it is kept, so a hostile or broken client of the same user can slow
// its own requests down but cannot grow the program's memory.
#pragma once

#include <cstddef>

namespace kova::automation {

// Longest request line, newline excluded. The largest legitimate request is
// one change or operation whose JSON the action library accepts up to
// 1 MiB (max_invocation_json_bytes), plus the envelope; 1 MiB + 64 KiB
// leaves room for escaping overhead of short texts. A longer line is
// refused as soon as it passes this bound, without reading it whole.
inline constexpr std::size_t max_request_line_bytes = 1024 * 1024 + 64 * 1024;

// Deepest JSON nesting accepted in a request. Requests are flat objects
// with at most one embedded change (a few levels); 64 rejects pathological
// nesting before any tree is built.
inline constexpr std::size_t max_request_depth = 64;

// Simultaneous clients. Automation scripts hold one connection each; 32
// covers a test harness plus assistive tools, and bounds the descriptors
// and buffers one user can make the program keep.
inline constexpr std::size_t max_clients = 32;

// Replies queued for one client that has not read them. A resource list of
// 10,000 saved connections is about 10 MiB of JSON; 32 MiB allows a few of
// those in flight. A client past this bound is not reading and is dropped.
inline constexpr std::size_t max_client_outbox_bytes = 32 * 1024 * 1024;

// Bytes read from one client per serve_ready call, so one busy client
// cannot hold the UI thread for long; what is left is read at the next call
// (the descriptor stays readable).
inline constexpr std::size_t max_read_per_turn_bytes = 256 * 1024;

// Background invocations the endpoint polls on clients' behalf. The
// application runs at most one background operation at a time; a few more
// allow a refused start to be reported while one is pending.
inline constexpr std::size_t max_pending_invocations = 16;

// Longest reply the command-line client accepts, so a wrong peer on the
// socket path cannot make it allocate without bound.
inline constexpr std::size_t max_reply_line_bytes = 256 * 1024 * 1024;

// Longest path the server or client accepts for a socket: sockaddr_un holds
// 108 bytes including the terminating NUL.
inline constexpr std::size_t max_socket_path_bytes = 107;

}  // namespace kova::automation
