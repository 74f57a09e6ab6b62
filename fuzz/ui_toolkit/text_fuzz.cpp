// Untrusted text (saved names and hosts, clipboard contents, remote error
// messages) through line sanitising, layout, drawing and field editing.
// Nothing may crash, and a width-limited line must stay inside its width.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ui_toolkit/frontend.h"
#include "ui_toolkit/limits.h"
#include "ui_toolkit/text.h"
#include "ui_toolkit/text_input.h"

using namespace kova::ui;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TextRenderer tr = [] {
    auto r = TextRenderer::create();
    if (!r) std::abort();
    return std::move(*r);
  }();
  static auto canvas = Canvas::create({200, 60}, 1);
  std::string_view text(reinterpret_cast<const char*>(data), size);

  std::string line = sanitize_line(text);
  if (line.find('\n') != std::string::npos) std::abort();

  DrawLog log;
  {
    Painter p(*canvas, &log);
    tr.draw(p, text, {10, 5}, {13, 0}, Color{1, 1, 1, 1}, 120);
    tr.draw_wrapped(p, text, {10, 25}, 120, {12, 0}, Color{1, 1, 1, 1});
  }
  if (!log.texts.empty() && log.texts[0].rect.right > 130.001) std::abort();

  TextInput input("placeholder");
  input.set_focused(true);
  MemoryClipboard clip;
  clip.set_text(text);
  input.handle_event(KeyEvent{Key::Character, 'v', "", Modifiers{ModControl}, true, 0}, clip, tr);
  input.handle_event(KeyEvent{Key::Left, 0, "", Modifiers{ModControl}, true, 0}, clip, tr);
  input.handle_event(KeyEvent{Key::Backspace, 0, "", Modifiers{}, true, 0}, clip, tr);
  input.handle_event(CompositionEvent{std::string(text.substr(0, 64)), size}, clip, tr);
  input.handle_event(TextEvent{std::string(text.substr(0, 64))}, clip, tr);
  if (input.text().size() > max_text_input_bytes) std::abort();
  {
    Painter p(*canvas);
    input.draw(p, tr, Theme::dark(), {0, 0, 200, 40});
  }
  return 0;
}
