#pragma once

// A single-line text input: placeholder, caret, selection, clipboard,
// input-method composition and its own drawing. Text is UTF-8, kept on one
// line (pasted line breaks become spaces, other control characters are
// dropped) and bounded by max_text_input_bytes. The caret moves by
// grapheme cluster, so an emoji sequence or a letter with its accents is one
// step. Owned and used by the UI thread only.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ui_toolkit/canvas.h"
#include "ui_toolkit/events.h"
#include "ui_toolkit/text.h"
#include "ui_toolkit/theme.h"

namespace kova::ui {

// The system clipboard as the inputs see it; the window provides the real
// one, tests a fake.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual std::string text() = 0;
  virtual void set_text(std::string_view text) = 0;
};

// Inset of the text inside the input's field, left and right.
inline constexpr double text_input_inset = 12;

class TextInput {
 public:
  explicit TextInput(std::string placeholder, double text_size = 14);

  const std::string& text() const { return text_; }
  // Replaces the text (made single-line and bounded). The caret stays where
  // it was when that is still inside the text, else goes to the end; the
  // selection and any composition are dropped.
  void set_text(std::string_view text);
  const std::string& placeholder() const { return placeholder_; }
  void set_placeholder(std::string placeholder) { placeholder_ = std::move(placeholder); }
  double text_size() const { return style_.size; }

  // Byte offset of the caret in text().
  std::size_t cursor() const { return cursor_; }
  void set_cursor(std::size_t byte_offset);
  void move_to_end();
  void select_all();
  // The selected byte range [first, second), empty when first == second.
  std::pair<std::size_t, std::size_t> selection() const;
  std::string selected_text() const;

  bool focused() const { return focused_; }
  // Losing focus drops the selection and any composition.
  void set_focused(bool focused);

  // The input method's uncommitted text, shown underlined at the caret.
  const std::string& composition() const { return composition_; }

  // Handles one event for a focused input. Keys it does not use (Enter,
  // Tab, Escape, Up, Down, modifier shortcuts other than select-all, copy,
  // cut and paste) are left to the caller: the result says whether the event
  // was consumed. Pointer positions are placed with the field of the last
  // draw.
  bool handle_event(const Event& event, Clipboard& clipboard, const TextRenderer& tr);

  // Draws the field card, focus ring, selection, text or placeholder,
  // composition and caret into `field`.
  void draw(Painter& p, const TextRenderer& tr, const Theme& t, Rect field);
  // Where the caret was last drawn, for placing an input method's window.
  std::optional<Rect> caret_rect() const { return caret_rect_; }

 private:
  void insert(std::string_view text);
  void erase_selection();
  void move(std::size_t to, bool extend);
  std::size_t prev_stop(std::size_t from, bool word) const;
  std::size_t next_stop(std::size_t from, bool word) const;
  bool on_key(const KeyEvent& key, Clipboard& clipboard);
  bool on_press(const PointerButtonEvent& press, const TextRenderer& tr);
  std::size_t index_at(double x, const TextRenderer& tr) const;

  std::string text_;
  std::string placeholder_;
  std::string composition_;
  std::size_t composition_cursor_ = 0;
  TextStyle style_;
  std::size_t cursor_ = 0;
  std::optional<std::size_t> anchor_;
  bool focused_ = false;
  bool dragging_ = false;
  std::optional<Rect> field_;
  double scroll_ = 0;
  std::optional<Rect> caret_rect_;
};

}  // namespace kova::ui
