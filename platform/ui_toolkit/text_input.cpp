#include "ui_toolkit/text_input.h"

#include <pango/pango.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "ui_toolkit/limits.h"
#include "core/utf8.h"
#include "ui_toolkit/widgets.h"

namespace kova::ui {

namespace {

// Keeps text on one line: breaks and tabs become spaces, other control
// characters, direction overrides and invalid bytes are dropped.
std::string single_line(std::string_view in) {
  std::string out;
  out.reserve(std::min(in.size(), max_text_input_bytes));
  std::size_t i = 0;
  while (i < in.size() && out.size() < max_text_input_bytes + 4) {
    std::size_t at = i;
    char32_t cp = utf8::next(in, i);
    if (cp == utf8::replacement && in.substr(at, i - at) != "\xEF\xBF\xBD") continue;
    if (cp == '\n' || cp == '\r' || cp == '\t' || cp == 0x2028 || cp == 0x2029) {
      out.push_back(' ');
    } else if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || utf8::is_direction_control(cp)) {
      continue;
    } else {
      utf8::append(out, cp);
    }
  }
  return out;
}

// Byte offsets of every caret position (grapheme boundary) of `text`, with
// word starts and ends marked.
struct Stop {
  std::size_t offset;
  bool word_start;
  bool word_end;
};

std::vector<Stop> caret_stops(const std::string& text) {
  glong chars = g_utf8_strlen(text.data(), static_cast<gssize>(text.size()));
  std::vector<PangoLogAttr> attrs(static_cast<std::size_t>(chars) + 1);
  pango_get_log_attrs(text.data(), static_cast<int>(text.size()), -1, pango_language_get_default(),
                      attrs.data(), static_cast<int>(attrs.size()));
  std::vector<Stop> stops;
  const char* p = text.data();
  for (std::size_t k = 0; k < attrs.size(); ++k) {
    if (attrs[k].is_cursor_position || k == 0 || k + 1 == attrs.size()) {
      stops.push_back({static_cast<std::size_t>(p - text.data()),
                       attrs[k].is_word_start != 0 || k == 0,
                       attrs[k].is_word_end != 0 || k + 1 == attrs.size()});
    }
    if (k + 1 < attrs.size()) p = g_utf8_next_char(p);
  }
  return stops;
}

}  // namespace

TextInput::TextInput(std::string placeholder, double text_size)
    : placeholder_(std::move(placeholder)), style_{text_size, 0, FontFace::Interface} {}

void TextInput::set_text(std::string_view text) {
  std::string clean = single_line(text);
  text_ = std::string(utf8::valid_prefix(clean, max_text_input_bytes));
  anchor_.reset();
  composition_.clear();
  if (cursor_ > text_.size()) cursor_ = text_.size();
  while (cursor_ > 0 && (static_cast<unsigned char>(text_[cursor_]) & 0xC0) == 0x80) --cursor_;
}

void TextInput::set_cursor(std::size_t byte_offset) {
  anchor_.reset();
  cursor_ = std::min(byte_offset, text_.size());
  while (cursor_ > 0 && cursor_ < text_.size() &&
         (static_cast<unsigned char>(text_[cursor_]) & 0xC0) == 0x80) {
    --cursor_;
  }
}

void TextInput::move_to_end() { set_cursor(text_.size()); }

void TextInput::select_all() {
  anchor_ = 0;
  cursor_ = text_.size();
}

std::pair<std::size_t, std::size_t> TextInput::selection() const {
  if (!anchor_) return {cursor_, cursor_};
  return {std::min(*anchor_, cursor_), std::max(*anchor_, cursor_)};
}

std::string TextInput::selected_text() const {
  auto [a, b] = selection();
  return text_.substr(a, b - a);
}

void TextInput::set_focused(bool focused) {
  focused_ = focused;
  if (!focused) {
    anchor_.reset();
    composition_.clear();
    dragging_ = false;
  }
}

void TextInput::erase_selection() {
  auto [a, b] = selection();
  text_.erase(a, b - a);
  cursor_ = a;
  anchor_.reset();
}

void TextInput::insert(std::string_view text) {
  std::string clean = single_line(text);
  erase_selection();
  std::size_t room = max_text_input_bytes - std::min(text_.size(), max_text_input_bytes);
  std::string_view fit = utf8::valid_prefix(clean, room);
  text_.insert(cursor_, fit);
  cursor_ += fit.size();
}

void TextInput::move(std::size_t to, bool extend) {
  if (extend) {
    if (!anchor_) anchor_ = cursor_;
  } else {
    anchor_.reset();
  }
  cursor_ = to;
  if (anchor_ == cursor_) anchor_.reset();
}

std::size_t TextInput::prev_stop(std::size_t from, bool word) const {
  auto stops = caret_stops(text_);
  for (auto it = stops.rbegin(); it != stops.rend(); ++it) {
    if (it->offset < from && (!word || it->word_start)) return it->offset;
  }
  return 0;
}

std::size_t TextInput::next_stop(std::size_t from, bool word) const {
  for (const Stop& s : caret_stops(text_)) {
    if (s.offset > from && (!word || s.word_end)) return s.offset;
  }
  return text_.size();
}

