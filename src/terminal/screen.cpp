#include "terminal/screen.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace terminal {
namespace {

// A plain loop: compilers turn it into wide stores, where a library fill or
// copy call costs more than the stores themselves for a row of cells.
void blank(TerminalCell* cells, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    cells[i] = TerminalCell{};
}

#if defined(__SSE2__)
// Sixteen cells from sixteen ASCII bytes: zero-extended, pen bits added.
inline void write16(std::uint32_t* out, const std::uint8_t* in, __m128i pen) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
  const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_or_si128(_mm_unpacklo_epi16(lo, zero), pen));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4),
                   _mm_or_si128(_mm_unpackhi_epi16(lo, zero), pen));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8),
                   _mm_or_si128(_mm_unpacklo_epi16(hi, zero), pen));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12),
                   _mm_or_si128(_mm_unpackhi_epi16(hi, zero), pen));
}

// Eight cells from eight ASCII bytes.
inline void write8(std::uint32_t* out, const std::uint8_t* in, __m128i pen) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in)), zero);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_or_si128(_mm_unpacklo_epi16(lo, zero), pen));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4),
                   _mm_or_si128(_mm_unpackhi_epi16(lo, zero), pen));
}
#endif

// One cell per byte with the pen's colour and bold. Runs of any length are
// covered by whole blocks, the last one overlapping the one before: the
// overlap writes the same values twice, and no loop runs a byte at a time.
void write_ascii(TerminalCell* cells, const std::uint8_t* bytes, std::size_t n, std::uint32_t pen) {
  static_assert(sizeof(TerminalCell) == sizeof(std::uint32_t));
  std::uint32_t* out = reinterpret_cast<std::uint32_t*>(cells);
#if defined(__SSE2__)
  const __m128i pen4 = _mm_set1_epi32(static_cast<int>(pen));
  if (n >= 16) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16)
      write16(out + i, bytes + i, pen4);
    if (i < n) write16(out + n - 16, bytes + n - 16, pen4);
    return;
  }
  if (n >= 8) {
    write8(out, bytes, pen4);
    write8(out + n - 8, bytes + n - 8, pen4);
    return;
  }
  if (n >= 4) {
    std::uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    const __m128i zero = _mm_setzero_si128();
    const auto four = [&](std::uint32_t* o, std::uint32_t w) {
      const __m128i b = _mm_cvtsi32_si128(static_cast<int>(w));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o),
                       _mm_or_si128(_mm_unpacklo_epi16(_mm_unpacklo_epi8(b, zero), zero), pen4));
    };
    four(out, word);
    std::memcpy(&word, bytes + n - 4, sizeof word);
    four(out + n - 4, word);
    return;
  }
  // One to three cells: the first, middle and last cover them all.
  if (n > 0) {
    out[0] = pen | bytes[0];
    out[n / 2] = pen | bytes[n / 2];
    out[n - 1] = pen | bytes[n - 1];
  }
  return;
#endif
  for (std::size_t i = 0; i < n; ++i)
    out[i] = pen | bytes[i];
}

}  // namespace

TerminalScreen::TerminalScreen(unsigned columns, unsigned rows)
    : columns_(std::clamp(columns, 1u, max_screen_columns)),
      rows_(std::clamp(rows, 1u, max_screen_rows)),
      cells_(std::size_t{columns_} * rows_),
      settled_(rows_, columns_),
      damage_(rows_, 0) {}

void TerminalScreen::feed(std::span<const std::uint8_t> bytes) {
  parser_.advance(bytes, *this);
}

void TerminalScreen::feed(std::string_view bytes) {
  feed(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     bytes.size()));
}

unsigned TerminalScreen::physical_row(unsigned r) const {
  const unsigned physical = top_ + r;
  return physical >= rows_ ? physical - rows_ : physical;
}

void TerminalScreen::settle(unsigned p) const {
  unsigned& settled = settled_[p];
  if (settled < columns_) {
    blank(cells_.data() + std::size_t{p} * columns_ + settled, columns_ - settled);
    settled = columns_;
  }
}

std::span<const TerminalCell> TerminalScreen::row(unsigned r) const {
  const unsigned p = physical_row(r);
  settle(p);
  return std::span<const TerminalCell>(cells_).subspan(std::size_t{p} * columns_, columns_);
}

TerminalCell* TerminalScreen::writable(unsigned r, unsigned from, unsigned to) {
  const unsigned p = physical_row(r);
  TerminalCell* cells = cells_.data() + std::size_t{p} * columns_;
  unsigned& settled = settled_[p];
  // Cells skipped over (by a cursor move past the mark) must show blank.
  if (from > settled) blank(cells + settled, from - settled);
  settled = std::max(settled, to);
  damage_[r] = 1;
  any_damage_ = true;
  return cells;
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
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(run.data());
  std::size_t left = run.size();
  while (left > 0) {
    wrap_if_pending();
    const unsigned n =
        static_cast<unsigned>(std::min<std::size_t>(left, columns_ - cursor_column_));
    TerminalCell* cells = writable(cursor_row_, cursor_column_, cursor_column_ + n);
    write_ascii(cells + cursor_column_, bytes, n, pen_);
    cursor_column_ += n;
    bytes += n;
    left -= n;
  }
}

void TerminalScreen::print(char32_t character) {
  wrap_if_pending();
  writable(cursor_row_, cursor_column_, cursor_column_ + 1)[cursor_column_] =
      TerminalCell::from_bits(pen_ | TerminalCell::character_bits(character));
  ++cursor_column_;
}

void TerminalScreen::wrap_if_pending() {
  if (cursor_column_ >= columns_) {
    cursor_column_ = 0;
    line_feed();
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

void TerminalScreen::blank_to_line_end(unsigned r, unsigned from) {
  if (from >= columns_) return;
  unsigned& settled = settled_[physical_row(r)];
  settled = std::min(settled, from);
  damage_[r] = 1;
  any_damage_ = true;
}

void TerminalScreen::erase_to_line_end() {
  blank_to_line_end(cursor_row_, cursor_column_);
}

void TerminalScreen::erase_line() {
  blank_to_line_end(cursor_row_, 0);
}

void TerminalScreen::erase_display() {
  std::ranges::fill(settled_, 0u);
  all_damaged_ = true;
  any_damage_ = true;
}

}  // namespace terminal
