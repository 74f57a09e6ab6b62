#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <thread>

#include "scene.h"
#include "ui_toolkit/frontend.h"
#include "ui_toolkit/limits.h"
#include "ui_toolkit/widgets.h"

namespace kova::ui {
namespace {

TextRenderer& renderer() {
  static TextRenderer tr = [] {
    auto r = TextRenderer::create();
    if (!r) {
      ADD_FAILURE() << r.error().message;
      std::abort();
    }
    return std::move(*r);
  }();
  return tr;
}

std::uint32_t argb(Color c) {
  auto ch = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255)); };
  return (ch(c.a) << 24) | (ch(c.r) << 16) | (ch(c.g) << 8) | ch(c.b);
}

// Colours match when every channel is within `tolerance` (anti-aliasing and
// premultiplication rounding).
::testing::AssertionResult near_colour(std::uint32_t got, std::uint32_t want, int tolerance = 2) {
  for (int shift : {24, 16, 8, 0}) {
    int a = static_cast<int>((got >> shift) & 0xff);
    int b = static_cast<int>((want >> shift) & 0xff);
    if (std::abs(a - b) > tolerance) {
      return ::testing::AssertionFailure() << std::hex << "got 0x" << got << ", want 0x" << want;
    }
  }
  return ::testing::AssertionSuccess();
}

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kova-ui-XXXXXX").string();
    path = mkdtemp(tmpl.data());
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

void paint(Frontend& f, DrawLog* log) {
  renderer().set_scale(f.scale());
  TextInput input("Search machines\u2026  ( / )");
  input.set_focused(true);
  input.set_text("build");
  Painter p(f.canvas(), log);
  testing::paint_scene(p, renderer(), Theme::dark(), input);
}

TEST(HeadlessRender, SnapshotHasTheSceneAtDevicePixels) {
  const Theme theme = Theme::dark();
  for (double scale : {1.0, 2.0}) {
    SCOPED_TRACE(scale);
    auto f = HeadlessFrontend::create({960, 520}, scale);
    ASSERT_TRUE(f) << f.error().message;
    DrawLog log;
    paint(**f, &log);
    (*f)->present();

    TempDir dir;
    auto path = (dir.path / "scene.png").string();
    ASSERT_TRUE((*f)->snapshot(path));
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), static_cast<int>(960 * scale));
    EXPECT_EQ(cairo_image_surface_get_height(png), static_cast<int>(520 * scale));
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0644));
    auto at = [&](double x, double y) {
      auto* row = cairo_image_surface_get_data(png) +
                  static_cast<std::size_t>(y * scale) * static_cast<std::size_t>(cairo_image_surface_get_stride(png));
      return reinterpret_cast<const std::uint32_t*>(row)[static_cast<std::size_t>(x * scale)];
    };
    EXPECT_TRUE(near_colour(at(30, 300), argb(theme.raised))) << "rail";
    EXPECT_TRUE(near_colour(at(955, 515), argb(theme.window_background))) << "window background";
    EXPECT_TRUE(near_colour(at(32, 30), argb(theme.accent))) << "monitor mark";
    Rect button = testing::scene_primary_button;
    EXPECT_TRUE(near_colour(at(button.left + 4, button.center_y()),
                            argb(mix(theme.accent, Color{1, 1, 1, 1}, 0.10))))
        << "hovered primary button";
    EXPECT_TRUE(near_colour(at(testing::scene_card.left + 22, testing::scene_card.center_y()),
                            argb(theme.positive)))
        << "presence dot";
    cairo_surface_destroy(png);

    const DrawnText* title = log.find("Remote Machines");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->rect.left, 88);
    EXPECT_EQ(title->rect.top, 16);
    EXPECT_EQ(title->size, 22);
    EXPECT_EQ(title->weight, 3);
    const DrawnText* connect = log.find("Connect");
    ASSERT_NE(connect, nullptr);
    EXPECT_GE(connect->rect.left, button.left);
    EXPECT_LE(connect->rect.right, button.right);
    EXPECT_NEAR(connect->rect.center_y(), button.center_y(), 1);
    // The 400-letter name is cut inside its card.
    auto long_names = log.find_all_containing("WWWW");
    ASSERT_EQ(long_names.size(), 1u);
    EXPECT_LT(long_names[0]->rect.right, 620);
  }
}

