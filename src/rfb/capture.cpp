#include "rfb/capture.h"

#include <png.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/fs.h"
#include "rfb/session.h"

namespace remote::rfb {
namespace {

void append_png_bytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void flush_nothing(png_structp) {}

// libpng reports failures through longjmp; everything with a destructor is
// created before setjmp so nothing is skipped on the way back.
bool write_png_rows(png_structp png, png_infop info, const VncFrame& frame,
                    std::vector<png_const_bytep>& rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, frame.width, frame.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (png_const_bytep row : rows)
    png_write_row(png, row);
  png_write_end(png, nullptr);
  return true;
}

std::optional<std::uint16_t> parse_port(std::string_view text) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

// Polls the session like the view does, until the first update has been
// applied or the session has ended.
std::expected<VncFrame, std::string> first_complete_frame(VncSession& session) {
  for (;;) {
    if (auto frame = session.take_frame(); frame && frame->generation >= 1) return *frame;
    const SessionStatus status = session.status();
    if (status.kind == SessionStatus::Kind::Failed) return std::unexpected(status.text);
    if (status.kind == SessionStatus::Kind::Ended) {
      return std::unexpected("the server closed the session before sending a picture");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

std::expected<std::vector<std::uint8_t>, std::string> encode_png(const VncFrame& frame) {
  std::vector<std::uint8_t> out;
  std::vector<png_const_bytep> rows(frame.height);
  for (std::size_t y = 0; y < rows.size(); ++y) {
    rows[y] = frame.pixels->data() + y * std::size_t{frame.width} * 4;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return std::unexpected("could not start the PNG encoder");
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return std::unexpected("could not start the PNG encoder");
  }
  png_set_write_fn(png, &out, append_png_bytes, flush_nothing);
  const bool ok = write_png_rows(png, info, frame, rows);
  png_destroy_write_struct(&png, &info);
  if (!ok) return std::unexpected("could not encode the picture as PNG");
  return out;
}

int vnc_capture_command(std::span<const std::string_view> args) {
  if (args.size() != 3) {
    std::fputs("usage: kova-remote vnc-capture HOST PORT OUT.png\n", stderr);
    return 2;
  }
  const auto port = parse_port(args[1]);
  if (!port) {
    std::fprintf(stderr, "invalid port: %.*s\n", static_cast<int>(args[1].size()), args[1].data());
    return 2;
  }
  std::optional<std::string> password;
  if (const char* p = std::getenv("REMOTE_VNC_PASSWORD")) password = p;
  auto session = VncSession::start(std::string(args[0]), *port, std::move(password));
  if (!session) {
    std::fprintf(stderr, "%s\n", session.error().c_str());
    return 1;
  }
  auto frame = first_complete_frame(*session);
  if (!frame) {
    std::fprintf(stderr, "%s\n", frame.error().c_str());
    return 1;
  }
  auto png = encode_png(*frame);
  if (!png) {
    std::fprintf(stderr, "%s\n", png.error().c_str());
    return 1;
  }
  const std::filesystem::path out(args[2]);
  auto written = kova::write_with_mode(
      out, std::string_view(reinterpret_cast<const char*>(png->data()), png->size()), 0644);
  if (!written) {
    std::fprintf(stderr, "%s: %s\n", out.c_str(), written.error().message().c_str());
    return 1;
  }
  return 0;
}

}  // namespace remote::rfb
