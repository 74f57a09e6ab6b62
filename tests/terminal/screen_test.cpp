// Transcripts: bytes in, cells and cursor out. Every case also runs with its
// input split at every byte boundary and fed one byte at a time, since shell
// output arrives in arbitrary chunks.

#include "terminal/screen.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace terminal {
namespace {

struct CellCheck {
  unsigned row;
  unsigned column;
  char32_t character;
  std::optional<std::uint8_t> colour;
  bool bold;
};

struct Transcript {
  const char* name;
  unsigned columns;
  unsigned rows;
  std::string input;
  std::vector<std::string> text;  // top rows, trailing blanks trimmed; the rest blank
  unsigned cursor_row;
  unsigned cursor_column;
  std::vector<CellCheck> cells = {};
};

std::string utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

std::string row_text(const TerminalScreen& screen, unsigned r) {
  std::string out;
  for (TerminalCell cell : screen.row(r))
    out += utf8(cell.character());
  out.erase(out.find_last_not_of(' ') + 1);
  return out;
}

void expect_transcript(const TerminalScreen& screen, const Transcript& t) {
  for (unsigned r = 0; r < screen.rows(); ++r) {
    const std::string want = r < t.text.size() ? t.text[r] : "";
    EXPECT_EQ(row_text(screen, r), want) << "row " << r;
  }
  EXPECT_EQ(screen.cursor_row(), t.cursor_row);
  EXPECT_EQ(screen.cursor_column(), t.cursor_column);
  for (const CellCheck& c : t.cells) {
    const TerminalCell cell = screen.cell(c.row, c.column);
    EXPECT_EQ(cell, TerminalCell(c.character, c.colour, c.bold))
        << "cell " << c.row << "," << c.column << ": U+" << std::hex
        << static_cast<unsigned>(cell.character()) << " colour "
        << (cell.colour() ? int{*cell.colour()} : -1) << " bold " << cell.bold();
  }
}

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i)
    out += s;
  return out;
}

