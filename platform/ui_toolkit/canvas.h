#pragma once

// The image every frame is painted into: a cairo ARGB32 image surface at
// device pixels, addressed in logical pixels through the scale factor.
// The window shows it; headless runs keep it for snapshots. Owned and used by
// the UI thread only.

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ui_toolkit/error.h"
#include "ui_toolkit/geometry.h"
#include "ui_toolkit/theme.h"

namespace kova::ui {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// Device size for a logical size: ceil(logical x scale), at least 1 and at
// most max_surface_side_px per side.
int device_side(double logical, double scale);

class Canvas {
 public:
  // A canvas of `logical` size at `scale` device pixels per logical pixel.
  // Sides are clamped to [1, max_surface_side_px] device pixels, so a 1x1 or
  // 8000-wide window always gets a surface.
  static Result<Canvas> create(Size logical, double scale);

  Size logical_size() const { return logical_; }
  double scale() const { return scale_; }
  int device_width() const;
  int device_height() const;

  // Pixel at device coordinates as straight 0xAARRGGBB; 0 outside the canvas.
  std::uint32_t pixel(int x, int y) const;

  cairo_surface_t* surface() const { return surface_.get(); }

  // PNG bytes of the whole canvas at device pixels.
  Result<std::string> encode_png() const;

 private:
  Canvas(SurfacePtr s, Size logical, double scale)
      : surface_(std::move(s)), logical_(logical), scale_(scale) {}
  SurfacePtr surface_;
  Size logical_;
  double scale_ = 1;
};

// Writes `canvas` as a PNG file, whole (temporary file, fsync, rename), mode 0644.
Result<void> write_png(const Canvas& canvas, const std::string& path);

// One text drawn through a Painter, for tests that assert "this text is
// drawn here". `rect` is the logical rectangle the text occupies after
// clipping to the painter's clip and the line's width limit.
struct DrawnText {
  std::string text;
  Rect rect;
  double size = 0;
  int weight = 0;
  Color color;
};

// Records every text drawn by a Painter that has it attached.
struct DrawLog {
  std::vector<DrawnText> texts;

  // The first record whose text equals `text`, or nullptr.
  const DrawnText* find(std::string_view text) const;
  // Every record whose text contains `part`.
  std::vector<const DrawnText*> find_all_containing(std::string_view part) const;
};

// A straight RGBA picture (4 bytes per pixel: red, green, blue, alpha; rows
// top to bottom), as remote desktops deliver it. Not owned.
struct ImageView {
  const std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  std::size_t stride = 0;  // bytes per row, at least width * 4
};

// Drawing operations in logical pixels over a Canvas. A Painter lives for one
// frame; it must not outlive the canvas.
class Painter {
 public:
  explicit Painter(Canvas& canvas, DrawLog* log = nullptr);
  ~Painter();
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  double scale() const { return scale_; }
  Size size() const { return size_; }
  DrawLog* log() const { return log_; }
  cairo_t* cairo() const { return cr_; }
  // The current clip in logical pixels (the canvas when nothing is pushed).
  Rect clip() const { return clips_.back(); }

  void clear(Color c);
  void fill_rect(Rect r, Color c);
  void fill_rounded(Rect r, double radius, Color c);
  // Strokes `width` wide entirely inside `r`, so outlines never grow a card.
  void stroke_rounded(Rect r, double radius, double width, Color c);
  void fill_circle(Point center, double radius, Color c);
  void stroke_circle(Point center, double radius, double width, Color c);
  void line(Point a, Point b, double width, Color c);
  void fill_polygon(std::span<const Point> points, Color c);
  void stroke_polygon(std::span<const Point> points, double width, Color c);
  // A line exactly one device pixel thick, snapped to the pixel grid.
  void hairline(Point a, Point b, Color c);
  // Draws the picture scaled into `dest` with bilinear filtering. Pictures
  // with a zero side, a side above max_image_side_px or a short stride are
  // not drawn.
  void draw_image(const ImageView& image, Rect dest);

  // Narrows drawing to `r` (intersected with the current clip) until the
  // matching pop_clip.
  void push_clip(Rect r);
  void pop_clip();

  // Where this frame wants typed text: the caret of the focused input (or
  // the area of a live terminal), in logical pixels, so that the window
  // turns text input on and places an input method's window beside it.
  // Nothing when no drawn element takes text; the last call of a frame wins.
  void set_text_input_area(Rect area) { text_input_area_ = area; }
  std::optional<Rect> text_input_area() const { return text_input_area_; }

 private:
  cairo_t* cr_ = nullptr;
  double scale_ = 1;
  Size size_;
  DrawLog* log_ = nullptr;
  std::vector<Rect> clips_;
  std::optional<Rect> text_input_area_;
};

}  // namespace kova::ui
