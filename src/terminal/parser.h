#pragma once

// Escape-sequence parser of the DEC VT500-series kind: bytes in, actions out.
//
// The input is decoded as UTF-8 first (a character split across two calls is
// completed by the second; an invalid sequence becomes one U+FFFD), then run
// through a table-driven state machine with ground, escape, control sequence
// (CSI), operating-system command (OSC) and device control string (DCS)
// states. The parser never fails: a malformed sequence is dropped and the
// parser returns to ground. Only the actions a screen model acts on are
// reported; escape dispatches and the contents of OSC, DCS, SOS, PM and APC
// strings are consumed without being stored, so no string can grow memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "terminal/limits.h"

namespace terminal {

// A complete control sequence: ESC "[" then parameters, then a final byte.
// Only the first value of each ";"-separated group is kept (":" sub-parameters
// are parsed and dropped); an empty value is 0; values saturate at
// max_csi_param_value; groups past max_csi_param_groups are dropped.
struct ControlSequence {
  std::array<std::uint16_t, max_csi_param_groups> params{};
  std::uint8_t param_count = 0;       // groups present; 0 for "ESC [ m"
  char private_marker = 0;            // one of "<=>?", or 0
  std::array<char, max_intermediate_bytes> intermediates{};
  std::uint8_t intermediate_count = 0;
  char final_byte = 0;                // 0x40 to 0x7E

  // First value of group i, or `absent` when there is no such group.
  std::uint16_t param(std::size_t i, std::uint16_t absent) const {
    return i < param_count ? params[i] : absent;
  }
};

// Receives the parser's actions in input order. All views are valid only for
// the duration of the call.
class ActionSink {
 public:
  // A run of printable ASCII (0x20 to 0x7F), one character per byte.
  virtual void print_ascii(std::string_view run) = 0;
  // One printable non-ASCII character (a Unicode scalar value >= U+00A0).
  virtual void print(char32_t character) = 0;
  // A C0 control (below U+0020, except ESC) or a C1 control (U+0080-U+009F).
  virtual void execute(char32_t control) = 0;
  virtual void csi_dispatch(const ControlSequence& sequence) = 0;

 protected:
  ~ActionSink() = default;
};

enum class ParserState : std::uint8_t {
  Ground,
  Escape,
  EscapeIntermediate,
  CsiEntry,
  CsiParam,
  CsiIntermediate,
  CsiIgnore,
  DcsString,
  OscString,
  SosPmApcString,
};

class Parser {
 public:
  // Runs `bytes` through the state machine, calling `sink` for each action.
  // State (a partial sequence or UTF-8 character) carries over to the next
  // call. Cost is linear in the input with no allocation.
  void advance(std::span<const std::uint8_t> bytes, ActionSink& sink);

  ParserState state() const { return state_; }

 private:
  const std::uint8_t* advance_ground(const std::uint8_t* p, const std::uint8_t* end,
                                     ActionSink& sink);
  void advance_character(char32_t c, ActionSink& sink);
  void clear_sequence();
  void add_param_byte(char32_t c);
  void collect(char32_t c);

  ParserState state_ = ParserState::Ground;

  // UTF-8 decoder: the code point so far, continuation bytes still needed,
  // and the allowed range of the next continuation byte (narrowed after the
  // lead byte so overlong forms and surrogates are rejected at once).
  char32_t utf8_code_ = 0;
  std::uint8_t utf8_needed_ = 0;
  std::uint8_t utf8_low_ = 0x80;
  std::uint8_t utf8_high_ = 0xBF;

  ControlSequence csi_;
  std::uint32_t param_value_ = 0;
  bool param_started_ = false;    // a digit, ":" or ";" was seen
  bool in_subparam_ = false;      // past a ":" in the current group
  bool too_many_intermediates_ = false;
};

}  // namespace terminal
