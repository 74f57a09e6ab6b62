// `kova-remote vnc-capture HOST PORT OUT.png`: connects with the session
// client (password from REMOTE_VNC_PASSWORD), waits for the first complete
// framebuffer and writes it as an RGBA PNG.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rfb/framebuffer.h"

namespace remote::rfb {

// PNG bytes of a snapshot (8-bit RGBA, no interlace).
std::expected<std::vector<std::uint8_t>, std::string> encode_png(const VncFrame& frame);

// Arguments after the subcommand name: HOST PORT OUT.png. Returns the exit
// status: 0 written, 1 session or file failure (its text on stderr), 2 usage.
int vnc_capture_command(std::span<const std::string_view> args);

}  // namespace remote::rfb
