#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ui_toolkit/canvas.h"
#include "ui_toolkit/limits.h"
#include "ui_toolkit/text.h"

namespace kova::ui {
namespace {

TextRenderer renderer() {
  auto tr = TextRenderer::create();
  if (!tr) {
    ADD_FAILURE() << tr.error().message;
    std::abort();
  }
  return std::move(*tr);
}

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

TEST(TextRenderer, MeasuresWithThePinnedFonts) {
  TextRenderer tr = renderer();
  Size hg = tr.measure("Hg", {16, 2});
  EXPECT_GT(hg.height, 16);
  EXPECT_LT(hg.height, 32);
  EXPECT_DOUBLE_EQ(tr.line_height({16, 2}), hg.height);

  double regular = tr.measure("Remote Machines", {14, 0}).width;
  EXPECT_GT(tr.measure("Remote Machines", {14, 3}).width, regular);
  EXPECT_NEAR(tr.measure("Remote Machines", {28, 0}).width, 2 * regular, 0.05 * regular);
  EXPECT_GT(tr.measure("Remote Machines!", {14, 0}).width, regular);
  EXPECT_EQ(tr.measure("", {14, 0}).width, 0);

  // Terminal cells: 14-pixel monospace advances about 8.4 per character.
  double mono = tr.measure(std::string(100, 'x'), {14, 0, FontFace::Terminal}).width;
  EXPECT_NEAR(mono / 100, 8.4, 0.1);
  EXPECT_DOUBLE_EQ(tr.measure(std::string(100, 'i'), {14, 0, FontFace::Terminal}).width, mono);
}

TEST(TextRenderer, LayoutDoesNotDependOnScale) {
  TextRenderer tr = renderer();
  double at1 = tr.measure("Search machines\u2026", {13, 0}).width;
  tr.set_scale(2);
  EXPECT_EQ(tr.scale(), 2);
  EXPECT_NEAR(tr.measure("Search machines\u2026", {13, 0}).width, at1, 0.01 * at1);
  // Drawing adopts the painter's scale.
  auto canvas = Canvas::create({100, 30}, 3);
  ASSERT_TRUE(canvas);
  Painter p(*canvas);
  tr.draw(p, "x", {0, 0}, {13, 0}, Color{});
  EXPECT_EQ(tr.scale(), 3);
}

TEST(TextRenderer, SanitizesSingleLines) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"plain", "Build Box", "Build Box"},
      {"line breaks and tabs", "a\nb\r\tc", "a b  c"},
      {"control characters", std::string("x\x01\x1b[31m\x7f", 8), "x\uFFFD\uFFFD[31m\uFFFD"},
      {"C1 control", "a\u0085b\u009bc", "a b\uFFFDc"},
      {"invalid bytes", "\xff\xc0\x80z\xed\xa0\x80", "\uFFFD\uFFFD\uFFFDz\uFFFD\uFFFD\uFFFD"},
      {"truncated sequence", "ab\xe2\x82", "ab\uFFFD\uFFFD"},
      {"line separator", "a\u2028b", "a b"},
      {"direction overrides", "\u202Eevil\u202C \u2067x\u2069", "\uFFFDevil\uFFFD \uFFFDx\uFFFD"},
      {"kept scripts", "\u05e9\u05dc\u05d5\u05dd \U0001F680 \u65e5\u672c", "\u05e9\u05dc\u05d5\u05dd \U0001F680 \u65e5\u672c"},
      {"cap", std::string(max_single_line_code_points + 10, 'a'),
       std::string(max_single_line_code_points, 'a') + "\u2026"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(sanitize_line(c.in), c.out);
  }
}

