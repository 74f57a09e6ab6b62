// The session screen: the status card while a session is set up or after it
// ends, and, once connected, the header with the session controls above the
// live picture (terminal grid, remote desktop or device workspace). UI thread
// only; the workers are read through their non-blocking handles.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/messages.h"
#include "app/state.h"
#include "device/input.h"
#include "terminal/screen.h"
#include "ui/paint_context.h"
#include "ui_toolkit/canvas.h"
#include "ui_toolkit/geometry.h"

namespace remote::ui {

struct ViewState;

// The picture last taken from the live session, kept as one premultiplied
// cairo surface. A new picture is converted into it once (the one copy a
// shown frame costs) and the snapshot is released at once, so the VNC worker
// can keep painting its framebuffer in place instead of copying it; repaints
// without a new picture copy nothing.
class PictureSurface {
 public:
  // Converts straight RGBA rows (width * 4 bytes each) into the surface,
  // reusing it when the size is unchanged. False (and nothing kept) when the
  // size is zero, above the toolkit's image limit or the buffer too short.
  bool update(const std::uint8_t* rgba, std::size_t bytes, std::uint32_t width,
              std::uint32_t height);
  void clear();
  bool has_picture() const { return surface_ != nullptr; }
  // Bytes written into the surface by update() since it was made: the cost
  // of the pictures taken, for tests and benchmarks.
  std::uint64_t bytes_copied() const { return bytes_copied_; }
  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  // Straight 0xAARRGGBB of the kept picture at (x, y); 0 outside.
  std::uint32_t pixel(std::uint32_t x, std::uint32_t y) const;
  // Draws the picture scaled into `dest` (bilinear).
  void draw(kova::ui::Painter& p, kova::ui::Rect dest) const;

 private:
  kova::ui::SurfacePtr surface_;
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  std::uint64_t bytes_copied_ = 0;
};

// Runs of one terminal row: consecutive cells of the same colour and bold
// flag, as UTF-8 text with its first column. Rebuilt only for rows whose
// cells changed since the last paint.
struct TerminalRun {
  unsigned column = 0;
  std::string text;
  std::optional<std::uint8_t> colour;  // palette index, none: foreground
  bool bold = false;
};
std::vector<TerminalRun> row_runs(std::span<const terminal::TerminalCell> cells);

struct TerminalRowCache {
  std::vector<terminal::TerminalCell> cells;
  std::vector<TerminalRun> runs;
};

// Presentation state of the session screen, reset whenever the session
// generation changes or the session itself goes or changes kind (a session
// started or ended; the kind also covers the exhausted generation, which no
// longer moves).
struct SessionView {
  std::uint64_t generation = 0;
  std::optional<app::SessionState::Kind> session_kind;
  PictureSurface picture;                    // current_image
  std::optional<kova::ui::Rect> image_rect;  // where it was last drawn
  std::optional<device::FrameSize> device_frame_size;
  std::uint8_t vnc_buttons = 0;                 // the VNC pointer button mask
  std::vector<TerminalRowCache> terminal_rows;  // per-row runs, by cells
  std::uint64_t pictures_taken = 0;             // new pictures since the session started
};

// Clears the view when the app's session generation moved on, or the session
// went away or changed kind, so no picture outlives its session.
void follow_session(const app::AppState& app, SessionView& view);

// Picture intake at the start of a repaint of the session screen: the newest
// VNC frame or decoded device picture, or pending SSH output into the
// session's terminal. Requests another repaint when anything arrived.
void take_session_output(app::AppState& app, SessionView& view);

// Draws the session screen into the screen area (`content_left` to the
// content's right edge) and registers its buttons.
void paint_session(const app::AppState& app, ViewState& view, PaintContext& ctx);

// --- Pure pieces, exposed for tests ---

// Where a w x h picture is drawn in `body`: scaled to fit (enlarged or
// reduced, aspect kept) or 1:1 with each side compressed to the body, centred.
kova::ui::Rect picture_rect(kova::ui::Rect body, std::uint32_t w, std::uint32_t h, bool fit);

// Framebuffer coordinates of (x, y) inside the drawn rectangle, for a
// framebuffer of w x h; nothing outside it (right and bottom exclusive), for
// an empty rectangle or a zero size.
std::optional<std::pair<std::uint16_t, std::uint16_t>> map_to_framebuffer(kova::ui::Rect drawn,
                                                                          std::uint32_t w,
                                                                          std::uint32_t h,
                                                                          kova::ui::Point at);

// The VNC pointer mapping: only for a connected VNC session with a drawn
// picture and a known framebuffer size.
std::optional<std::pair<std::uint16_t, std::uint16_t>> map_vnc_pointer(const app::AppState& app,
                                                                       const SessionView& view,
                                                                       kova::ui::Point at);
// The device pointer mapping: only for a connected device session with a
// drawn picture and a known frame size.
std::optional<device::PointerMove> map_device_pointer(const app::AppState& app,
                                                      const SessionView& view, kova::ui::Point at);

// "user@host:port" for SSH, "host:port" for VNC and RDP (no port when 0),
// "Kova device " and the first 12 characters of the endpoint for devices.
std::string target_summary(const profiles::ConnectionProfile& profile);

// One status card's parameters.
struct StatusCard {
  enum class Tone : std::uint8_t { Neutral = 0, InProgress = 1, Error = 2 };
  std::string pill;
  Tone tone = Tone::Neutral;
  std::vector<std::string> details;
  bool offer_edit = false;
  // Left to right: host-key button, "Retry", "Edit profile", "Back to list".
  std::vector<std::pair<std::string, app::AppMessage>> buttons;
};
// The card for the current session of `profile`; none when the session is
// connected (header and body are drawn instead).
std::optional<StatusCard> status_card(const app::AppState& app,
                                      const profiles::ConnectionProfile& profile);

// The body below the header (or the whole screen area in full screen).
kova::ui::Rect session_body(const app::AppState& app);

}  // namespace remote::ui
