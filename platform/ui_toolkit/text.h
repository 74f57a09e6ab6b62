#pragma once

// Text measuring and drawing with pango: real shaping, bidirectional text and
// font fallback. The interface font is pinned to "Noto Sans" and the terminal
// font to "DejaVu Sans Mono" (Debian's fonts-noto-core and fonts-dejavu-core),
// so every machine lays text out the same. Lengths are logical pixels; a
// text's origin is the top-left corner of its line box.
//
// Texts may be hostile (any length, any script, control characters, invalid
// UTF-8): single lines are sanitised (controls shown as U+FFFD, line breaks
// as spaces, capped at max_single_line_code_points) and never drawn outside
// their width limit. Owned and used by the UI thread only.

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui_toolkit/canvas.h"
#include "ui_toolkit/error.h"
#include "ui_toolkit/geometry.h"
#include "ui_toolkit/theme.h"

namespace kova::ui {

inline constexpr const char* interface_font_family = "Noto Sans";
inline constexpr const char* terminal_font_family = "DejaVu Sans Mono";

enum class FontFace { Interface, Terminal };

struct TextStyle {
  double size = 13;  // logical pixels
  int weight = 0;    // 0 regular .. 3 heaviest
  FontFace face = FontFace::Interface;
};

enum class Align { Start, Center, End };

// Makes `text` safe for one line: invalid UTF-8 and control characters become
// U+FFFD, tabs and line breaks become spaces, and at most
// max_single_line_code_points code points are kept.
std::string sanitize_line(std::string_view text);

class TextRenderer {
 public:
  // Fails with FontMissing when the pinned interface family is not installed.
  static Result<TextRenderer> create();
  TextRenderer(TextRenderer&&) noexcept;
  TextRenderer& operator=(TextRenderer&&) noexcept;
  ~TextRenderer();

  // Device pixels per logical pixel; glyphs are rasterised for it. Drawing
  // through a Painter of another scale adopts the painter's scale first.
  void set_scale(double scale) const;
  double scale() const;

  // Size of `text` on one line (after sanitize_line).
  Size measure(std::string_view text, TextStyle style) const;
  // Height of a line box of this style.
  double line_height(TextStyle style) const;

  // Draws one line at `origin`. With a finite `max_width`, a longer text is
  // cut with "…" and nothing is painted beyond origin.x + max_width. Returns
  // the drawn size.
  Size draw(Painter& p, std::string_view text, Point origin, TextStyle style, Color color,
            double max_width = std::numeric_limits<double>::infinity()) const;
  // One line centred (Align::Center) or aligned inside `box`, vertically
  // centred, ellipsised at the box width.
  Size draw_in(Painter& p, std::string_view text, Rect box, TextStyle style, Color color,
               Align align = Align::Center) const;

  // A paragraph wrapped at `width` (line breaks kept, at most
  // max_paragraph_bytes). Returns its height.
  double measure_wrapped(std::string_view text, double width, TextStyle style) const;
  double draw_wrapped(Painter& p, std::string_view text, Point origin, double width,
                      TextStyle style, Color color, Align align = Align::Start) const;

  // Editing support for one line of already sanitised text (no
  // sanitising, no cap): the byte offset of the caret position nearest `x`,
  // the x of the caret at byte offset `index`, and the x ranges covering the
  // bytes [start, end) (several for mixed-direction text).
  std::size_t index_at(std::string_view text, TextStyle style, double x) const;
  double caret_x(std::string_view text, TextStyle style, std::size_t index) const;
  std::vector<std::pair<double, double>> x_ranges(std::string_view text, TextStyle style,
                                                  std::size_t start, std::size_t end) const;
  // Draws raw single-line text (as for index_at) with bytes [underline_start,
  // underline_end) underlined, used for input-method composition.
  void draw_raw(Painter& p, std::string_view text, Point origin, TextStyle style, Color color,
                std::size_t underline_start = 0, std::size_t underline_end = 0) const;

  struct Impl;

 private:
  explicit TextRenderer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace kova::ui
