// The parser's actions on the screen: printing, then one short function per
// control the screen understands; everything else is ignored here. Every
// cursor result is clamped into the grid. The parser's loop is compiled in
// this file, so these handlers inline into it.

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "terminal/screen.h"

namespace terminal {
namespace {

// Count parameter: an absent group or 0 means 1.
unsigned count_param(const ControlSequence& s, std::size_t i) {
  const unsigned v = s.param(i, 0);
  return v == 0 ? 1 : v;
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

constexpr unsigned blank_block_cells = 16;

void blank_block(TerminalCell* cells) {
  for (unsigned i = 0; i < blank_block_cells; ++i)
    cells[i] = TerminalCell{};
}

#if defined(__SSE2__)
// Sixteen cells at `out` from the sixteen bytes at `in`, of which only the
// first n (0 to 16) are text: the other cells are stored back as they were,
// so a run of any length up to sixteen costs the same straight-line code.
inline void write16_first(std::uint32_t* out, const std::uint8_t* in, unsigned n, __m128i pen) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i count = _mm_set1_epi32(static_cast<int>(n));
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
  const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
  const auto four = [&](int k, __m128i cells) {
    const __m128i lane = _mm_setr_epi32(4 * k, 4 * k + 1, 4 * k + 2, 4 * k + 3);
    const __m128i take = _mm_cmpgt_epi32(count, lane);
    auto* at = reinterpret_cast<__m128i*>(out + 4 * k);
    const __m128i old = _mm_loadu_si128(at);
    _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(take, _mm_or_si128(cells, pen)),
                                      _mm_andnot_si128(take, old)));
  };
  four(0, _mm_unpacklo_epi16(lo, zero));
  four(1, _mm_unpackhi_epi16(lo, zero));
  four(2, _mm_unpacklo_epi16(hi, zero));
  four(3, _mm_unpackhi_epi16(hi, zero));
}
#endif

}  // namespace

void TerminalScreen::feed(std::span<const std::uint8_t> bytes) {
  parser_.advance(bytes, *this);
}

void TerminalScreen::feed(std::string_view bytes) {
  feed(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     bytes.size()));
}

TerminalCell* TerminalScreen::writable(unsigned r, unsigned from, unsigned to) {
  const unsigned p = physical_row(r);
  TerminalCell* cells = cells_.data() + p * stride_;
  unsigned& settled = settled_[p];
  // Cells skipped over (by a cursor move past the mark) must show blank.
  // Whole blocks may run past `from`: those cells are printed over next or
  // lie past the new mark, and the row's padding holds the last block.
  if (from > settled) {
    for (unsigned c = settled; c < from; c += blank_block_cells)
      blank_block(cells + c);
  }
  settled = std::max(settled, to);
  damage_[r] = 1;
  any_damage_ = true;
  return cells;
}

void TerminalScreen::wrap_if_pending() {
  if (cursor_column_ >= columns_) {
    cursor_column_ = 0;
    line_feed();
  }
}

// Printing writes one cell per character; a character that finds the cursor
// past the last column wraps to the next line first.
void TerminalScreen::print_ascii(std::string_view run, [[maybe_unused]] std::size_t readable) {
#if defined(__SSE2__)
  // Most runs of shell output are a word or a few that fit in the row: with
  // the bytes after them readable, blocks of sixteen cells cover any such
  // run with at most one branch on its length. The blocks stay in the row's
  // storage.
  const std::size_t n = run.size();
  if (readable >= 16 && n <= max_block_run && n <= columns_ - cursor_column_) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(run.data());
    const unsigned count = static_cast<unsigned>(n);
    TerminalCell* cells = writable(cursor_row_, cursor_column_, cursor_column_ + count);
    auto* out = reinterpret_cast<std::uint32_t*>(cells + cursor_column_);
    const __m128i pen = _mm_set1_epi32(static_cast<int>(pen_));
    // A run of sixteen or more is covered by two blocks that overlap, one
    // from its start and one ending at its end. A shorter one gets one block
    // whose cells past the run are stored back as they were.
    if (count >= 16) {
      write16(out, bytes, pen);
      write16(out + count - 16, bytes + count - 16, pen);
    } else {
      write16_first(out, bytes, count, pen);
    }
    cursor_column_ += count;
    return;
  }
#endif
  print_ascii_wrapping(run);
}

