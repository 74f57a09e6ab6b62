#include "ui_toolkit/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/fs.h"
#include "ui_toolkit/limits.h"

namespace kova::ui {

int device_side(double logical, double scale) {
  double px = std::ceil(logical * scale - 1e-9);
  if (!(px >= 1)) return 1;  // also catches NaN
  if (px > max_surface_side_px) return max_surface_side_px;
  return static_cast<int>(px);
}

Result<Canvas> Canvas::create(Size logical, double scale) {
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  int w = device_side(logical.width, scale);
  int h = device_side(logical.height, scale);
  SurfacePtr s{cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)};
  if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) {
    return std::unexpected(Error{ErrorCode::SurfaceFailed,
                                 "cannot create a " + std::to_string(w) + "x" + std::to_string(h) +
                                     " image surface: " +
                                     cairo_status_to_string(cairo_surface_status(s.get()))});
  }
  // The logical size is what fits the device surface, so painting never
  // addresses pixels outside it even after clamping.
  Size fitted{static_cast<double>(w) / scale, static_cast<double>(h) / scale};
  if (logical.width > 0 && logical.width < fitted.width) fitted.width = logical.width;
  if (logical.height > 0 && logical.height < fitted.height) fitted.height = logical.height;
  return Canvas(std::move(s), fitted, scale);
}

int Canvas::device_width() const { return cairo_image_surface_get_width(surface_.get()); }
int Canvas::device_height() const { return cairo_image_surface_get_height(surface_.get()); }

std::uint32_t Canvas::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= device_width() || y >= device_height()) return 0;
  cairo_surface_flush(surface_.get());
  const unsigned char* data = cairo_image_surface_get_data(surface_.get());
  auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface_.get()));
  std::uint32_t v = 0;
  std::memcpy(&v, data + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4, 4);
  // Undo premultiplication so tests compare against the colours they drew.
  std::uint32_t a = v >> 24;
  if (a == 0 || a == 255) return v;
  auto un = [a](std::uint32_t c) { return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a); };
  return (a << 24) | (un((v >> 16) & 0xff) << 16) | (un((v >> 8) & 0xff) << 8) | un(v & 0xff);
}

Result<std::string> Canvas::encode_png() const {
  std::string out;
  auto sink = [](void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  };
  cairo_status_t st = cairo_surface_write_to_png_stream(surface_.get(), sink, &out);
  if (st != CAIRO_STATUS_SUCCESS) {
    return std::unexpected(
        Error{ErrorCode::WriteFailed, std::string("PNG encoding failed: ") + cairo_status_to_string(st)});
  }
  return out;
}

Result<void> write_png(const Canvas& canvas, const std::string& path) {
  auto png = canvas.encode_png();
  if (!png) return std::unexpected(png.error());
  auto written = kova::write_with_mode(path, *png, 0644);
  if (!written) {
    return std::unexpected(
        Error{ErrorCode::WriteFailed, "cannot write " + path + ": " + written.error().message()});
  }
  return {};
}

const DrawnText* DrawLog::find(std::string_view text) const {
  for (const auto& t : texts) {
    if (t.text == text) return &t;
  }
  return nullptr;
}

std::vector<const DrawnText*> DrawLog::find_all_containing(std::string_view part) const {
  std::vector<const DrawnText*> out;
  for (const auto& t : texts) {
    if (t.text.find(part) != std::string::npos) out.push_back(&t);
  }
  return out;
}

