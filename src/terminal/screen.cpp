#include "terminal/screen.h"

#include <algorithm>
#include <cstring>

namespace terminal {
namespace {

// A plain loop: compilers turn it into wide stores, where a library fill or
// copy call costs more than the stores themselves for a row of cells.
void blank(TerminalCell* cells, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    cells[i] = TerminalCell{};
}

void write_ascii(TerminalCell* cells, const std::uint8_t* bytes, std::size_t n,
                 std::optional<std::uint8_t> colour, bool bold) {
  for (std::size_t i = 0; i < n; ++i)
    cells[i] = TerminalCell(bytes[i], colour, bold);
}

}  // namespace

TerminalScreen::TerminalScreen(unsigned columns, unsigned rows)
    : columns_(std::clamp(columns, 1u, max_screen_columns)),
      rows_(std::clamp(rows, 1u, max_screen_rows)),
      cells_(std::size_t{columns_} * rows_),
      damage_(rows_, 0) {}

void TerminalScreen::feed(std::span<const std::uint8_t> bytes) {
  parser_.advance(bytes, *this);
}

void TerminalScreen::feed(std::string_view bytes) {
  feed(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     bytes.size()));
}

std::span<const TerminalCell> TerminalScreen::row(unsigned r) const {
  unsigned physical = top_ + r;
  if (physical >= rows_) physical -= rows_;
  return std::span<const TerminalCell>(cells_).subspan(std::size_t{physical} * columns_, columns_);
}

TerminalCell* TerminalScreen::row_cells(unsigned r) {
  unsigned physical = top_ + r;
  if (physical >= rows_) physical -= rows_;
  return cells_.data() + std::size_t{physical} * columns_;
}

void TerminalScreen::mark_row(unsigned r) {
  damage_[r] = 1;
  any_damage_ = true;
}

void TerminalScreen::clear_damage() {
  std::ranges::fill(damage_, std::uint8_t{0});
  all_damaged_ = false;
  any_damage_ = false;
}

void TerminalScreen::snapshot(TerminalSnapshot& out) const {
  out.columns = columns_;
  out.rows = rows_;
  out.cursor_column = cursor_column_;
  out.cursor_row = cursor_row_;
  out.cells.resize(cells_.size());
  // The ring's two halves, bottom part of storage first.
  const std::size_t split = std::size_t{top_} * columns_;
  std::copy(cells_.begin() + static_cast<std::ptrdiff_t>(split), cells_.end(), out.cells.begin());
  std::copy(cells_.begin(), cells_.begin() + static_cast<std::ptrdiff_t>(split),
            out.cells.begin() + static_cast<std::ptrdiff_t>(cells_.size() - split));
}

// Printing writes one cell per character; a character that finds the cursor
// past the last column wraps to the next line first.
void TerminalScreen::print_ascii(std::string_view run) {
  while (!run.empty()) {
    wrap_if_pending();
    const std::size_t n = std::min<std::size_t>(run.size(), columns_ - cursor_column_);
    write_ascii(row_cells(cursor_row_) + cursor_column_,
                reinterpret_cast<const std::uint8_t*>(run.data()), n, pen_colour(), pen_bold());
    mark_row(cursor_row_);
    cursor_column_ += static_cast<unsigned>(n);
    run.remove_prefix(n);
  }
}

void TerminalScreen::print(char32_t character) {
  wrap_if_pending();
  row_cells(cursor_row_)[cursor_column_] =
      TerminalCell::from_bits(pen_ | TerminalCell::character_bits(character));
  mark_row(cursor_row_);
  ++cursor_column_;
}

void TerminalScreen::wrap_if_pending() {
  if (cursor_column_ >= columns_) {
    cursor_column_ = 0;
    line_feed();
  }
}

// LF: down one row, or scroll when on the last row. The top row is dropped
// (no scrollback) by advancing the ring; only the new bottom row is written.
void TerminalScreen::line_feed() {
  if (cursor_row_ + 1 < rows_) {
    ++cursor_row_;
    return;
  }
  TerminalCell* old_top = row_cells(0);
  blank(old_top, columns_);
  top_ = top_ + 1 == rows_ ? 0 : top_ + 1;
  all_damaged_ = true;
  any_damage_ = true;
}

void TerminalScreen::blank_cells(unsigned r, unsigned from, unsigned to) {
  if (from >= to) return;
  TerminalCell* cells = row_cells(r);
  blank(cells + from, to - from);
  mark_row(r);
}

void TerminalScreen::erase_to_line_end() {
  blank_cells(cursor_row_, cursor_column_, columns_);
}

void TerminalScreen::erase_line() {
  blank_cells(cursor_row_, 0, columns_);
}

void TerminalScreen::erase_display() {
  blank(cells_.data(), cells_.size());
  all_damaged_ = true;
  any_damage_ = true;
}

}  // namespace terminal