bool TextInput::on_key(const KeyEvent& key, Clipboard& clipboard) {
  if (!key.pressed) return false;
  bool command = key.modifiers.control() || key.modifiers.super();
  bool shift = key.modifiers.shift();
  auto [first, last] = selection();
  bool has_selection = first != last;
  switch (key.key) {
    case Key::Left:
      if (has_selection && !shift) move(first, false);
      else move(prev_stop(cursor_, key.modifiers.control()), shift);
      return true;
    case Key::Right:
      if (has_selection && !shift) move(last, false);
      else move(next_stop(cursor_, key.modifiers.control()), shift);
      return true;
    case Key::Home: move(0, shift); return true;
    case Key::End: move(text_.size(), shift); return true;
    case Key::Backspace:
      if (!has_selection) move(prev_stop(cursor_, key.modifiers.control()), true);
      erase_selection();
      return true;
    case Key::Delete:
      if (!has_selection) move(next_stop(cursor_, key.modifiers.control()), true);
      erase_selection();
      return true;
    case Key::Character:
      if (command && !key.modifiers.alt()) {
        switch (key.character) {
          case 'a': select_all(); return true;
          case 'c':
            if (has_selection) clipboard.set_text(selected_text());
            return true;
          case 'x':
            if (has_selection) clipboard.set_text(selected_text());
            erase_selection();
            return true;
          case 'v': insert(clipboard.text()); return true;
          default: return false;
        }
      }
      break;
    default: break;
  }
  if (key.text.empty() || command) return false;
  insert(key.text);
  return true;
}

std::size_t TextInput::index_at(double x, const TextRenderer& tr) const {
  if (!field_) return text_.size();
  double local = x - (field_->left + text_input_inset) + scroll_;
  return tr.index_at(text_, style_, local);
}

bool TextInput::on_press(const PointerButtonEvent& press, const TextRenderer& tr) {
  if (press.button != PointerButton::Primary) return false;
  if (!press.pressed) {
    bool was = dragging_;
    dragging_ = false;
    return was;
  }
  if (field_ && !field_->contains(press.position)) return false;
  composition_.clear();
  std::size_t at = index_at(press.position.x, tr);
  if (press.clicks >= 3) {
    select_all();
  } else if (press.clicks == 2) {
    anchor_ = prev_stop(std::min(at + 1, text_.size()), true);
    cursor_ = next_stop(*anchor_, true);
  } else {
    move(at, false);
    dragging_ = true;
  }
  return true;
}

bool TextInput::handle_event(const Event& event, Clipboard& clipboard, const TextRenderer& tr) {
  if (const auto* key = std::get_if<KeyEvent>(&event)) return on_key(*key, clipboard);
  if (const auto* text = std::get_if<TextEvent>(&event)) {
    composition_.clear();
    insert(text->text);
    return true;
  }
  if (const auto* comp = std::get_if<CompositionEvent>(&event)) {
    composition_ = single_line(utf8::valid_prefix(comp->text, max_text_input_bytes));
    composition_cursor_ = std::min(comp->cursor, composition_.size());
    return true;
  }
  if (const auto* press = std::get_if<PointerButtonEvent>(&event)) return on_press(*press, tr);
  if (const auto* moved = std::get_if<PointerMoveEvent>(&event)) {
    if (!dragging_) return false;
    move(index_at(moved->position.x, tr), true);
    return true;
  }
  return false;
}

void TextInput::draw(Painter& p, const TextRenderer& tr, const Theme& t, Rect field) {
  field_ = field;
  tr.set_scale(p.scale());
  constexpr double radius = 8;
  p.fill_rounded(field, radius, focused_ ? mix(t.card, t.raised, 0.6) : t.card);
  p.stroke_rounded(field, radius, 1, focused_ ? t.border : t.hairline);
  if (focused_) draw_focus_ring(p, t, field, radius);

  Rect area{field.left + text_input_inset, field.top, field.right - text_input_inset, field.bottom};
  double line = tr.line_height(style_);
  double y = field.top + (field.height() - line) / 2;
  caret_rect_.reset();
  if (area.width() <= 0) {
    // Too narrow to show text, yet still focused: typing keeps working.
    if (focused_) p.set_text_input_area(field);
    return;
  }
  p.push_clip(area);

  std::string shown = text_;
  std::size_t caret = cursor_;
  std::size_t comp_start = cursor_;
  if (!composition_.empty()) {
    shown.insert(cursor_, composition_);
    caret = cursor_ + composition_cursor_;
  }
  double caret_x = tr.caret_x(shown, style_, caret);
  // Keep the caret inside the visible area, with a little context on the right.
  if (caret_x - scroll_ > area.width() - 2) scroll_ = caret_x - area.width() + 2;
  if (caret_x - scroll_ < 0) scroll_ = caret_x;
  double full = tr.measure(shown, style_).width;
  scroll_ = std::clamp(scroll_, 0.0, std::max(0.0, full - area.width() + 2));
  double x0 = area.left - scroll_;

  if (shown.empty()) {
    p.pop_clip();
    tr.draw(p, placeholder_, {area.left, y}, style_, t.secondary_text, area.width());
    p.push_clip(area);
  } else {
    auto [a, b] = selection();
    if (focused_ && a != b && composition_.empty()) {
      for (auto [l, r] : tr.x_ranges(shown, style_, a, b)) {
        p.fill_rect({x0 + l, y, x0 + r, y + line}, t.accent.with_alpha(0.35));
      }
    }
    tr.draw_raw(p, shown, {x0, y}, style_, t.primary_text, comp_start,
                comp_start + composition_.size());
  }
  if (focused_) {
    // On whole device pixels, so the caret is as sharp as the text at any
    // scale rather than smeared over two columns.
    const double k = p.scale();
    const double left = std::round((x0 + caret_x - 0.75) * k) / k;
    const double width = std::max(1.0, std::round(1.5 * k)) / k;
    Rect c{left, std::round((y + 1) * k) / k, left + width, std::round((y + line - 1) * k) / k};
    p.fill_rect(c, t.focus);
    caret_rect_ = c;
    p.set_text_input_area(c);
  }
  p.pop_clip();
}

}  // namespace kova::ui