void TerminalScreen::print_ascii_wrapping(std::string_view run) {
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

void TerminalScreen::execute(char32_t control) {
  switch (control & 0xFF) {
    case 0x08:
      backspace();
      break;
    case 0x09:
      horizontal_tab();
      break;
    case 0x0A:  // LF
    case 0x0B:  // VT
    case 0x0C:  // FF
      line_feed();
      break;
    case 0x0D:
      carriage_return();
      break;
    default:
      break;  // BEL, NUL, SO, SI, C1 controls: nothing
  }
}

namespace {

// Moves saturate here, beyond any grid, so they fit the effect's fields.
constexpr unsigned max_move = 4096;
static_assert(max_move > max_screen_rows && max_move > max_screen_columns);

std::int16_t move(unsigned n) {
  return static_cast<std::int16_t>(std::min(n, max_move));
}

std::int16_t back(unsigned n) {
  return static_cast<std::int16_t>(-static_cast<int>(std::min(n, max_move)));
}

SequenceEffect cursor_up(unsigned n) {  // CUU
  SequenceEffect e;
  e.row_move = back(n);
  return e;
}

SequenceEffect cursor_down(unsigned n) {  // CUD
  SequenceEffect e;
  e.row_move = move(n);
  return e;
}

SequenceEffect cursor_forward(unsigned n) {  // CUF
  SequenceEffect e;
  e.column_move = move(n);
  e.column_untouched = 0;
  return e;
}

SequenceEffect cursor_back(unsigned n) {  // CUB
  SequenceEffect e;
  e.column_move = back(n);
  e.column_untouched = 0;
  return e;
}

SequenceEffect cursor_horizontal_absolute(unsigned column) {  // CHA
  SequenceEffect e;
  e.keep_column = 0;
  e.column_move = move(column - 1);
  e.column_untouched = 0;
  return e;
}

SequenceEffect cursor_position(unsigned row, unsigned column) {  // CUP, HVP
  SequenceEffect e = cursor_horizontal_absolute(column);
  e.keep_row = 0;
  e.row_move = move(row - 1);
  return e;
}

SequenceEffect erase_to_line_end() {
  SequenceEffect e;
  e.erase_column_mask = 0xFFFF;
  e.erase_from = 0;
  return e;
}

SequenceEffect erase_in_display(unsigned p) {  // ED
  // Only "whole screen" erases more than the cursor's line; 0 and 1 erase to
  // the end of the line, as this model has always done.
  SequenceEffect e = erase_to_line_end();
  e.erase_display = p == 2 || p == 3;
  return e;
}

SequenceEffect erase_in_line(unsigned p) {  // EL
  SequenceEffect e = erase_to_line_end();
  if (p == 2) e.erase_column_mask = 0;  // the whole line
  return e;
}

// Each value's effect on the pen as "keep these bits, then set those"; a
// list composes into one such pair. Values past the table, like every value
// left at its default here, change nothing.
}  // namespace

SequenceEffect TerminalScreen::select_graphic_rendition(const ControlSequence& s) {  // SGR
  struct PenChange {
    std::uint32_t keep = ~0u;
    std::uint32_t set = 0;
  };
  static constexpr auto effects = [] {
    constexpr std::uint32_t colour_mask = 0x1Fu << TerminalCell::colour_shift;
    const auto colour = [](std::uint32_t index) {
      return PenChange{~colour_mask, (index + 1) << TerminalCell::colour_shift};
    };
    std::array<PenChange, 98> t{};
    t[0] = {0, 0};                         // reset
    t[1] = {~0u, TerminalCell::bold_bit};  // bold
    t[22] = {~TerminalCell::bold_bit, 0};  // normal intensity
    for (std::uint32_t v = 30; v <= 37; ++v)
      t[v] = colour(v - 30);
    t[39] = {~colour_mask, 0};  // default foreground
    for (std::uint32_t v = 90; v <= 97; ++v)
      t[v] = colour(v - 82);
    return t;
  }();
  SequenceEffect e;
  if (s.param_count == 0) {  // "ESC [ m" resets like 0
    e.pen_keep = 0;
    return e;
  }
  for (std::size_t i = 0; i < s.param_count; ++i) {
    const std::uint16_t v = s.params[i];
    if (v >= effects.size()) continue;
    e.pen_set = (e.pen_set & effects[v].keep) | effects[v].set;
    e.pen_keep &= effects[v].keep;
  }
  return e;
}

void TerminalScreen::csi_dispatch(const ControlSequence& s) {
  csi_dispatch(compile(s));
}

// The one place a sequence's effect is applied, with no branch on which
// sequence it was: cached sequences come here straight from the parser.
void TerminalScreen::csi_dispatch(const SequenceEffect& e) {
  pen_ = (pen_ & e.pen_keep) | e.pen_set;
  const int row = (static_cast<int>(cursor_row_) & -int{e.keep_row}) + e.row_move;
  cursor_row_ = static_cast<unsigned>(std::min(std::max(row, 0), static_cast<int>(rows_) - 1));
  const int column = (static_cast<int>(cursor_column_) & -int{e.keep_column}) + e.column_move;
  const int last_column = static_cast<int>(columns_) - 1 + e.column_untouched;
  cursor_column_ = static_cast<unsigned>(std::min(std::max(column, 0), last_column));
  if (e.erase_display) {
    erase_display();
    return;
  }
  // Blanking to the line end is a lowered mark; a sequence that erases
  // nothing lowers it to a column past the row, which changes nothing.
  const unsigned from = (cursor_column_ & e.erase_column_mask) + e.erase_from;
  const bool erases = from < columns_;
  unsigned& settled = settled_[physical_row(cursor_row_)];
  settled = std::min(settled, from);
  damage_[cursor_row_] = static_cast<std::uint8_t>(damage_[cursor_row_] | erases);
  any_damage_ = any_damage_ || erases;
}

// Intermediates and private markers are deliberately not looked at.
SequenceEffect TerminalScreen::compile(const ControlSequence& s) {
  switch (s.final_byte) {
    case 'A':
      return cursor_up(count_param(s, 0));
    case 'B':
      return cursor_down(count_param(s, 0));
    case 'C':
      return cursor_forward(count_param(s, 0));
    case 'D':
      return cursor_back(count_param(s, 0));
    case 'G':
      return cursor_horizontal_absolute(count_param(s, 0));
    case 'H':
    case 'f':
      return cursor_position(count_param(s, 0), count_param(s, 1));
    case 'J':
      return erase_in_display(s.param(0, 0));
    case 'K':
      return erase_in_line(s.param(0, 0));
    case 'm':
      return select_graphic_rendition(s);
    default:
      return {};
  }
}

void TerminalScreen::backspace() {  // BS
  if (cursor_column_ > 0) --cursor_column_;
}

void TerminalScreen::horizontal_tab() {  // HT, fixed stops every 8 columns
  cursor_column_ = std::min(cursor_column_ / 8 * 8 + 8, columns_ - 1);
}

void TerminalScreen::carriage_return() {
  cursor_column_ = 0;
}  // CR

}  // namespace terminal