// Hostile names drawn into a narrow box never paint outside it.
TEST(TextRenderer, HostileTextStaysInsideItsBox) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"10,000 wide letters", std::string(10000, 'W')},
      {"right-to-left", repeat("\u05e9\u05e8\u05ea \u0645\u0631\u062d\u0628\u0627 ", 300)},
      {"bidi override", "\u202Egnp.exe\u202C then more text after the override"},
      {"emoji", repeat("\U0001F468\u200D\U0001F469\u200D\U0001F467\U0001F44D\U0001F3FD", 500)},
      {"control characters", repeat(std::string("\x01\x1b[2J\n\r\t\x7f", 9), 300)},
      {"invalid UTF-8", repeat("\xff\xfe\xc0\x80", 2500)},
      {"combining marks", "e" + repeat("\u0301", 5000)},
      {"one huge glyph run", repeat("\u0BB6\u0BCD\u0BB0\u0BC0", 2500)},
  };
  const Rect box{50, 20, 170, 60};
  TextRenderer tr = renderer();
  for (double scale : {1.0, 2.0}) {
    tr.set_scale(scale);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " at scale " + std::to_string(scale));
      auto canvas = Canvas::create({240, 80}, scale);
      ASSERT_TRUE(canvas);
      DrawLog log;
      {
        Painter p(*canvas, &log);
        p.clear(Color::rgb(0x000000));
        tr.draw(p, c.text, {box.left, box.top}, {16, 2}, Color::rgb(0xffffff), box.width());
        tr.draw_wrapped(p, c.text, {box.left, box.bottom}, box.width(), {12, 0},
                        Color::rgb(0xffffff));
      }
      ASSERT_EQ(log.texts.size(), 2u);
      EXPECT_GE(log.texts[0].rect.left, box.left);
      EXPECT_LE(log.texts[0].rect.right, box.right);
      EXPECT_LE(log.texts[1].rect.right, box.right);
      int lit_inside = 0;
      cairo_surface_flush(canvas->surface());
      const unsigned char* data = cairo_image_surface_get_data(canvas->surface());
      auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(canvas->surface()));
      for (int y = 0; y < canvas->device_height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < canvas->device_width(); ++x) {
          bool inside = x >= box.left * scale && x < box.right * scale;
          std::uint32_t px = row[x];
          if (!inside) {
            ASSERT_EQ(px, 0xff000000u) << "painted outside the box at " << x << "," << y;
          } else if (px != 0xff000000u) {
            ++lit_inside;
          }
        }
      }
      EXPECT_GT(lit_inside, 0) << "nothing visible was drawn";
    }
  }
}

TEST(TextRenderer, CaretPositionsRoundTrip) {
  TextRenderer tr = renderer();
  TextStyle style{14, 0};
  std::string text = "host-01.example";
  EXPECT_EQ(tr.caret_x(text, style, 0), 0);
  EXPECT_NEAR(tr.caret_x(text, style, text.size()), tr.measure(text, style).width, 0.01);
  for (std::size_t i = 0; i <= text.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tr.index_at(text, style, tr.caret_x(text, style, i) + 0.2), i);
  }
  EXPECT_EQ(tr.index_at(text, style, -50), 0u);
  EXPECT_EQ(tr.index_at(text, style, 5000), text.size());
  auto ranges = tr.x_ranges(text, style, 0, 4);
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_NEAR(ranges[0].second, tr.caret_x(text, style, 4), 0.01);
}

TEST(TextRenderer, WrapsParagraphsToTheirWidth) {
  TextRenderer tr = renderer();
  std::string text = "RDP has no client backend here. Select SSH, VNC, or Kova to migrate this profile.";
  double one_line = tr.line_height({11.5, 0});
  double narrow = tr.measure_wrapped(text, 200, {11.5, 0});
  EXPECT_GE(narrow, 2 * one_line);
  EXPECT_NEAR(tr.measure_wrapped(text, 5000, {11.5, 0}), one_line, 0.5);
  auto canvas = Canvas::create({300, 200}, 1);
  ASSERT_TRUE(canvas);
  Painter p(*canvas);
  EXPECT_DOUBLE_EQ(tr.draw_wrapped(p, text, {10, 10}, 200, {11.5, 0}, Color{}), narrow);
}

}  // namespace
}  // namespace kova::ui
