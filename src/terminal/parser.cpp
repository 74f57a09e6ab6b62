#include "terminal/parser.h"

#include <algorithm>

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
  for (std::size_t c = from; c <= to; ++c)
    row[c] = Entry{act, next};
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

  for (Row& r : t)
    set_anywhere(r);
  return t;
}

constexpr Table table = build_table();

constexpr std::size_t class_of(char32_t c) {
  if (c < 0x80) return c;
  return c < 0xA0 ? class_c1 : class_high;
}

}  // namespace

bool Parser::start_utf8(std::uint8_t b) {
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
    return false;  // a stray continuation byte, or a lead no valid text has
  }
  return true;
}

// A whole control sequence that lies within the buffer and holds only
// parameters, an optional leading marker, at most max_intermediate_bytes
// intermediates and a final byte is parsed in one pass. Anything else (a
// split sequence, a control or non-ASCII byte inside it, a malformed order)
// returns nullptr and is left to the table, which handles every case. On
// success the sequence is ready for dispatch.
const std::uint8_t* Parser::complete_csi(const std::uint8_t* p, const std::uint8_t* end) {
  if (end - p < 3 || p[1] != '[') return nullptr;
  const std::uint8_t* q = p + 2;
  char marker = 0;
  if (*q >= 0x3C && *q <= 0x3F) marker = static_cast<char>(*q++);
  // Parameters in locals; the member state is written once at the end.
  std::uint8_t count = 0;
  std::uint32_t value = 0;
  bool started = false;
  bool sub = false;
  for (; q < end && *q >= 0x30 && *q <= 0x3B; ++q) {
    const std::uint8_t c = *q;
    started = true;
    if (c <= '9') {
      if (!sub) value = std::min<std::uint32_t>(value * 10 + (c - '0'), max_csi_param_value);
    } else if (c == ';') {
      if (count < max_csi_param_groups) csi_.params[count++] = static_cast<std::uint16_t>(value);
      value = 0;
      sub = false;
    } else {
      sub = true;  // ':' starts a sub-parameter, which is dropped
    }
  }
  std::uint8_t intermediates = 0;
  for (; q < end && *q >= 0x20 && *q <= 0x2F; ++q) {
    if (intermediates == max_intermediate_bytes) return nullptr;
    csi_.intermediates[intermediates++] = static_cast<char>(*q);
  }
  if (q == end || *q < 0x40 || *q > 0x7E) return nullptr;
  if (started && count < max_csi_param_groups)
    csi_.params[count++] = static_cast<std::uint16_t>(value);
  csi_.param_count = count;
  csi_.private_marker = marker;
  csi_.intermediate_count = intermediates;
  csi_.final_byte = static_cast<char>(*q);
  state_ = ParserState::Ground;
  return q + 1;
}

Action Parser::step(char32_t c) {
  const Entry e = table[static_cast<std::size_t>(state_)][class_of(c)];
  state_ = e.next;
  switch (e.act) {
    case Act::Ignore:
    case Act::EscDispatch:
      return Action::None;
    case Act::Print:
      return Action::Print;
    case Act::Execute:
      return Action::Execute;
    case Act::Clear:
      clear_sequence();
      return Action::None;
    case Act::Collect:
      collect(c);
      return Action::None;
    case Act::Marker:
      csi_.private_marker = static_cast<char>(c);
      return Action::None;
    case Act::Param:
      add_param_byte(c);
      return Action::None;
    case Act::CsiDispatch:
      return finish_csi(static_cast<char>(c)) ? Action::CsiDispatch : Action::None;
  }
  return Action::None;
}

// Completes the sequence; false when it is to be dropped.
bool Parser::finish_csi(char final_byte) {
  if (param_started_ && csi_.param_count < max_csi_param_groups) {
    csi_.params[csi_.param_count++] = static_cast<std::uint16_t>(param_value_);
  }
  csi_.final_byte = final_byte;
  return !too_many_intermediates_;
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
