#pragma once

// The terminal grid fed with the bytes a remote shell prints: plain text, the
// common C0 controls, cursor movement, erasing and foreground colours with
// bold. Everything else is parsed and ignored. No scrollback, alternate
// screen, background colour or resizing.
//
// Owned and used by one thread (the user-interface thread); no locking.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "terminal/parser.h"

namespace terminal {

// One character cell packed into 32 bits so a whole grid copies cheaply:
// bits 0-20 hold the character (a Unicode scalar value), bits 21-25 the
// colour (0 for the default foreground, else index + 1), bit 26 bold.
class TerminalCell {
 public:
  // The blank cell: space, default colour, not bold.
  constexpr TerminalCell() = default;
  constexpr TerminalCell(char32_t character, std::optional<std::uint8_t> colour, bool bold)
      : bits_(character_bits(character) | colour_bits(colour) | (bold ? bold_bit : 0u)) {}

  constexpr char32_t character() const { return bits_ & character_mask; }
  // Colour index 0-15, or nullopt for the default foreground.
  constexpr std::optional<std::uint8_t> colour() const {
    const std::uint32_t c = (bits_ >> colour_shift) & 0x1Fu;
    if (c == 0) return std::nullopt;
    return static_cast<std::uint8_t>(c - 1);
  }
  constexpr bool bold() const { return (bits_ & bold_bit) != 0; }

  constexpr bool operator==(const TerminalCell&) const = default;

 private:
  friend class TerminalScreen;

  static constexpr std::uint32_t character_mask = 0x1FFFFF;
  static constexpr unsigned colour_shift = 21;
  static constexpr std::uint32_t bold_bit = 1u << 26;

  static constexpr std::uint32_t character_bits(char32_t c) {
    return c <= 0x10FFFF ? static_cast<std::uint32_t>(c) : 0xFFFDu;
  }
  static constexpr std::uint32_t colour_bits(std::optional<std::uint8_t> colour) {
    if (!colour || *colour > 15) return 0;
    return static_cast<std::uint32_t>(*colour + 1) << colour_shift;
  }
  static constexpr TerminalCell from_bits(std::uint32_t bits) {
    TerminalCell cell;
    cell.bits_ = bits;
    return cell;
  }

  std::uint32_t bits_ = U' ';
};

static_assert(sizeof(TerminalCell) == 4);

// A copy of the visible state, rows in order and contiguous, for drawing.
struct TerminalSnapshot {
  unsigned columns = 0;
  unsigned rows = 0;
  unsigned cursor_column = 0;  // equal to columns while a wrap is pending
  unsigned cursor_row = 0;
  std::vector<TerminalCell> cells;  // rows * columns, row-major

  std::span<const TerminalCell> row(unsigned r) const {
    return std::span<const TerminalCell>(cells).subspan(std::size_t{r} * columns, columns);
  }
};

// What a control sequence does to the screen, in one form for every
// sequence the screen acts on: the pen is partly kept and partly set; the
// row and the column are each kept and moved, or replaced, then clamped into
// the grid; then an erase. Applying one needs no branch on which sequence it
// came from. It depends on the sequence alone, so the parser may keep it.
struct SequenceEffect {
  std::uint32_t pen_keep = ~0u;
  std::uint32_t pen_set = 0;
  std::int16_t row_move = 0;     // added to the row, or the row when !keep_row
  std::int16_t column_move = 0;  // likewise for the column
  std::uint8_t keep_row = 1;
  std::uint8_t keep_column = 1;
  // 1 while the column is not moved: it may then stay just past the last
  // column, where a wrap is pending.
  std::uint8_t column_untouched = 1;
  bool erase_display = false;
  // Cells from (cursor column & mask) + from to the line end are blanked;
  // the default lies past any row, so nothing is.
  std::uint16_t erase_column_mask = 0;
  std::uint16_t erase_from = 0xFFFF;
};

class TerminalScreen {
 public:
  // Sizes below 1 are raised to 1 and sizes above max_screen_columns or
  // max_screen_rows lowered to them. Every cell starts blank, the cursor at
  // row 0, column 0, the pen at default colour and not bold.
  TerminalScreen(unsigned columns, unsigned rows);

  // Runs the bytes through the parser into the grid. Any bytes are accepted;
  // partial sequences and characters carry over to the next call.
  void feed(std::span<const std::uint8_t> bytes);
  void feed(std::string_view bytes);