const std::vector<Transcript>& transcripts() {
  static const std::vector<Transcript> cases = {
      // Printing and wrapping.
      {"full row leaves wrap pending", 80, 24, repeat("x", 80), {repeat("x", 80)}, 0, 80},
      {"81st character starts next row", 80, 24, repeat("x", 81), {repeat("x", 80), "x"}, 1, 1},
      {"wrap on last row scrolls", 4, 2, "abcdefghi", {"efgh", "i"}, 1, 1},
      {"zero size is raised to one", 0, 0, "ab", {"b"}, 0, 1},
      {"DEL is printed", 10, 2, "a\x7f", {"a\x7f"}, 0, 2, {{0, 1, 0x7F, {}, false}}},
      // Line feeds and C0 controls.
      {"CR LF on last row scrolls to a blank default row",
       4,
       2,
       "\x1b[31mab\r\ncd\r\n",
       {"cd"},
       1,
       0,
       {{0, 0, 'c', 1, false}, {1, 0, ' ', {}, false}}},
      {"LF keeps the column", 10, 3, "ab\nc", {"ab", "  c"}, 1, 3},
      {"VT and FF are line feeds",
       10,
       3,
       "a\x0b"
       "b\x0c"
       "c",
       {"a", " b", "  c"},
       2,
       3},
      {"BS stops at column 0", 10, 2, "\b\bab\b\bX", {"Xb"}, 0, 1},
      {"HT from column 75 stops at the last column", 80, 2, "\x1b[76G\t", {}, 0, 79},
      {"HT from column 8 goes to 16", 80, 2, "\x1b[9G\t", {}, 0, 16},
      {"HT from column 0 goes to 8", 80, 2, "\tx", {"        x"}, 0, 9},
      {"HT with wrap pending", 80, 2, repeat("x", 80) + "\t", {repeat("x", 80)}, 0, 79},
      {"BEL, NUL, SO and SI do nothing",
       10,
       2,
       std::string("a\x07\0\x0e\x0f"
                   "b",
                   6),
       {"ab"},
       0,
       2},
      // Cursor movement.
      {"CUP is one-based", 80, 24, "\x1b[5;10H", {}, 4, 9},
      {"CUP without parameters homes", 80, 24, "\x1b[5;10H\x1b[H", {}, 0, 0},
      {"CUP with zeros homes", 80, 24, "\x1b[5;10H\x1b[0;0H", {}, 0, 0},
      {"CUP clamps", 80, 24, "\x1b[99;99H", {}, 23, 79},
      {"HVP is CUP", 80, 24, "\x1b[2;3f", {}, 1, 2},
      {"CUP ignores sub-parameters", 80, 24, "\x1b[5:3;10H", {}, 4, 9},
      {"CUU 0 moves one", 10, 5, "\x1b[3;1H\x1b[0A", {}, 1, 0},
      {"CUU without parameter moves one", 10, 5, "\x1b[3;1H\x1b[A", {}, 1, 0},
      {"CUU clamps at top", 10, 5, "\x1b[3;1H\x1b[9A", {}, 0, 0},
      {"CUD clamps at bottom", 10, 5, "\x1b[99B", {}, 4, 0},
      {"CUF clamps at last column", 10, 5, "\x1b[99C", {}, 0, 9},
      {"CUB clamps at column 0", 10, 5, "abc\x1b[9D", {"abc"}, 0, 0},
      {"CUF from wrap pending", 4, 2, "abcd\x1b[C", {"abcd"}, 0, 3},
      {"CUB from wrap pending then print", 4, 2, "abcd\x1b[DX", {"abcX"}, 0, 4},
      {"CHA", 10, 2, "\x1b[4Gx\x1b[Gy\x1b[99Gz", {"y  x     z"}, 0, 10},
      {"huge parameter saturates", 80, 24, "\x1b[99999999999999999999C", {}, 0, 79},
      {"private marker and intermediate are ignored", 10, 5, "\x1b[3;1H\x1b[?1 A", {}, 1, 0},
      // Erasing.
      {"ED 2 blanks everything, cursor stays", 10, 3, "abc\r\ndef\x1b[2J", {}, 1, 3},
      {"ED 3 blanks everything", 10, 3, "abc\r\ndef\x1b[3J", {}, 1, 3},
      {"ED private 2 is ED 2", 10, 3, "abc\r\ndef\x1b[?2J", {}, 1, 3},
      {"ED 0 erases only to line end", 10, 3, "abc\r\ndef\x1b[1;2H\x1b[J", {"a", "def"}, 0, 1},
      {"ED 1 erases only to line end", 10, 3, "abc\r\ndef\x1b[1;2H\x1b[1J", {"a", "def"}, 0, 1},
      {"EL erases to line end", 10, 2, "abcdef\x1b[3G\x1b[K", {"ab"}, 0, 2},
      {"EL 1 erases to line end too", 10, 2, "abcdef\x1b[3G\x1b[1K", {"ab"}, 0, 2},
      {"EL 2 erases the whole line", 10, 2, "abcdef\x1b[3G\x1b[2K", {}, 0, 2},
      {"EL with wrap pending erases nothing", 4, 2, "abcd\x1b[K", {"abcd"}, 0, 4},
      {"erase uses the blank cell, not the pen",
       4,
       2,
       "\x1b[1;32mab\x1b[2K",
       {},
       0,
       2,
       {{0, 0, ' ', {}, false}}},
      // Graphic rendition.
      {"SGR bold, colour, 22, reset",
       10,
       2,
       "\x1b[1;31mA\x1b[22mB\x1b[mC",
       {"ABC"},
       0,
       3,
       {{0, 0, 'A', 1, true}, {0, 1, 'B', 1, false}, {0, 2, 'C', {}, false}}},
      {"SGR 256-colour form changes nothing",
       10,
       2,
       "\x1b[31m\x1b[48;5;4mD",
       {"D"},
       0,
       1,
       {{0, 0, 'D', 1, false}}},
      {"SGR bright colour",
       10,
       2,
       "\x1b[93mE\x1b[39mF",
       {"EF"},
       0,
       2,
       {{0, 0, 'E', 11, false}, {0, 1, 'F', {}, false}}},
      {"SGR colour range ends",
       10,
       2,
       "\x1b[30ma\x1b[37mb\x1b[90mc\x1b[97md\x1b[38;38;98me",
       {"abcde"},
       0,
       5,
       {{0, 0, 'a', 0, false},
        {0, 1, 'b', 7, false},
        {0, 2, 'c', 8, false},
        {0, 3, 'd', 15, false},
        {0, 4, 'e', 15, false}}},
      {"SGR empty group resets", 10, 2, "\x1b[31;;1mX", {"X"}, 0, 1, {{0, 0, 'X', {}, true}}},
      {"SGR sub-parameters are ignored",
       10,
       2,
       "\x1b[38:5:1;1mX",
       {"X"},
       0,
       1,
       {{0, 0, 'X', {}, true}}},
      {"SGR 33rd group is dropped",
       10,
       2,
       "\x1b[" + repeat("0;", 32) + "31mX",
       {"X"},
       0,
       1,
       {{0, 0, 'X', {}, false}}},
      {"SGR 32nd group counts",
       10,
       2,
       "\x1b[" + repeat("0;", 31) + "31mX",
       {"X"},
       0,
       1,
       {{0, 0, 'X', 1, false}}},
      // UTF-8.
      {"two, three and four byte characters",
       10,
       2,
       "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80!",
       {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80!"},
       0,
       4,
       {{0, 2, 0x1F600, {}, false}}},
      {"invalid lead byte",
       10,
       2,
       "\xff"
       "A",
       {"\xef\xbf\xbd"
        "A"},
       0,
       2},
      {"truncated sequence is one replacement",
       10,
       2,
       "\xe2\x82"
       "A",
       {"\xef\xbf\xbd"
        "A"},
       0,
       2},
      {"overlong form", 10, 2, "\xc0\xaf", {"\xef\xbf\xbd\xef\xbf\xbd"}, 0, 2},
      {"surrogate", 10, 2, "\xed\xa0\x80", {"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"}, 0, 3},
      {"ESC inside a character",
       10,
       2,
       "\xc3\x1b[31mA",
       {"\xef\xbf\xbd"
        "A"},
       0,
       2,
       {{0, 1, 'A', 1, false}}},
      {"C1 control in UTF-8 is executed, not printed",
       10,
       2,
       "a\xc2\x85"
       "b",
       {"ab"},
       0,
       2},
      {"C1 CSI does not start a sequence",
       10,
       2,
       "\xc2\x9b"
       "2J",
       {"2J"},
       0,
       2},
      // Ignored and malformed sequences.
      {"OSC ended by BEL",
       10,
       2,
       "a\x1b]0;title\x07"
       "b",
       {"ab"},
       0,
       2},
      {"OSC keeps going past controls it ignores",
       10,
       2,
       "a\x1b]0;x\ry\x07"
       "b",
       {"ab"},
       0,
       2},
      {"empty OSC",
       10,
       2,
       "a\x1b]\x07"
       "b",
       {"ab"},
       0,
       2},
      {"charset choice is inert", 10, 2, "a\x1b(Bb\x1b)0c", {"abc"}, 0, 3},
      {"ESC DEL waits for the final",
       10,
       2,
       "a\x1b\x7f"
       "7b",
       {"ab"},
       0,
       2},
      {"OSC ended by ESC backslash", 10, 2, "a\x1b]0;t\xc3\xa9\x1b\\b", {"ab"}, 0, 2},
      {"DCS is consumed", 10, 2, "a\x1bPq#0;2;0\x07x\x1b\\b", {"ab"}, 0, 2},
      {"APC is consumed", 10, 2, "a\x1b_hidden\x1b\\b", {"ab"}, 0, 2},
      {"ESC 7, ESC 8, ESC c, DECSET 1049 do nothing",
       10,
       2,
       "ab\x1b"
       "7\x1b"
       "8\x1b"
       "c\x1b[?1049h",
       {"ab"},
       0,
       2},
      {"CAN abandons a CSI", 10, 2, "\x1b[31\x18mX", {"mX"}, 0, 2, {{0, 1, 'X', {}, false}}},
      {"SUB abandons a CSI", 10, 2, "\x1b[31\x1amX", {"mX"}, 0, 2},
      {"CAN abandons an OSC", 10, 2, "\x1b]0;t\x18x", {"x"}, 0, 1},
      {"control inside CSI runs at once", 10, 2, "abc\x1b[2\rC", {"abc"}, 0, 2},
      {"marker after parameters drops the sequence", 10, 2, "\x1b[2?Cx", {"x"}, 0, 1},
      {"too many intermediates drop the sequence", 10, 2, "\x1b[2 !\"Cx", {"x"}, 0, 1},
      {"non-ASCII inside CSI drops it",
       10,
       2,
       "\x1b[2\xc3\xa9"
       "Cx",
       {"x"},
       0,
       1},
      // Rows scrolled in or erased keep their old cells in memory until
      // written; every way of reaching past the written part must show blank.
      {"scrolled-in row is blank before a later write",
       4,
       2,
       "abcd\r\nefgh\n\x1b[3GX",
       {"efgh", "  X"},
       1,
       3},
      {"long text scrolls many reused rows", 3, 2, "abcdefghij", {"ghi", "j"}, 1, 1},
      {"erased row end is blank before a later write",
       6,
       2,
       "abcdef\x1b[2G\x1b[K\x1b[5GX",
       {"a   X"},
       0,
       5},
      {"erased line is blank around a later write", 6, 2, "abcdef\x1b[2K\x1b[3GX", {"  X"}, 0, 3},
      {"erased display is blank before a later write",
       4,
       2,
       "abcd\r\nefgh\x1b[2J\x1b[2;3HX",
       {"", "  X"},
       1,
       3},
      {"unsupported finals do nothing",
       10,
       3,
       "ab\x1b[2L\x1b[M\x1b[P\x1b[S\x1b[T\x1b[X\x1b[3d",
       {"ab"},
       0,
       2},
  };
  return cases;
}

std::vector<TerminalCell> all_cells(const TerminalScreen& s) {
  std::vector<TerminalCell> out;
  for (unsigned r = 0; r < s.rows(); ++r) {
    const auto row = s.row(r);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

TEST(TerminalScreen, Transcripts) {
  for (const Transcript& t : transcripts()) {
    SCOPED_TRACE(t.name);
    TerminalScreen whole(t.columns, t.rows);
    whole.feed(t.input);
    expect_transcript(whole, t);

    // Any split gives exactly the same grid and cursor.
    const std::vector<TerminalCell> want = all_cells(whole);
    for (std::size_t k = 1; k < t.input.size(); ++k) {
      TerminalScreen split(t.columns, t.rows);
      split.feed(std::string_view(t.input).substr(0, k));
      split.feed(std::string_view(t.input).substr(k));
      ASSERT_EQ(all_cells(split), want) << "split at " << k;
      ASSERT_EQ(split.cursor_row(), whole.cursor_row()) << "split at " << k;
      ASSERT_EQ(split.cursor_column(), whole.cursor_column()) << "split at " << k;
    }
    TerminalScreen bytewise(t.columns, t.rows);
    for (char c : t.input)
      bytewise.feed(std::string_view(&c, 1));
    ASSERT_EQ(all_cells(bytewise), want) << "byte at a time";
    ASSERT_EQ(bytewise.cursor_column(), whole.cursor_column()) << "byte at a time";
  }
}

// Runs of every length from every start column, over a row that already
// holds text: the run's cells get the character and the pen, the cells
// before and after it keep what they had, and the rest wraps to the next row.
TEST(TerminalScreen, PrintsRunsOfEveryLength) {
  constexpr unsigned columns = 37;
  const std::string old_text = repeat("#", columns);
  for (unsigned start = 0; start < columns; ++start) {
    for (unsigned length = 1; length <= 2 * columns; ++length) {
      SCOPED_TRACE(testing::Message() << "start " << start << " length " << length);
      TerminalScreen s(columns, 3);
      s.feed(old_text + "\r\n" + old_text + "\x1b[1;" + std::to_string(start + 1) + "H\x1b[1;35m");
      std::string run;
      for (unsigned i = 0; i < length; ++i)
        run += static_cast<char>('!' + i % 90);
      s.feed(run);
      for (unsigned r = 0; r < 3; ++r) {
        for (unsigned c = 0; c < columns; ++c) {
          const unsigned index = r * columns + c;
          TerminalCell want = TerminalCell(U' ', std::nullopt, false);
          if (index >= start && index < start + length) {
            want = TerminalCell(static_cast<char32_t>(run[index - start]), 5, true);
          } else if (r < 2) {
            want = TerminalCell(U'#', std::nullopt, false);
          }
          ASSERT_EQ(s.cell(r, c), want) << "cell " << r << "," << c;
        }
      }
      const unsigned at = start + length;
      EXPECT_EQ(s.cursor_row(), (at - 1) / columns);
      EXPECT_EQ(s.cursor_column(), at - (at - 1) / columns * columns);
    }
  }
}

// Shell output of every kind from a seed: runs of text of any length,
// characters valid and broken, sequences whole, split, malformed and
// ignored, short sequences with many distinct parameters, and stray bytes.
std::string noisy_output(unsigned seed, std::size_t events) {
  static const std::vector<std::string> pieces = {"\xc3\xa9",
                                                  "\xe2\x82\xac",
                                                  "\xf0\x9f\x98\x80",
                                                  "\xc2\x85",
                                                  "\xe2\x82",
                                                  "\xed\xa0\x80",
                                                  "\xf4\x90\x80\x80",
                                                  "\xc0\xaf",
                                                  "\x80",
                                                  "\xff",
                                                  "\r\n",
                                                  "\r",
                                                  "\n",
                                                  "\t",
                                                  "\b",
                                                  "\x07",
                                                  "\x1b",
                                                  "\x1b(B",
                                                  "\x1b"
                                                  "7",
                                                  "\x1b]0;title\x07",
                                                  "\x1bP1$r\x1b\\",
                                                  "\x1b[m",
                                                  "\x1b[0m",
                                                  "\x1b[1;31m",
                                                  "\x1b[22;39m",
                                                  "\x1b[38;5;208m",
                                                  "\x1b[4:3m",
                                                  "\x1b[?25l",
                                                  "\x1b[K",
                                                  "\x1b[1K",
                                                  "\x1b[2K",
                                                  "\x1b[J",
                                                  "\x1b[2J",
                                                  "\x1b[H",
                                                  "\x1b[3C",
                                                  "\x1b[2D",
                                                  "\x1b[1;2$p",
                                                  "\x1b[1\x18",
                                                  "\x1b[;;;;;;m",
                                                  "\x1b[99999A",
                                                  "\x7f"};
  std::mt19937 rng(seed);
  const auto pick = [&rng](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  std::string out;
  for (std::size_t i = 0; i < events; ++i) {
    switch (pick(6)) {
      case 0:
      case 1:
        for (std::size_t n = 1 + pick(70); n > 0; --n)
          out += static_cast<char>(0x20 + pick(95));
        break;
      case 2:
      case 3:
        out += pieces[pick(pieces.size())];
        break;
      case 4:
        out += "\x1b[" + std::to_string(pick(30));
        if (pick(2) != 0) out += ";" + std::to_string(pick(100));
        out += "ABCDGHJKmf"[pick(10)];
        break;
      default:
        out += static_cast<char>(pick(256));
        break;
    }
  }
  return out;
}

// Whole writes take the parser's block and cache paths, which a byte at a
// time never can; the screens must agree in every cell, the cursor, the pen
// and damage.
TEST(TerminalScreen, LargeWritesMatchBytewiseFeeding) {
  const struct {
    unsigned columns;
    unsigned rows;
  } sizes[] = {{80, 24}, {7, 3}, {1, 1}, {33, 2}};
  for (unsigned seed = 1; seed <= 3; ++seed) {
    const std::string input = noisy_output(seed, 3000);
    for (const auto& size : sizes) {
      SCOPED_TRACE(testing::Message()
                   << "seed " << seed << " size " << size.columns << "x" << size.rows);
      TerminalScreen bytewise(size.columns, size.rows);
      for (char c : input)
        bytewise.feed(std::string_view(&c, 1));
      for (std::size_t chunk : {std::size_t{4096}, std::size_t{37}}) {
        TerminalScreen s(size.columns, size.rows);
        for (std::size_t at = 0; at < input.size(); at += chunk)
          s.feed(std::string_view(input).substr(at, chunk));
        ASSERT_EQ(all_cells(s), all_cells(bytewise)) << "chunk " << chunk;
        EXPECT_EQ(s.cursor_row(), bytewise.cursor_row());
        EXPECT_EQ(s.cursor_column(), bytewise.cursor_column());
        EXPECT_EQ(s.pen_colour(), bytewise.pen_colour());
        EXPECT_EQ(s.pen_bold(), bytewise.pen_bold());
        for (unsigned r = 0; r < size.rows; ++r)
          EXPECT_EQ(s.row_damaged(r), bytewise.row_damaged(r)) << "row " << r;
      }
    }
  }
}

TEST(TerminalScreen, StartsBlankWithDefaultPen) {
  const TerminalScreen s(80, 24);
  EXPECT_EQ(s.columns(), 80u);
  EXPECT_EQ(s.rows(), 24u);
  EXPECT_EQ(s.pen_colour(), std::nullopt);
  EXPECT_FALSE(s.pen_bold());
  for (TerminalCell c : all_cells(s))
    ASSERT_EQ(c, TerminalCell(U' ', std::nullopt, false));
}

TEST(TerminalScreen, HugeSizeIsClamped) {
  const TerminalScreen s(1u << 31, 1u << 31);
  EXPECT_EQ(s.columns(), max_screen_columns);
  EXPECT_EQ(s.rows(), max_screen_rows);
}

TEST(TerminalScreen, DamageMarksWrittenRows) {
  const auto damaged = [](const TerminalScreen& s) {
    std::string out;
    for (unsigned r = 0; r < s.rows(); ++r)
      out += s.row_damaged(r) ? '1' : '0';
    return out;
  };
  const struct {
    const char* name;
    std::string input;
    std::string rows;
  } cases[] = {
      {"cursor moves and ignored sequences", "\x1b[3;1H\x1b[5C\x1b]0;t\x07\x1b[31m\r\n", "0000"},
      {"printing", "\x1b[3;1Hab\xc3\xa9", "0010"},
      {"wrapping", "\x1b[2;8Habcd", "0110"},
      {"erase in line", "\x1b[2;1H\x1b[K\x1b[4;1H\x1b[2K", "0101"},
      {"erase in display", "\x1b[2J", "1111"},
      {"scrolling", "\x1b[4;1H\n", "1111"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TerminalScreen s(10, 4);
    EXPECT_EQ(damaged(s), "1111");
    EXPECT_TRUE(s.any_damage());
    s.clear_damage();
    EXPECT_EQ(damaged(s), "0000");
    EXPECT_FALSE(s.any_damage());
    s.feed(c.input);
    EXPECT_EQ(damaged(s), c.rows);
    EXPECT_EQ(s.any_damage(), c.rows != "0000");
  }
}

TEST(TerminalScreen, SnapshotFollowsScrolledRows) {
  TerminalScreen s(3, 3);
  s.feed("aaa\r\nbbb\r\nccc\r\nd\r\ne");  // scrolled twice: ring no longer at its start
  TerminalSnapshot snap;
  s.snapshot(snap);
  EXPECT_EQ(snap.columns, 3u);
  EXPECT_EQ(snap.rows, 3u);
  EXPECT_EQ(snap.cursor_row, 2u);
  EXPECT_EQ(snap.cursor_column, 1u);
  for (unsigned r = 0; r < 3; ++r) {
    SCOPED_TRACE(r);
    EXPECT_TRUE(std::ranges::equal(snap.row(r), s.row(r)));
  }
  EXPECT_EQ(snap.row(0)[0].character(), U'c');
  EXPECT_EQ(snap.row(2)[0].character(), U'e');
  EXPECT_EQ(snap.row(2)[1], TerminalCell());  // the reused row's old text is gone
}

TEST(TerminalCell, PacksEveryFieldAndSanitises) {
  const TerminalCell c(0x10FFFF, 15, true);
  EXPECT_EQ(c.character(), char32_t{0x10FFFF});
  EXPECT_EQ(c.colour(), std::uint8_t{15});
  EXPECT_TRUE(c.bold());
  EXPECT_EQ(TerminalCell(0x110000, 16, false), TerminalCell(0xFFFD, std::nullopt, false));
  EXPECT_EQ(TerminalCell(), TerminalCell(U' ', std::nullopt, false));
}

}  // namespace
}  // namespace terminal
