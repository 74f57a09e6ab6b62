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
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "terminal/limits.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace terminal {

// A complete control sequence: ESC "[" then parameters, then a final byte.
// Only the first value of each ";"-separated group is kept (":" sub-parameters
// are parsed and dropped); an empty value is 0; values saturate at
// max_csi_param_value; groups past max_csi_param_groups are dropped.
struct ControlSequence {
  std::array<std::uint16_t, max_csi_param_groups> params{};
  std::uint8_t param_count = 0;  // groups present; 0 for "ESC [ m"
  char private_marker = 0;       // one of "<=>?", or 0
  std::array<char, max_intermediate_bytes> intermediates{};
  std::uint8_t intermediate_count = 0;
  char final_byte = 0;  // 0x40 to 0x7E

  // First value of group i, or `absent` when there is no such group.
  std::uint16_t param(std::size_t i, std::uint16_t absent) const {
    return i < param_count ? params[i] : absent;
  }
};

// Receives the parser's actions in input order. All views are valid only for
// the duration of the call. The parser is a template over its sink so a
// screen model's handlers inline into the scanning loop.
template <typename S>
concept ActionSink = requires(S& sink, std::string_view run, char32_t c,
                              const ControlSequence& sequence) {
  // A run of printable ASCII (0x20 to 0x7F), one character per byte.
  sink.print_ascii(run);
  // One printable non-ASCII character (a Unicode scalar value >= U+00A0).
  sink.print(c);
  // A C0 control (below U+0020, except ESC) or a C1 control (U+0080-U+009F).
  sink.execute(c);
  sink.csi_dispatch(sequence);
};

// What the state machine asks of the sink after one character.
enum class Action : std::uint8_t { None, Print, Execute, CsiDispatch };

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
  template <ActionSink Sink>
  void advance(std::span<const std::uint8_t> bytes, Sink& sink);

  ParserState state() const { return state_; }

 private:
  // One character through the table: the general path that every byte
  // could take. advance() uses faster paths for common input that give the
  // same result. After CsiDispatch, csi_ holds the sequence.
  Action step(char32_t c);
  template <ActionSink Sink>
  const std::uint8_t* advance_ground(const std::uint8_t* p, const std::uint8_t* end, Sink& sink);
  template <ActionSink Sink>
  const std::uint8_t* advance_general(const std::uint8_t* p, const std::uint8_t* end, Sink& sink);
  template <ActionSink Sink>
  void act(char32_t c, Sink& sink);
  // Starts a UTF-8 character; false for a byte that cannot lead one.
  bool start_utf8(std::uint8_t lead);
  const std::uint8_t* complete_csi(const std::uint8_t* p, const std::uint8_t* end);
  bool finish_csi(char final_byte);
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
  bool param_started_ = false;  // a digit, ":" or ";" was seen
  bool in_subparam_ = false;    // past a ":" in the current group
  bool too_many_intermediates_ = false;
};

namespace detail {

inline constexpr char32_t replacement_character = 0xFFFD;

// End of the run of printable ASCII (0x20-0x7F) that starts at p.
inline const std::uint8_t* printable_run_end(const std::uint8_t* p, const std::uint8_t* end) {
#if defined(__SSE2__)
  // Sixteen bytes at a time: as signed bytes, exactly the printable ones are
  // above 0x1F (0x80 and up are negative). Most runs end within the first
  // block, so the loop exit is rarely mispredicted.
  const __m128i limit = _mm_set1_epi8(0x1F);
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned printable =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(bytes, limit)));
    if (printable != 0xFFFF) return p + std::countr_one(printable);
    p += 16;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    // Eight bytes at a time: subtracting 0x20 from each byte borrows,
    // setting its high bit, exactly when the byte is below 0x20, and a byte
    // at or above 0x80 has its own high bit set. A borrow only runs upward
    // from a failing byte, so the lowest marked byte is the first failing one.
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      const std::uint64_t mask = ((word - 0x20 * ones) | word) & (0x80 * ones);
      if (mask != 0) return p + std::countr_zero(mask) / 8;
      p += 8;
    }
  }
  while (p < end && *p >= 0x20 && *p < 0x80)
    ++p;
  return p;
}

