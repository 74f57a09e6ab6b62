// Arbitrary bytes into the screen model, split into writes at points chosen
// by the input itself. Checks the invariants drawing relies on: the cursor
// stays inside the grid (the column may equal columns only as the pending
// wrap), every cell holds a Unicode scalar value, and splitting the input
// never changes the result.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "terminal/screen.h"

namespace {

void check(const terminal::TerminalScreen& s) {
  if (s.cursor_row() >= s.rows() || s.cursor_column() > s.columns()) std::abort();
  for (unsigned r = 0; r < s.rows(); ++r) {
    const auto row = s.row(r);
    if (row.size() != s.columns()) std::abort();
    for (terminal::TerminalCell c : row) {
      const char32_t ch = c.character();
      if (ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) std::abort();
      if (c.colour() && *c.colour() > 15) std::abort();
    }
  }
}

bool same(const terminal::TerminalScreen& a, const terminal::TerminalScreen& b) {
  if (a.cursor_row() != b.cursor_row() || a.cursor_column() != b.cursor_column()) return false;
  for (unsigned r = 0; r < a.rows(); ++r) {
    const auto x = a.row(r);
    const auto y = b.row(r);
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (x[i] != y[i]) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // First byte: write size for the split feed (1 to 64 bytes); second: grid
  // width, so narrow grids and wrapping get exercised.
  const std::size_t step = 1 + data[0] % 64;
  const unsigned columns = 1 + data[1] % 100;
  const std::span<const std::uint8_t> bytes(data + 2, size - 2);

  terminal::TerminalScreen whole(columns, 6);
  whole.feed(bytes);
  check(whole);

  terminal::TerminalScreen split(columns, 6);
  for (std::size_t at = 0; at < bytes.size(); at += step) {
    split.feed(bytes.subspan(at, std::min(step, bytes.size() - at)));
    check(split);
  }
  if (!same(whole, split)) std::abort();
  return 0;
}
