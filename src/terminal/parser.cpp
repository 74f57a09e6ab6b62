#include "terminal/parser.h"

#include <cstring>

namespace terminal {
namespace {

// What the state machine does with one character before moving on.
enum class Act : std::uint8_t {
  Ignore,
  Print,
  Execute,
  Clear,        // entering Escape: forget any earlier sequence
  Collect,      // intermediate byte
  Marker,       // private marker "<=>?" at the start of a CSI
  Param,        // digit, ":" or ";"
  EscDispatch,  // complete ESC sequence; the screen has no use for any
  CsiDispatch,
};

// Character classes: 0x00-0x7F stand for themselves; two more classes cover
// the C1 controls and every printable non-ASCII character.
constexpr std::size_t class_c1 = 0x80;
constexpr std::size_t class_high = 0x81;
constexpr std::size_t class_count = 0x82;
constexpr std::size_t state_count = 10;

struct Entry {
  Act act = Act::Ignore;
  ParserState next = ParserState::Ground;
};

using Row = std::array<Entry, class_count>;
using Table = std::array<Row, state_count>;

constexpr void set(Row& row, std::size_t from, std::size_t to, Act act, ParserState next) {
  for (std::size_t c = from; c <= to; ++c) row[c] = Entry{act, next};
}

// C0 controls other than CAN, SUB and ESC, which the caller sets as "anywhere".
constexpr void set_c0(Row& row, Act act, ParserState next) {
  set(row, 0x00, 0x17, act, next);
  set(row, 0x19, 0x19, act, next);
  set(row, 0x1C, 0x1F, act, next);
}

// Transitions shared by every state: CAN and SUB abandon the sequence after
// being executed, ESC starts a new one, and a C1 control is executed and
// ends whatever was in progress.
constexpr void set_anywhere(Row& row) {
  set(row, 0x18, 0x18, Act::Execute, ParserState::Ground);
  set(row, 0x1A, 0x1A, Act::Execute, ParserState::Ground);
  set(row, 0x1B, 0x1B, Act::Clear, ParserState::Escape);
  set(row, class_c1, class_c1, Act::Execute, ParserState::Ground);
}

// One row per state, each listing what it accepts and where it goes next.
constexpr Table build_table() {
  using S = ParserState;
  Table t{};
  auto row = [&t](S s) -> Row& { return t[static_cast<std::size_t>(s)]; };

  // Ground: controls execute, everything printable prints.
  {
    Row& r = row(S::Ground);
    set_c0(r, Act::Execute, S::Ground);
    set(r, 0x20, 0x7F, Act::Print, S::Ground);
    set(r, class_high, class_high, Act::Print, S::Ground);
  }
  // Escape: intermediates collect, "[" "]" "P" "X" "^" "_" open CSI, OSC,
  // DCS and strings, any other final dispatches. A non-ASCII character is
  // not a valid final: the sequence is dropped.
  {
    Row& r = row(S::Escape);
    set_c0(r, Act::Execute, S::Escape);
    set(r, 0x20, 0x2F, Act::Collect, S::EscapeIntermediate);
    set(r, 0x30, 0x7E, Act::EscDispatch, S::Ground);
    set(r, '[', '[', Act::Ignore, S::CsiEntry);
    set(r, ']', ']', Act::Ignore, S::OscString);
    set(r, 'P', 'P', Act::Ignore, S::DcsString);
    set(r, 'X', 'X', Act::Ignore, S::SosPmApcString);
    set(r, '^', '^', Act::Ignore, S::SosPmApcString);
    set(r, '_', '_', Act::Ignore, S::SosPmApcString);
    set(r, 0x7F, 0x7F, Act::Ignore, S::Escape);
    set(r, class_high, class_high, Act::Ignore, S::Ground);
  }
  {
    Row& r = row(S::EscapeIntermediate);
    set_c0(r, Act::Execute, S::EscapeIntermediate);
    set(r, 0x20, 0x2F, Act::Collect, S::EscapeIntermediate);
    set(r, 0x30, 0x7E, Act::EscDispatch, S::Ground);
    set(r, 0x7F, 0x7F, Act::Ignore, S::EscapeIntermediate);
    set(r, class_high, class_high, Act::Ignore, S::Ground);
  }
  // CSI entry: parameters or a private marker may follow; a final dispatches.
  {
    Row& r = row(S::CsiEntry);
    set_c0(r, Act::Execute, S::CsiEntry);
    set(r, 0x20, 0x2F, Act::Collect, S::CsiIntermediate);
    set(r, 0x30, 0x3B, Act::Param, S::CsiParam);
    set(r, 0x3C, 0x3F, Act::Marker, S::CsiParam);
    set(r, 0x40, 0x7E, Act::CsiDispatch, S::Ground);
    set(r, 0x7F, 0x7F, Act::Ignore, S::CsiEntry);
    set(r, class_high, class_high, Act::Ignore, S::CsiIgnore);
  }
  // CSI parameters: digits, ":" and ";"; a marker here is malformed.
  {
    Row& r = row(S::CsiParam);
    set_c0(r, Act::Execute, S::CsiParam);
    set(r, 0x20, 0x2F, Act::Collect, S::CsiIntermediate);
    set(r, 0x30, 0x3B, Act::Param, S::CsiParam);
    set(r, 0x3C, 0x3F, Act::Ignore, S::CsiIgnore);
    set(r, 0x40, 0x7E, Act::CsiDispatch, S::Ground);
    set(r, 0x7F, 0x7F, Act::Ignore, S::CsiParam);
    set(r, class_high, class_high, Act::Ignore, S::CsiIgnore);
  }
  // CSI intermediates: only more intermediates or a final may follow.
  {
    Row& r = row(S::CsiIntermediate);
    set_c0(r, Act::Execute, S::CsiIntermediate);
    set(r, 0x20, 0x2F, Act::Collect, S::CsiIntermediate);
    set(r, 0x30, 0x3F, Act::Ignore, S::CsiIgnore);
    set(r, 0x40, 0x7E, Act::CsiDispatch, S::Ground);
    set(r, 0x7F, 0x7F, Act::Ignore, S::CsiIntermediate);
    set(r, class_high, class_high, Act::Ignore, S::CsiIgnore);
  }
  // CSI ignore: a malformed sequence is swallowed up to its final byte.
  {
    Row& r = row(S::CsiIgnore);
    set_c0(r, Act::Execute, S::CsiIgnore);
    set(r, 0x20, 0x3F, Act::Ignore, S::CsiIgnore);
    set(r, 0x40, 0x7E, Act::Ignore, S::Ground);
    set(r, 0x7F, 0x7F, Act::Ignore, S::CsiIgnore);
    set(r, class_high, class_high, Act::Ignore, S::CsiIgnore);
  }
  // Strings: consumed without being stored, ended by ESC "\" (through the
  // Escape state), CAN, SUB or a C1 control; BEL also ends an OSC string.
  for (S s : {S::DcsString, S::OscString, S::SosPmApcString}) {
    Row& r = row(s);
    set_c0(r, Act::Ignore, s);
    set(r, 0x20, 0x7F, Act::Ignore, s);
    set(r, class_high, class_high, Act::Ignore, s);
  }
  set(row(S::OscString), 0x07, 0x07, Act::Ignore, S::Ground);

  for (Row& r : t) set_anywhere(r);
  return t;
}

constexpr Table table = build_table();

constexpr std::size_t class_of(char32_t c) {
  if (c < 0x80) return c;
  return c < 0xA0 ? class_c1 : class_high;
}

constexpr char32_t replacement_character = 0xFFFD;

// True when all eight bytes are in 0x20-0x7F: subtracting 0x20 from each byte
// borrows (setting a high bit) exactly when some byte is below 0x20, and a
// byte at or above 0x80 has its own high bit set. A borrow only ever runs
// upward from a failing byte, so a zero result is exact.
inline bool all_printable_ascii(std::uint64_t word) {
  constexpr std::uint64_t ones = 0x0101010101010101ULL;
  return (((word - 0x20 * ones) | word) & (0x80 * ones)) == 0;
}

inline bool printable_ascii(std::uint8_t b) { return b >= 0x20 && b < 0x80; }

}  // namespace

void Parser::advance(std::span<const std::uint8_t> bytes, ActionSink& sink) {
  const std::uint8_t* p = bytes.data();
  const std::uint8_t* const end = p + bytes.size();
  while (p < end) {
    const std::uint8_t b = *p;
    if (utf8_needed_ > 0) {
      if (b < utf8_low_ || b > utf8_high_) {
        // The character broke off early: one U+FFFD, then this byte starts
        // afresh.
        utf8_needed_ = 0;
        advance_character(replacement_character, sink);
        continue;
      }
      ++p;
      utf8_code_ = (utf8_code_ << 6) | (b & 0x3Fu);
      utf8_low_ = 0x80;
      utf8_high_ = 0xBF;
      if (--utf8_needed_ == 0) advance_character(utf8_code_, sink);
      continue;
    }
    if (b < 0x80) {
      if (state_ == ParserState::Ground && printable_ascii(b)) {
        p = advance_ground(p, end, sink);
      } else {
        advance_character(b, sink);
        ++p;
      }
      continue;
    }
    ++p;
    utf8_low_ = 0x80;
    utf8_high_ = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      utf8_code_ = b & 0x1Fu;
      utf8_needed_ = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      utf8_code_ = b & 0x0Fu;
      utf8_needed_ = 2;
      if (b == 0xE0) utf8_low_ = 0xA0;   // overlong below U+0800
      if (b == 0xED) utf8_high_ = 0x9F;  // surrogates U+D800-U+DFFF
    } else if (b >= 0xF0 && b <= 0xF4) {
      utf8_code_ = b & 0x07u;
      utf8_needed_ = 3;
      if (b == 0xF0) utf8_low_ = 0x90;   // overlong below U+10000
      if (b == 0xF4) utf8_high_ = 0x8F;  // beyond U+10FFFF
    } else {
      // A stray continuation byte or a lead byte no valid text contains.
      advance_character(replacement_character, sink);
    }
  }
}

