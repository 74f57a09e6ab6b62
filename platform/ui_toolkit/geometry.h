#pragma once

// Plain geometry in logical pixels (device pixels divided by the window's
// scale factor). Rectangles are half-open: left <= x < right.

#include <algorithm>

namespace kova::ui {

struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;

  static Rect from_xywh(double x, double y, double w, double h) { return {x, y, x + w, y + h}; }

  double width() const { return right - left; }
  double height() const { return bottom - top; }
  double center_x() const { return (left + right) / 2; }
  double center_y() const { return (top + bottom) / 2; }
  bool empty() const { return !(right > left && bottom > top); }
  bool contains(Point p) const { return left <= p.x && p.x < right && top <= p.y && p.y < bottom; }
  bool intersects(const Rect& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
  Rect intersect(const Rect& o) const {
    Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
           std::min(bottom, o.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
  }
  Rect inset(double dx, double dy) const { return {left + dx, top + dy, right - dx, bottom - dy}; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace kova::ui