namespace {

void set_color(cairo_t* cr, Color c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

void rounded_path(cairo_t* cr, Rect r, double radius) {
  double w = std::max(0.0, r.width());
  double h = std::max(0.0, r.height());
  radius = std::clamp(radius, 0.0, std::min(w, h) / 2);
  if (radius <= 0) {
    cairo_rectangle(cr, r.left, r.top, w, h);
    return;
  }
  constexpr double pi = std::numbers::pi;
  cairo_new_sub_path(cr);
  cairo_arc(cr, r.right - radius, r.top + radius, radius, -pi / 2, 0);
  cairo_arc(cr, r.right - radius, r.bottom - radius, radius, 0, pi / 2);
  cairo_arc(cr, r.left + radius, r.bottom - radius, radius, pi / 2, pi);
  cairo_arc(cr, r.left + radius, r.top + radius, radius, pi, 1.5 * pi);
  cairo_close_path(cr);
}

void polygon_path(cairo_t* cr, std::span<const Point> points) {
  if (points.empty()) return;
  cairo_move_to(cr, points[0].x, points[0].y);
  for (std::size_t i = 1; i < points.size(); ++i) cairo_line_to(cr, points[i].x, points[i].y);
  cairo_close_path(cr);
}

}  // namespace

Painter::Painter(Canvas& canvas, DrawLog* log)
    : cr_(cairo_create(canvas.surface())),
      scale_(canvas.scale()),
      size_(canvas.logical_size()),
      log_(log) {
  cairo_scale(cr_, scale_, scale_);
  clips_.push_back(Rect{0, 0, size_.width, size_.height});
}

Painter::~Painter() {
  cairo_surface_flush(cairo_get_target(cr_));
  cairo_destroy(cr_);
}

void Painter::clear(Color c) {
  cairo_save(cr_);
  cairo_reset_clip(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  set_color(cr_, c);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void Painter::fill_rect(Rect r, Color c) {
  if (r.empty()) return;
  cairo_rectangle(cr_, r.left, r.top, r.width(), r.height());
  set_color(cr_, c);
  cairo_fill(cr_);
}

void Painter::fill_rounded(Rect r, double radius, Color c) {
  if (r.empty()) return;
  rounded_path(cr_, r, radius);
  set_color(cr_, c);
  cairo_fill(cr_);
}

void Painter::stroke_rounded(Rect r, double radius, double width, Color c) {
  if (r.empty() || width <= 0) return;
  double half = width / 2;
  rounded_path(cr_, r.inset(half, half), std::max(0.0, radius - half));
  cairo_set_line_width(cr_, width);
  set_color(cr_, c);
  cairo_stroke(cr_);
}

void Painter::fill_circle(Point center, double radius, Color c) {
  if (radius <= 0) return;
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, center.x, center.y, radius, 0, 2 * std::numbers::pi);
  set_color(cr_, c);
  cairo_fill(cr_);
}

void Painter::stroke_circle(Point center, double radius, double width, Color c) {
  if (radius <= 0 || width <= 0) return;
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, center.x, center.y, radius, 0, 2 * std::numbers::pi);
  cairo_set_line_width(cr_, width);
  set_color(cr_, c);
  cairo_stroke(cr_);
}

void Painter::line(Point a, Point b, double width, Color c) {
  if (width <= 0) return;
  cairo_move_to(cr_, a.x, a.y);
  cairo_line_to(cr_, b.x, b.y);
  cairo_set_line_width(cr_, width);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
  set_color(cr_, c);
  cairo_stroke(cr_);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
}

void Painter::fill_polygon(std::span<const Point> points, Color c) {
  if (points.size() < 3) return;
  polygon_path(cr_, points);
  set_color(cr_, c);
  cairo_fill(cr_);
}

void Painter::stroke_polygon(std::span<const Point> points, double width, Color c) {
  if (points.size() < 2 || width <= 0) return;
  polygon_path(cr_, points);
  cairo_set_line_width(cr_, width);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  set_color(cr_, c);
  cairo_stroke(cr_);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER);
}

void Painter::hairline(Point a, Point b, Color c) {
  // Snap to device pixel centres so the line is one crisp pixel wide.
  auto snap = [this](double v) { return (std::floor(v * scale_) + 0.5) / scale_; };
  cairo_save(cr_);
  if (a.y == b.y) {
    a.y = b.y = snap(a.y);
  } else if (a.x == b.x) {
    a.x = b.x = snap(a.x);
  }
  cairo_move_to(cr_, a.x, a.y);
  cairo_line_to(cr_, b.x, b.y);
  cairo_set_line_width(cr_, 1.0 / scale_);
  set_color(cr_, c);
  cairo_stroke(cr_);
  cairo_restore(cr_);
}

void Painter::draw_image(const ImageView& image, Rect dest) {
  if (image.data == nullptr || image.width <= 0 || image.height <= 0 ||
      image.width > max_image_side_px || image.height > max_image_side_px ||
      image.stride < static_cast<std::size_t>(image.width) * 4 || dest.empty()) {
    return;
  }
  SurfacePtr src{cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height)};
  if (cairo_surface_status(src.get()) != CAIRO_STATUS_SUCCESS) return;
  unsigned char* out = cairo_image_surface_get_data(src.get());
  auto out_stride = static_cast<std::size_t>(cairo_image_surface_get_stride(src.get()));
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* in = image.data + static_cast<std::size_t>(y) * image.stride;
    auto* row = reinterpret_cast<std::uint32_t*>(out + static_cast<std::size_t>(y) * out_stride);
    for (int x = 0; x < image.width; ++x, in += 4) {
      std::uint32_t a = in[3];
      auto pm = [a](std::uint32_t v) { return (v * a + 127) / 255; };
      row[x] = (a << 24) | (pm(in[0]) << 16) | (pm(in[1]) << 8) | pm(in[2]);
    }
  }
  cairo_surface_mark_dirty(src.get());
  cairo_save(cr_);
  cairo_rectangle(cr_, dest.left, dest.top, dest.width(), dest.height());
  cairo_clip(cr_);
  cairo_translate(cr_, dest.left, dest.top);
  cairo_scale(cr_, dest.width() / image.width, dest.height() / image.height);
  cairo_set_source_surface(cr_, src.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void Painter::push_clip(Rect r) {
  Rect c = clips_.back().intersect(r);
  clips_.push_back(c);
  cairo_save(cr_);
  cairo_rectangle(cr_, c.left, c.top, c.width(), c.height());
  cairo_clip(cr_);
}

void Painter::pop_clip() {
  if (clips_.size() <= 1) return;  // unbalanced pop: keep the canvas clip
  clips_.pop_back();
  cairo_restore(cr_);
}

}  // namespace kova::ui