const std::uint8_t* Parser::advance_ground(const std::uint8_t* p, const std::uint8_t* end,
                                           ActionSink& sink) {
  const std::uint8_t* q = p;
  while (end - q >= 8) {
    std::uint64_t word;
    std::memcpy(&word, q, sizeof word);
    if (!all_printable_ascii(word)) break;
    q += 8;
  }
  while (q < end && printable_ascii(*q)) ++q;
  sink.print_ascii(std::string_view(reinterpret_cast<const char*>(p),
                                    static_cast<std::size_t>(q - p)));
  return q;
}

void Parser::advance_character(char32_t c, ActionSink& sink) {
  const Entry e = table[static_cast<std::size_t>(state_)][class_of(c)];
  switch (e.act) {
    case Act::Ignore:
    case Act::EscDispatch:
      break;
    case Act::Print:
      if (c < 0x80) {
        const char ascii = static_cast<char>(c);
        sink.print_ascii(std::string_view(&ascii, 1));
      } else {
        sink.print(c);
      }
      break;
    case Act::Execute:
      sink.execute(c);
      break;
    case Act::Clear:
      clear_sequence();
      break;
    case Act::Collect:
      collect(c);
      break;
    case Act::Marker:
      csi_.private_marker = static_cast<char>(c);
      break;
    case Act::Param:
      add_param_byte(c);
      break;
    case Act::CsiDispatch:
      if (param_started_ && csi_.param_count < max_csi_param_groups) {
        csi_.params[csi_.param_count++] = static_cast<std::uint16_t>(param_value_);
      }
      csi_.final_byte = static_cast<char>(c);
      if (!too_many_intermediates_) sink.csi_dispatch(csi_);
      break;
  }
  state_ = e.next;
}

void Parser::clear_sequence() {
  csi_.param_count = 0;
  csi_.private_marker = 0;
  csi_.intermediate_count = 0;
  csi_.final_byte = 0;
  param_value_ = 0;
  param_started_ = false;
  in_subparam_ = false;
  too_many_intermediates_ = false;
}

void Parser::add_param_byte(char32_t c) {
  param_started_ = true;
  if (c == ';') {
    if (csi_.param_count < max_csi_param_groups) {
      csi_.params[csi_.param_count++] = static_cast<std::uint16_t>(param_value_);
    }
    param_value_ = 0;
    in_subparam_ = false;
  } else if (c == ':') {
    in_subparam_ = true;
  } else if (!in_subparam_) {
    param_value_ = param_value_ * 10 + (c - '0');
    if (param_value_ > max_csi_param_value) param_value_ = max_csi_param_value;
  }
}

void Parser::collect(char32_t c) {
  if (csi_.intermediate_count < max_intermediate_bytes) {
    csi_.intermediates[csi_.intermediate_count++] = static_cast<char>(c);
  } else {
    too_many_intermediates_ = true;
  }
}

}  // namespace terminal
