#include "terminal/screen.h"

#include <algorithm>

namespace terminal {
namespace {

// A plain loop: compilers turn it into wide stores, where a library fill or
// copy call costs more than the stores themselves for a row of cells.
void blank(TerminalCell* cells, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    cells[i] = TerminalCell{};
}

}  // namespace

TerminalScreen::TerminalScreen(unsigned columns, unsigned rows)
    : columns_(std::clamp(columns, 1u, max_screen_columns)),
      rows_(std::clamp(rows, 1u, max_screen_rows)),
      stride_(std::size_t{columns_} + row_padding),
      cells_(stride_ * rows_),
      settled_(rows_, columns_),
      damage_(rows_, 0) {}

void TerminalScreen::settle(unsigned p) const {
  unsigned& settled = settled_[p];
  if (settled < columns_) {
    blank(cells_.data() + p * stride_ + settled, columns_ - settled);
    settled = columns_;
  }
}

std::span<const TerminalCell> TerminalScreen::row(unsigned r) const {
  const unsigned p = physical_row(r);
  settle(p);
  return std::span<const TerminalCell>(cells_).subspan(p * stride_, columns_);
}

void TerminalScreen::clear_damage() {
  std::ranges::fill(damage_, std::uint8_t{0});
  all_damaged_ = false;
  any_damage_ = false;
}

void TerminalScreen::snapshot(TerminalSnapshot& out) const {
  for (unsigned p = 0; p < rows_; ++p)
    settle(p);
  out.columns = columns_;
  out.rows = rows_;
  out.cursor_column = cursor_column_;
  out.cursor_row = cursor_row_;
  out.cells.resize(std::size_t{columns_} * rows_);
  auto to = out.cells.begin();
  for (unsigned r = 0; r < rows_; ++r) {
    const auto from = cells_.begin() + static_cast<std::ptrdiff_t>(physical_row(r) * stride_);
    to = std::copy(from, from + columns_, to);
  }
}

// LF: down one row, or scroll when on the last row. The top row is dropped
// (no scrollback) by advancing the ring and becomes the new bottom row,
// blank by its mark alone.
void TerminalScreen::line_feed() {
  if (cursor_row_ + 1 < rows_) {
    ++cursor_row_;
    return;
  }
  settled_[top_] = 0;
  top_ = top_ + 1 == rows_ ? 0 : top_ + 1;
  all_damaged_ = true;
  any_damage_ = true;
}

void TerminalScreen::erase_display() {
  std::ranges::fill(settled_, 0u);
  all_damaged_ = true;
  any_damage_ = true;
}

}  // namespace terminal