// A complete, valid multi-byte UTF-8 character at p: its length, with the
// code point in `c`. 0 when it is invalid or runs past `end`; the
// byte-by-byte decoder then handles it (and any split across writes).
inline std::size_t decode_utf8(const std::uint8_t* p, const std::uint8_t* end, char32_t& c) {
  const std::uint8_t b = p[0];
  const auto cont = [p](std::size_t i) { return (p[i] & 0xC0u) == 0x80u; };
  const auto bits = [p](std::size_t i) { return static_cast<char32_t>(p[i] & 0x3Fu); };
  if (b >= 0xC2 && b <= 0xDF) {
    if (end - p < 2 || !cont(1)) return 0;
    c = (static_cast<char32_t>(b & 0x1Fu) << 6) | bits(1);
    return 2;
  }
  if (b >= 0xE0 && b <= 0xEF) {
    if (end - p < 3 || !cont(1) || !cont(2)) return 0;
    c = (static_cast<char32_t>(b & 0x0Fu) << 12) | (bits(1) << 6) | bits(2);
    return c >= 0x800 && (c < 0xD800 || c > 0xDFFF) ? 3 : 0;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    if (end - p < 4 || !cont(1) || !cont(2) || !cont(3)) return 0;
    c = (static_cast<char32_t>(b & 0x07u) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
    return c >= 0x10000 && c <= 0x10FFFF ? 4 : 0;
  }
  return 0;
}

// A whole escape sequence that changes nothing on the screen and leaves the
// parser in ground: ESC with at most one intermediate and a final byte
// (charset choices, ESC 7, ESC 8 ...), or an operating-system command of
// printable ASCII ended by BEL (window titles). Returns the byte after it,
// or nullptr for anything else, which the state machine then handles.
inline const std::uint8_t* skip_inert_escape(const std::uint8_t* p, const std::uint8_t* end) {
  if (end - p < 2) return nullptr;
  const std::uint8_t b = p[1];
  if (b == ']') {
    const std::uint8_t* q = printable_run_end(p + 2, end);
    return q < end && *q == 0x07 ? q + 1 : nullptr;
  }
  if (b >= 0x20 && b <= 0x2F) {
    return end - p >= 3 && p[2] >= 0x30 && p[2] <= 0x7E ? p + 3 : nullptr;
  }
  const bool opens_string_or_csi = b == '[' || b == 'P' || b == 'X' || b == '^' || b == '_';
  return b >= 0x30 && b <= 0x7E && !opens_string_or_csi ? p + 2 : nullptr;
}

}  // namespace detail

template <ActionSink Sink>
void Parser::advance(std::span<const std::uint8_t> bytes, Sink& sink) {
  const std::uint8_t* p = bytes.data();
  const std::uint8_t* const end = p + bytes.size();
  while (p < end) {
    if (state_ == ParserState::Ground && utf8_needed_ == 0) {
      p = advance_ground(p, end, sink);
      if (p == end) break;
    }
    p = advance_general(p, end, sink);
  }
}

// Ground state with no partial character, the common case, one whole event
// per turn. Returns at the end of the input or at the first byte that needs
// the general path; every event here does exactly what step() would. Text
// (printable ASCII runs and whole UTF-8 characters) is taken in an inner
// loop of its own, so the event kind is only looked at again after it.
template <ActionSink Sink>
const std::uint8_t* Parser::advance_ground(const std::uint8_t* p, const std::uint8_t* end,
                                           Sink& sink) {
  while (p < end) {
    std::uint8_t b = *p;
    if (b >= 0x20) {
      for (;;) {
        if (b < 0x80) {
          const std::uint8_t* q = detail::printable_run_end(p, end);
          sink.print_ascii(
              std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(q - p)));
          p = q;
          if (p == end) return p;
          b = *p;
          if (b < 0x80) break;
        }
        char32_t c;
        const std::size_t n = detail::decode_utf8(p, end, c);
        if (n == 0) return p;  // invalid or split: the general path decides
        p += n;
        if (c < 0xA0) {
          sink.execute(c);  // C1 control
          break;
        }
        sink.print(c);
        if (p == end) return p;
        b = *p;
        if (b < 0x20) break;
      }
      continue;
    }
    if (b == 0x1B) {
      if (const std::uint8_t* after = complete_csi(p, end)) {
        sink.csi_dispatch(csi_);
        p = after;
      } else if (const std::uint8_t* skipped = detail::skip_inert_escape(p, end)) {
        p = skipped;
      } else {
        return p;
      }
    } else {  // C0 other than ESC, CAN and SUB included
      sink.execute(b);
      ++p;
    }
  }
  return p;
}

// One step of the general path: inside a sequence or string, a character
// split across writes, or anything malformed.
template <ActionSink Sink>
const std::uint8_t* Parser::advance_general(const std::uint8_t* p, const std::uint8_t* end,
                                            Sink& sink) {
  const std::uint8_t b = *p;
  if (utf8_needed_ > 0) {
    if (b < utf8_low_ || b > utf8_high_) {
      // The character broke off early: one U+FFFD, then this byte starts
      // afresh.
      utf8_needed_ = 0;
      act(detail::replacement_character, sink);
      return p;
    }
    utf8_code_ = (utf8_code_ << 6) | (b & 0x3Fu);
    utf8_low_ = 0x80;
    utf8_high_ = 0xBF;
    if (--utf8_needed_ == 0) act(utf8_code_, sink);
    return p + 1;
  }
  if (b >= 0x80) {
    char32_t c;
    if (const std::size_t n = detail::decode_utf8(p, end, c)) {
      act(c, sink);
      return p + n;
    }
    if (!start_utf8(b)) act(detail::replacement_character, sink);
    return p + 1;
  }
  if (state_ >= ParserState::DcsString && b >= 0x20) {
    // Printable ASCII inside a string is consumed without effect.
    while (p < end && *p >= 0x20 && *p < 0x80)
      ++p;
    return p;
  }
  act(b, sink);
  return p + 1;
}

template <ActionSink Sink>
void Parser::act(char32_t c, Sink& sink) {
  switch (step(c)) {
    case Action::None:
      break;
    case Action::Print:
      if (c < 0x80) {
        const char ascii = static_cast<char>(c);
        sink.print_ascii(std::string_view(&ascii, 1));
      } else {
        sink.print(c);
      }
      break;
    case Action::Execute:
      sink.execute(c);
      break;
    case Action::CsiDispatch:
      sink.csi_dispatch(csi_);
      break;
  }
}

}  // namespace terminal