  unsigned columns() const { return columns_; }
  unsigned rows() const { return rows_; }
  // 0 to columns; the value columns means a wrap is pending.
  unsigned cursor_column() const { return cursor_column_; }
  unsigned cursor_row() const { return cursor_row_; }
  std::optional<std::uint8_t> pen_colour() const { return TerminalCell::from_bits(pen_).colour(); }
  bool pen_bold() const { return (pen_ & TerminalCell::bold_bit) != 0; }

  // Row r (0 at the top) as a view into the grid, valid until the next feed.
  // Blanking that feeding deferred is done here, on the rows looked at.
  std::span<const TerminalCell> row(unsigned r) const;
  TerminalCell cell(unsigned r, unsigned column) const { return row(r)[column]; }

  // Damage: whether any cell of row r may have changed since clear_damage()
  // (scrolling or erasing the display damages every row). A new screen is
  // wholly damaged. The cursor is not part of damage; compare it yourself.
  bool row_damaged(unsigned r) const { return all_damaged_ || damage_[r] != 0; }
  bool any_damage() const { return any_damage_; }
  void clear_damage();

  // Copies the whole visible state into `out`, reusing its storage.
  void snapshot(TerminalSnapshot& out) const;

 private:
  // Parser actions.
  friend class Parser;
  void print_ascii(std::string_view run, std::size_t readable);
  // Any run, wrapping as it goes; kept out of line, away from the parser's
  // loop, since few runs need it.
  [[gnu::noinline]] void print_ascii_wrapping(std::string_view run);
  void print(char32_t character);
  void execute(char32_t control);
  void csi_dispatch(const ControlSequence& sequence);
  // Sequences in the parser's cache come compiled.
  using CompiledSequence = SequenceEffect;
  static SequenceEffect compile(const ControlSequence& sequence);
  static SequenceEffect select_graphic_rendition(const ControlSequence& sequence);  // SGR
  void csi_dispatch(const SequenceEffect& effect);

  // Grid operations (screen.cpp, and dispatch.cpp for the ones printing
  // uses, so they compile into the parser's loop).
  unsigned physical_row(unsigned r) const {
    // Arithmetic rather than a condition: which rows wrap around the ring
    // follows no pattern a branch predictor could learn.
    const unsigned physical = top_ + r;
    return physical - (rows_ & -static_cast<unsigned>(physical >= rows_));
  }
  // Cells of row r, ready for writing columns [from, to): any deferred
  // blanking before `from` is done first. Marks the row damaged.
  TerminalCell* writable(unsigned r, unsigned from, unsigned to);
  // Does the deferred blanking of physical row p.
  void settle(unsigned p) const;
  void line_feed();
  void wrap_if_pending();
  void erase_display();

  // Controls (dispatch.cpp, beside the function for each sequence).
  void backspace();        // BS
  void horizontal_tab();   // HT
  void carriage_return();  // CR

  unsigned columns_;
  unsigned rows_;
  // Cells from one row to the next in storage: the columns, then
  // row_padding cells that are never shown. Printing stores blocks of
  // sixteen cells from the cursor on, and blanks such blocks from the row's
  // mark on; the padding keeps them inside the row.
  static constexpr unsigned row_padding = 16;
  // Longest run printed in blocks without the general loop.
  static constexpr std::size_t max_block_run = 32;
  std::size_t stride_;
  unsigned cursor_column_ = 0;
  unsigned cursor_row_ = 0;
  std::uint32_t pen_ = 0;  // colour and bold bits of TerminalCell
  // rows_ rows of stride_ cells; logical row r lives at physical row
  // (top_ + r) % rows_, so scrolling moves no cells.
  // Blanking is deferred: in physical row p, the cells from column
  // settled_[p] on are blank whatever they hold. Scrolling and erasing to the
  // line end then only lower that mark; the cells are written when printing
  // reaches past it or a reader asks for the row. Mutable because a reader's
  // request settles rows without changing what the screen shows.
  mutable std::vector<TerminalCell> cells_;
  mutable std::vector<unsigned> settled_;
  unsigned top_ = 0;
  std::vector<std::uint8_t> damage_;  // by logical row
  bool all_damaged_ = true;
  bool any_damage_ = true;
  Parser parser_;
};

}  // namespace terminal
