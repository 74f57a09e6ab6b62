#include <benchmark/benchmark.h>

#include <string>

#include "scene.h"
#include "ui_toolkit/frontend.h"
#include "ui_toolkit/text.h"
#include "ui_toolkit/text_input.h"

namespace kova::ui {
namespace {

TextRenderer& renderer() {
  static TextRenderer tr = std::move(*TextRenderer::create());
  return tr;
}

void BM_MeasureName(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(renderer().measure("Build Box", {16, 2}));
}
BENCHMARK(BM_MeasureName);

// A row's name: one width-limited line, short or hostile.
void BM_DrawLine(benchmark::State& state) {
  std::string text = state.range(0) == 0 ? "Build Box" : std::string(10000, 'W');
  auto canvas = Canvas::create({400, 40}, 1);
  Painter p(*canvas);
  for (auto _ : state) renderer().draw(p, text, {8, 8}, {16, 2}, Color{1, 1, 1, 1}, 300);
}
BENCHMARK(BM_DrawLine)->Arg(0)->Arg(10000);

void BM_DrawWrapped(benchmark::State& state) {
  auto canvas = Canvas::create({400, 200}, 1);
  Painter p(*canvas);
  for (auto _ : state) {
    renderer().draw_wrapped(p, "Add one to reach it over SSH, VNC, or the Kova relay.", {8, 8},
                            200, {13.5, 0}, Color{1, 1, 1, 1}, Align::Center);
  }
}
BENCHMARK(BM_DrawWrapped);

// Pasting a mebibyte into a field, then drawing it focused.
void BM_TextInputHugePaste(benchmark::State& state) {
  MemoryClipboard clip;
  clip.set_text(std::string(1 << 20, 'a'));
  auto canvas = Canvas::create({600, 60}, 1);
  Theme theme = Theme::dark();
  for (auto _ : state) {
    TextInput input("p");
    input.set_focused(true);
    input.handle_event(KeyEvent{Key::Character, 'v', "", Modifiers{ModControl}, true, 0}, clip,
                       renderer());
    Painter p(*canvas);
    input.draw(p, renderer(), theme, {10, 10, 590, 50});
  }
}
BENCHMARK(BM_TextInputHugePaste)->Unit(benchmark::kMillisecond);

// One full frame of the sample scene at 1280x800, at scale 1 and 2.
void BM_PaintScene(benchmark::State& state) {
  double scale = static_cast<double>(state.range(0));
  auto canvas = Canvas::create({1280, 800}, scale);
  renderer().set_scale(scale);
  TextInput input("Search machines\u2026  ( / )");
  Theme theme = Theme::dark();
  for (auto _ : state) {
    Painter p(*canvas);
    testing::paint_scene(p, renderer(), theme, input);
  }
  renderer().set_scale(1);
}
BENCHMARK(BM_PaintScene)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_EncodePng(benchmark::State& state) {
  auto canvas = Canvas::create({1280, 800}, 1);
  {
    Painter p(*canvas);
    TextInput input("Search");
    testing::paint_scene(p, renderer(), Theme::dark(), input);
  }
  for (auto _ : state) benchmark::DoNotOptimize(canvas->encode_png());
}
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kova::ui

BENCHMARK_MAIN();
