#pragma once

// Every bound the toolkit applies to text and surfaces, with the reason for
// its value. Texts drawn here come from saved connections, remote peers and
// the clipboard, so none of them is trusted to be short or well formed.

#include <cstddef>

namespace kova::ui {

// A single-line field holds names, hosts, ports and search words (a host name
// is at most 253 bytes, an endpoint id 64). 4 KiB is far beyond any of them
// and keeps a hostile paste from making every keystroke and frame re-shape
// megabytes of text; a longer paste is cut at a character boundary.
inline constexpr std::size_t max_text_input_bytes = 4 * 1024;

// Text taken from the system clipboard is copied at most this far; every
// consumer (text inputs, terminal send-text) bounds it further.
inline constexpr std::size_t max_clipboard_bytes = 1024 * 1024;

// A single line of at most 8000 logical pixels at the smallest size we use
// (about 4 pixels per character) shows fewer than 2,000 characters; shaping
// more than 4096 code points only costs time because the rest is elided.
inline constexpr std::size_t max_single_line_code_points = 4096;

// Wrapped paragraphs (notices, problems, error details) are at most a few
// sentences; 4 KiB of text is a screen full.
inline constexpr std::size_t max_paragraph_bytes = 4 * 1024;

// A width-limited line keeps at most this many code points per logical pixel
// of its width per pixel of text size (about one per fifth of an em, the
// narrowest advance of the interface font), plus a few for marks: anything
// further is elided anyway, so it is not shaped.
inline constexpr double max_code_points_per_em = 5.0;
inline constexpr std::size_t extra_code_points_per_line = 16;

// cairo image surfaces address rows with a 32-bit stride and refuse sides
// above 32767; 16384 device pixels per side is a generous window (8000 logical
// pixels at scale 2) and keeps one frame under 1 GiB.
inline constexpr int max_surface_side_px = 16384;

// An image handed to draw_image (a remote desktop picture) is at most this
// large per side; the decoders enforce the same bound on what they accept.
inline constexpr int max_image_side_px = 16384;

}  // namespace kova::ui
