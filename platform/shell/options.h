// The launch options the shell reads from the command line.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kova::shell {

struct WindowSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const WindowSize&, const WindowSize&) = default;
};

struct LaunchOptions {
  std::optional<std::string> review_state;  // --review-state NAME
  bool headless = false;                    // --headless
  std::optional<WindowSize> size;           // --size WxH
  std::optional<double> scale;              // --scale F
  std::optional<std::filesystem::path> snapshot;  // --snapshot PATH
  bool help = false;                        // --help or -h
  // --trace: the loop writes its events ("ready", "document changed",
  // "quit") to standard error, one per line, for scripts and tests that
  // drive a running program.
  bool trace = false;
  friend bool operator==(const LaunchOptions&, const LaunchOptions&) = default;
};

// Parses the arguments after the program name. Options take their value as
// the next argument or after "=" (--size=800x600). Errors name the argument:
// an unknown option, a missing value, a size outside 1..max_window_edge_px,
// a scale outside [min_scale, max_scale], a repeated option.
std::expected<LaunchOptions, std::string> parse_launch_options(std::span<const std::string_view> args);

// "WxH" with decimal digits only; nothing when malformed or out of range.
std::optional<WindowSize> parse_window_size(std::string_view text);

}  // namespace kova::shell