TEST(HeadlessRender, ExtremeWindowSizesPaint) {
  struct Case {
    const char* name;
    Size logical;
    double scale;
    int device_w;
    int device_h;
  };
  const Case cases[] = {
      {"1x1", {1, 1}, 1, 1, 1},
      {"8000 wide", {8000, 600}, 1, 8000, 600},
      {"8000 wide at scale 2", {8000, 300}, 2, 16000, 600},
      {"beyond the surface limit", {9000, 300}, 2, max_surface_side_px, 600},
      {"empty", {0, 0}, 1, 1, 1},
      {"fractional scale", {101, 51}, 1.5, 152, 77},
      {"nonsense scale", {10, 10}, -3, 10, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto f = HeadlessFrontend::create({640, 400}, 1);
    ASSERT_TRUE(f);
    ASSERT_TRUE((*f)->resize(c.logical, c.scale));
    auto events = (*f)->wait_events(HeadlessFrontend::Clock::now());
    ASSERT_EQ(events.size(), 1u);
    ASSERT_TRUE(std::holds_alternative<ResizeEvent>(events[0]));
    EXPECT_EQ((*f)->canvas().device_width(), c.device_w);
    EXPECT_EQ((*f)->canvas().device_height(), c.device_h);
    EXPECT_LE((*f)->logical_size().width * (*f)->scale(), c.device_w + 1e-6);
    DrawLog log;
    paint(**f, &log);
    // Texts outside the window are neither drawn nor recorded.
    bool title_visible = c.logical.width > 88 && c.logical.height > 16;
    EXPECT_EQ(log.find("Remote Machines") != nullptr, title_visible);
  }
}

TEST(HeadlessRender, ImagesScaleIntoTheirRectangle) {
  // A 2x2 picture: red, green / blue, transparent.
  const std::uint8_t rgba[] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 0, 0, 0, 0};
  auto canvas = Canvas::create({100, 100}, 1);
  ASSERT_TRUE(canvas);
  {
    Painter p(*canvas);
    p.clear(Color::rgb(0x808080));
    p.draw_image({rgba, 2, 2, 8}, {10, 10, 90, 90});
    p.draw_image({rgba, 2, 2, 4}, {0, 0, 100, 100});  // short stride: refused
    p.draw_image({rgba, 0, 2, 8}, {0, 0, 100, 100});  // empty: refused
  }
  EXPECT_TRUE(near_colour(canvas->pixel(15, 15), 0xffff0000));
  EXPECT_TRUE(near_colour(canvas->pixel(85, 15), 0xff00ff00));
  EXPECT_TRUE(near_colour(canvas->pixel(15, 85), 0xff0000ff));
  EXPECT_TRUE(near_colour(canvas->pixel(85, 85), 0xff808080)) << "transparent shows the ground";
  EXPECT_TRUE(near_colour(canvas->pixel(5, 5), 0xff808080)) << "nothing outside the rectangle";
}

TEST(HeadlessRender, ClipsNestAndUnbalancedPopsAreHarmless) {
  auto canvas = Canvas::create({50, 50}, 1);
  ASSERT_TRUE(canvas);
  {
    Painter p(*canvas);
    p.clear(Color::rgb(0x000000));
    p.push_clip({10, 10, 40, 40});
    p.push_clip({0, 0, 20, 20});
    EXPECT_EQ(p.clip(), (Rect{10, 10, 20, 20}));
    p.fill_rect({0, 0, 50, 50}, Color::rgb(0xffffff));
    p.pop_clip();
    p.pop_clip();
    p.pop_clip();
    EXPECT_EQ(p.clip(), (Rect{0, 0, 50, 50}));
  }
  EXPECT_EQ(canvas->pixel(15, 15), 0xffffffffu);
  EXPECT_EQ(canvas->pixel(25, 15), 0xff000000u);
  EXPECT_EQ(canvas->pixel(5, 5), 0xff000000u);
}

TEST(HeadlessFrontend, WakesFromAnotherThread) {
  auto f = HeadlessFrontend::create({10, 10}, 1);
  ASSERT_TRUE(f);
  auto waker = (*f)->waker();
  std::thread t([waker] {
    waker->wake();
    waker->wake();
  });
  auto events = (*f)->wait_events(std::nullopt);
  t.join();
  ASSERT_FALSE(events.empty());
  EXPECT_TRUE(std::holds_alternative<WakeEvent>(events.back()));
  f->reset();
  waker->wake();  // after the frontend is gone: nothing happens
}

}  // namespace
}  // namespace kova::ui
