#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui_toolkit/frontend.h"
#include "ui_toolkit/limits.h"
#include "ui_toolkit/text_input.h"

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

Event named(Key k, std::uint8_t mods = 0) { return KeyEvent{k, 0, "", Modifiers{mods}, true, 0}; }
Event chord(char32_t c, std::uint8_t mods) {
  return KeyEvent{Key::Character, c, "", Modifiers{mods}, true, 0};
}
Event typed(std::string text) {
  return KeyEvent{Key::Character, static_cast<char32_t>(text[0]), text, Modifiers{}, true, 0};
}

struct Case {
  const char* name;
  std::string initial;
  std::string clipboard;
  std::vector<Event> events;
  std::string text;
  std::size_t cursor;
  std::pair<std::size_t, std::size_t> selection;
  std::string clipboard_after;
};

TEST(TextInput, EditingTable) {
  const Case cases[] = {
      {"typing", "", "", {typed("a"), typed("b"), typed("c")}, "abc", 3, {3, 3}, ""},
      {"insert in the middle", "abc", "", {named(Key::Left), named(Key::Left), typed("X")}, "aXbc", 2, {2, 2}, ""},
      {"backspace a letter", "h\u00e9llo", "", {named(Key::Backspace), named(Key::Backspace), named(Key::Backspace)}, "h\u00e9", 3, {3, 3}, ""},
      {"backspace a whole emoji", "a\U0001F44D\U0001F3FD", "", {named(Key::Backspace)}, "a", 1, {1, 1}, ""},
      {"backspace at start", "ab", "", {named(Key::Home), named(Key::Backspace)}, "ab", 0, {0, 0}, ""},
      {"delete forward", "abc", "", {named(Key::Home), named(Key::Delete)}, "bc", 0, {0, 0}, ""},
      {"delete at end", "abc", "", {named(Key::Delete)}, "abc", 3, {3, 3}, ""},
      {"combining mark is one step", "e\u0301x", "", {named(Key::Left), named(Key::Left)}, "e\u0301x", 0, {0, 0}, ""},
      {"shift selects, typing replaces", "hello", "", {named(Key::Left, ModShift), named(Key::Left, ModShift), typed("p")}, "help", 4, {4, 4}, ""},
      {"left collapses a selection", "hello", "", {named(Key::Left, ModShift), named(Key::Left, ModShift), named(Key::Left)}, "hello", 3, {3, 3}, ""},
      {"shift home", "hello", "", {named(Key::Left), named(Key::Home, ModShift)}, "hello", 0, {0, 4}, ""},
      {"select all and copy", "hello", "", {chord('a', ModControl), chord('c', ModControl)}, "hello", 5, {0, 5}, "hello"},
      {"cut", "hello", "", {chord('a', ModControl), chord('x', ModControl)}, "", 0, {0, 0}, "hello"},
      {"copy without selection keeps clipboard", "hello", "old", {chord('c', ModControl)}, "hello", 5, {5, 5}, "old"},
      {"paste is made one line", "", "line1\nline2\tx\x01y", {chord('v', ModControl)}, "line1 line2 xy", 14, {14, 14}, "line1\nline2\tx\x01y"},
      {"paste drops direction overrides", "", "\u202Eevil\u202C", {chord('v', ModControl)}, "evil", 4, {4, 4}, "\u202Eevil\u202C"},
      {"paste replaces a selection", "abc", "Z", {named(Key::Left, ModShift), chord('v', ModSuper)}, "abZ", 3, {3, 3}, "Z"},
      {"word left", "one two three", "", {named(Key::Left, ModControl)}, "one two three", 8, {8, 8}, ""},
      {"word backspace", "one two three", "", {named(Key::Backspace, ModControl)}, "one two ", 8, {8, 8}, ""},
      {"word right", "one two three", "", {named(Key::Home), named(Key::Right, ModControl), named(Key::Right, ModControl)}, "one two three", 7, {7, 7}, ""},
      {"composition shows, commit inserts", "x", "", {CompositionEvent{"\u306b", 3}, TextEvent{"\u65e5\u672c"}}, "x\u65e5\u672c", 7, {7, 7}, ""},
      {"composition alone changes nothing", "x", "", {CompositionEvent{"\u306b\u307b", 3}}, "x", 1, {1, 1}, ""},
      {"space key", "a", "", {KeyEvent{Key::Space, U' ', " ", {}, true, 0}, typed("b")}, "a b", 3, {3, 3}, ""},
      {"release inserts nothing", "a", "", {KeyEvent{Key::Character, 'q', "q", {}, false, 0}}, "a", 1, {1, 1}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TextInput input("placeholder");
    input.set_focused(true);
    input.set_text(c.initial);
    input.move_to_end();
    MemoryClipboard clip;
    clip.set_text(c.clipboard);
    for (const auto& e : c.events) input.handle_event(e, clip, renderer());
    EXPECT_EQ(input.text(), c.text);
    EXPECT_EQ(input.cursor(), c.cursor);
    EXPECT_EQ(input.selection(), c.selection);
    EXPECT_EQ(clip.text(), c.clipboard_after.empty() ? c.clipboard : c.clipboard_after);
  }
}

TEST(TextInput, LeavesNavigationAndShortcutsToTheCaller) {
  TextInput input("p");
  input.set_focused(true);
  MemoryClipboard clip;
  for (Key k : {Key::Enter, Key::Tab, Key::Escape, Key::Up, Key::Down, Key::F5}) {
    SCOPED_TRACE(static_cast<int>(k));
    EXPECT_FALSE(input.handle_event(named(k), clip, renderer()));
  }
  EXPECT_FALSE(input.handle_event(chord('n', ModControl), clip, renderer()));
  EXPECT_FALSE(input.handle_event(chord('f', ModControl | ModShift), clip, renderer()));
  EXPECT_TRUE(input.handle_event(typed("/"), clip, renderer()));
  EXPECT_EQ(input.text(), "/");
}

TEST(TextInput, BoundsPastedText) {
  struct PasteCase {
    const char* name;
    std::string paste;
  };
  const PasteCase cases[] = {
      {"one mebibyte of ASCII", std::string(1 << 20, 'a')},
      {"two-byte letters", [] { std::string s; for (int i = 0; i < 5000; ++i) s += "\u00e9"; return s; }()},
      {"four-byte emoji", [] { std::string s; for (int i = 0; i < 2000; ++i) s += "\U0001F680"; return s; }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TextInput input("p");
    input.set_focused(true);
    MemoryClipboard clip;
    clip.set_text(c.paste);
    input.handle_event(typed("x"), clip, renderer());
    input.handle_event(chord('v', ModControl), clip, renderer());
    EXPECT_LE(input.text().size(), max_text_input_bytes);
    EXPECT_GT(input.text().size(), max_text_input_bytes - 4);
    EXPECT_EQ(c.paste.substr(0, input.text().size() - 1), input.text().substr(1));
    // A full input takes no more text.
    input.handle_event(typed("y"), clip, renderer());
    EXPECT_LE(input.text().size(), max_text_input_bytes);
  }
  TextInput direct("p");
  direct.set_text(std::string(3 * max_text_input_bytes, 'z'));
  EXPECT_EQ(direct.text().size(), max_text_input_bytes);
}

TEST(TextInput, SetTextKeepsAValidCaret) {
  TextInput input("p");
  input.set_text("hello");
  input.set_cursor(2);
  input.set_text("hellos");
  EXPECT_EQ(input.cursor(), 2u);
  input.set_text("h");
  EXPECT_EQ(input.cursor(), 1u);
  input.set_text("\u00e9\u00e9");
  input.set_cursor(3);  // inside a sequence: moves back to a boundary
  EXPECT_EQ(input.cursor(), 2u);
  input.set_text("a\nb");
  EXPECT_EQ(input.text(), "a b");
}

TEST(TextInput, PointerPlacesAndSelects) {
  TextRenderer& tr = renderer();
  TextInput input("p");
  input.set_focused(true);
  input.set_text("alpha beta");
  auto canvas = Canvas::create({400, 60}, 1);
  ASSERT_TRUE(canvas);
  Rect field{10, 10, 390, 50};
  {
    Painter p(*canvas);
    input.draw(p, tr, Theme::dark(), field);
  }
  MemoryClipboard clip;
  auto press = [&](double x, int clicks) {
    return input.handle_event(PointerButtonEvent{PointerButton::Primary, true, {x, 30}, clicks},
                              clip, tr);
  };
  EXPECT_TRUE(press(380, 1));
  EXPECT_EQ(input.cursor(), input.text().size());
  EXPECT_TRUE(press(12, 1));
  EXPECT_EQ(input.cursor(), 0u);
  // Drag to the end selects everything.
  EXPECT_TRUE(input.handle_event(PointerMoveEvent{{385, 30}}, clip, tr));
  EXPECT_EQ(input.selection(), (std::pair<std::size_t, std::size_t>{0, 10}));
  input.handle_event(PointerButtonEvent{PointerButton::Primary, false, {385, 30}, 1}, clip, tr);
  EXPECT_FALSE(input.handle_event(PointerMoveEvent{{12, 30}}, clip, tr));
  double beta_x = field.left + text_input_inset + tr.caret_x("alpha beta", {14, 0}, 8);
  EXPECT_TRUE(press(beta_x, 2));
  EXPECT_EQ(input.selected_text(), "beta");
  EXPECT_FALSE(press(395, 1)) << "a press outside the field is not the input's";
  ASSERT_TRUE(input.caret_rect().has_value());
}

TEST(TextInput, DrawsPlaceholderTextAndComposition) {
  TextRenderer& tr = renderer();
  Theme theme = Theme::dark();
  TextInput input("Search machines\u2026  ( / )");
  auto canvas = Canvas::create({300, 60}, 1);
  ASSERT_TRUE(canvas);
  Rect field{10, 10, 290, 50};
  {
    DrawLog log;
    Painter p(*canvas, &log);
    input.draw(p, tr, theme, field);
    const DrawnText* ph = log.find("Search machines\u2026  ( / )");
    ASSERT_NE(ph, nullptr);
    EXPECT_EQ(ph->color, theme.secondary_text);
    EXPECT_NEAR(ph->rect.left, field.left + text_input_inset, 0.01);
    EXPECT_FALSE(input.caret_rect().has_value()) << "no caret without focus";
    EXPECT_FALSE(p.text_input_area().has_value()) << "an unfocused input takes no text";
  }
  input.set_focused(true);
  input.set_text(std::string(500, 'm'));
  input.move_to_end();
  MemoryClipboard clip;
  input.handle_event(CompositionEvent{"\u3042", 3}, clip, tr);
  DrawLog log;
  Painter p(*canvas, &log);
  input.draw(p, tr, theme, field);
  ASSERT_EQ(log.texts.size(), 1u);
  EXPECT_EQ(log.texts[0].text, std::string(500, 'm') + "\u3042");
  EXPECT_GE(log.texts[0].rect.left, field.left + text_input_inset) << "clipped to the text area";
  EXPECT_LE(log.texts[0].rect.right, field.right - text_input_inset);
  ASSERT_TRUE(input.caret_rect().has_value());
  EXPECT_LE(input.caret_rect()->right, field.right - text_input_inset + 1)
      << "the caret is scrolled into view";
  EXPECT_EQ(p.text_input_area(), input.caret_rect()) << "the input method goes to the caret";
  // A field too narrow to show text still takes it while focused.
  Painter narrow(*canvas);
  input.draw(narrow, tr, theme, Rect{10, 10, 30, 50});
  EXPECT_EQ(narrow.text_input_area(), (Rect{10, 10, 30, 50}));
}

}  // namespace
}  // namespace kova::ui
