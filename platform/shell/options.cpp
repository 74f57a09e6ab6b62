#include "shell/options.h"

#include <charconv>
#include <cmath>

#include "shell/limits.h"

namespace kova::shell {

namespace {

std::optional<int> parse_edge(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  if (value < 1 || value > max_window_edge_px) return std::nullopt;
  return value;
}

std::optional<double> parse_scale(std::string_view text) {
  if (text.empty() || text.size() > 16) return std::nullopt;
  for (char c : text)
    if ((c < '0' || c > '9') && c != '.') return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value) || value < min_scale || value > max_scale) return std::nullopt;
  return value;
}

}  // namespace

std::optional<WindowSize> parse_window_size(std::string_view text) {
  const auto x = text.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  const auto w = parse_edge(text.substr(0, x));
  const auto h = parse_edge(text.substr(x + 1));
  if (!w || !h) return std::nullopt;
  return WindowSize{*w, *h};
}

std::expected<LaunchOptions, std::string> parse_launch_options(
    std::span<const std::string_view> args) {
  LaunchOptions out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::optional<std::string_view> inline_value;
    if (arg.starts_with("--")) {
      if (const auto eq = arg.find('='); eq != std::string_view::npos) {
        inline_value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    const bool takes_value =
        arg == "--review-state" || arg == "--size" || arg == "--scale" || arg == "--snapshot";
    if (!takes_value) {
      if (inline_value) return std::unexpected("option " + std::string(arg) + " takes no value");
      if (arg == "--headless") {
        out.headless = true;
      } else if (arg == "--trace") {
        out.trace = true;
      } else if (arg == "--help" || arg == "-h") {
        out.help = true;
      } else {
        return std::unexpected("unknown argument: " + std::string(args[i]));
      }
      continue;
    }
    std::string_view value;
    if (inline_value) {
      value = *inline_value;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return std::unexpected("option " + std::string(arg) + " needs a value");
    }
    const auto repeated = [&] { return std::unexpected("option " + std::string(arg) + " given twice"); };
    if (arg == "--review-state") {
      if (out.review_state) return repeated();
      out.review_state = std::string(value);
    } else if (arg == "--size") {
      if (out.size) return repeated();
      out.size = parse_window_size(value);
      if (!out.size)
        return std::unexpected("--size wants WIDTHxHEIGHT with each side from 1 to " +
                               std::to_string(max_window_edge_px) + ", not " + std::string(value));
    } else if (arg == "--scale") {
      if (out.scale) return repeated();
      out.scale = parse_scale(value);
      if (!out.scale)
        return std::unexpected("--scale wants a number from 0.25 to 8, not " + std::string(value));
    } else {
      if (out.snapshot) return repeated();
      if (value.empty()) return std::unexpected("--snapshot needs a file path");
      out.snapshot = std::filesystem::path(value);
    }
  }
  return out;
}

}  // namespace kova::shell
