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
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>

#include "terminal/limits.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace terminal {

// The parser keeps 2^short_csi_cache_bits short control sequences compiled
// (see Parser::short_csi_cache_): room for every sequence a busy program
// repeats with few collisions, in 8 KiB of which only the entries in use
// occupy the first-level cache.
inline constexpr unsigned short_csi_cache_bits = 8;

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
concept ActionSink = requires(S& sink, std::string_view run, std::size_t readable, char32_t c,
                              const ControlSequence& sequence) {
  // A run of printable ASCII (0x20 to 0x7F), one character per byte. The
  // `readable` bytes from run.data() on (never fewer than run.size()) lie in
  // the caller's buffer and may be read, so a sink can load whole blocks
  // past the end of the run; only the run itself is text.
  sink.print_ascii(run, readable);
  // One printable non-ASCII character (a Unicode scalar value >= U+00A0).
  sink.print(c);
  // A C0 control (below U+0020, except ESC) or a C1 control (U+0080-U+009F).
  sink.execute(c);
  sink.csi_dispatch(sequence);
};

// A sink may also turn a control sequence into a form of its own that is
// quicker to act on. The parser then keeps that form beside each short
// sequence it caches and hands it over instead, so a repeated sequence costs
// neither a parse nor the sink's choice by final byte. The form must depend
// on the sequence alone, be trivially copyable and fit in
// max_compiled_sequence_bytes.
inline constexpr std::size_t max_compiled_sequence_bytes = 24;

template <typename S>
concept CompilingSink = ActionSink<S> && requires(S& sink, const ControlSequence& sequence,
                                                  const typename S::CompiledSequence& compiled) {
  { S::compile(sequence) } -> std::same_as<typename S::CompiledSequence>;
  sink.csi_dispatch(compiled);
} && std::is_trivially_copyable_v<typename S::CompiledSequence> &&
        sizeof(typename S::CompiledSequence) <= max_compiled_sequence_bytes
    && alignof(typename S::CompiledSequence) <= 8;

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
  const std::uint8_t* escape(const std::uint8_t* p, const std::uint8_t* end, Sink& sink);
  template <ActionSink Sink>
  const std::uint8_t* short_csi(const std::uint8_t* p, Sink& sink);
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
  // Short control sequences already compiled by the sink, by their bytes
  // from "[" to the final byte (at most eight, zero-padded, so no real key is
  // 0). Programs send the same few colour, cursor and erase sequences over
  // and over; a hit replaces the per-byte parameter parse and the sink's
  // dispatch with one comparison. Entries are exact, so a collision only
  // costs a parse. Only for sinks that compile (CompilingSink).
  struct ShortSequence {
    std::uint64_t key = 0;
    alignas(8) std::array<std::byte, max_compiled_sequence_bytes> compiled{};
  };
  alignas(64) std::array<ShortSequence, std::size_t{1} << short_csi_cache_bits> short_csi_cache_{};
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
  // As signed bytes, exactly the printable ones are above 0x1F (0x80 and up
  // are negative).
  const __m128i limit = _mm_set1_epi8(0x1F);
  const auto printable16 = [limit](const std::uint8_t* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(bytes, limit)));
  };
  // Thirty-two at a time where the input allows: nearly every run of text
  // in shell output ends within that, so one block decides it.
  while (end - p >= 32) {
    const std::uint32_t printable = printable16(p) | (printable16(p + 16) << 16);
    if (printable != 0xFFFFFFFFu) return p + std::countr_one(printable);
    p += 32;
  }
  while (end - p >= 16) {
    const std::uint32_t printable = printable16(p);
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

// A complete, valid UTF-8 character of N bytes at p, whose lead byte is
// known to start one of that length: true with the code point in `c`.
// False when it is invalid or runs past `end`; the byte-by-byte decoder then
// handles it (and any split across writes).
template <std::size_t N>
inline bool decode_utf8(const std::uint8_t* p, const std::uint8_t* end, char32_t& c) {
  static_assert(N >= 2 && N <= 4);
  if (static_cast<std::size_t>(end - p) < N) return false;
  c = p[0] & (0x7Fu >> N);
  for (std::size_t i = 1; i < N; ++i) {
    if ((p[i] & 0xC0u) != 0x80u) return false;
    c = (c << 6) | (p[i] & 0x3Fu);
  }
  if constexpr (N == 3) return c >= 0x800 && (c < 0xD800 || c > 0xDFFF);
  if constexpr (N == 4) return c >= 0x10000 && c <= 0x10FFFF;
  return true;  // callers pass no lead below 0xC2, the only overlong two-byte forms
}

// A complete, valid multi-byte UTF-8 character at p: its length, with the
// code point in `c`. 0 when it is invalid or runs past `end`.
inline std::size_t decode_utf8(const std::uint8_t* p, const std::uint8_t* end, char32_t& c) {
  const std::uint8_t b = p[0];
  if (b >= 0xC2 && b <= 0xDF) return decode_utf8<2>(p, end, c) ? 2 : 0;
  if (b >= 0xE0 && b <= 0xEF) return decode_utf8<3>(p, end, c) ? 3 : 0;
  if (b >= 0xF0 && b <= 0xF4) return decode_utf8<4>(p, end, c) ? 4 : 0;
  return 0;
}

// A valid multi-byte UTF-8 character at p, with four bytes readable from p:
// its length, with the code point in `c`; 0 when it is invalid. The length
// and the checks come from arithmetic rather than branches, since the
// lengths of characters in text follow no pattern a predictor could learn.
inline std::size_t decode_utf8_fast(const std::uint8_t* p, char32_t& c) {
  const std::uint32_t lead = p[0];
  if (lead < 0xC2 || lead > 0xF4) return 0;
  const std::size_t n = 2 + std::size_t{lead >= 0xE0} + std::size_t{lead >= 0xF0};
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native != std::endian::little) word = std::byteswap(word);
  static constexpr std::array<std::uint32_t, 5> cont_mask{0, 0, 0xC000, 0xC0C000, 0xC0C0C000};
  static constexpr std::array<std::uint32_t, 5> cont_bits{0, 0, 0x8000, 0x808000, 0x80808000};
  static constexpr std::array<char32_t, 5> lowest{0, 0, 0x80, 0x800, 0x10000};
  const char32_t all = ((lead & (0x7Fu >> n)) << 18) | ((p[1] & 0x3Fu) << 12) |
                       ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
  c = all >> (6 * (4 - n));
  // Each check as 0 or 1, combined without short-circuit branches.
  const std::size_t valid = std::size_t{(word & cont_mask[n]) == cont_bits[n]} &
                            std::size_t{c >= lowest[n]} & std::size_t{c <= 0x10FFFF} &
                            std::size_t{c - 0xD800 >= 0x800};
  return n & -valid;
}

// Length of the control sequence that may start with `word`, the eight
// bytes after an ESC in memory order (little-endian): counted from "[" to
// the first byte from 0x40 up, which ends every well-formed sequence; 0 when
// the word does not start with "[" or holds no such byte. Nothing else is
// checked here: only sequences the full parse accepted are ever cached, so a
// malformed one can only miss.
inline unsigned short_csi_length(std::uint64_t word) {
  constexpr std::uint64_t ones = 0x0101010101010101ULL;
  constexpr std::uint64_t high = 0x80 * ones;
  if ((word & 0xFF) != '[') return 0;
  // Adding 0x40 to the low seven bits of a byte sets its high bit exactly
  // when they are 0x40 or more, and no carry crosses into the next byte.
  const std::uint64_t from_40 =
      (((word & ~high) + 0x40 * ones) | word) & high & ~std::uint64_t{0xFF};
  if (from_40 == 0) return 0;
  return static_cast<unsigned>(std::countr_zero(from_40)) / 8 + 1;
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
              std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(q - p)),
              static_cast<std::size_t>(end - p));
          p = q;
          if (p == end) return p;
          b = *p;
          if (b < 0x80) break;
        }
        char32_t c;
        const std::size_t n =
            end - p >= 4 ? detail::decode_utf8_fast(p, c) : detail::decode_utf8(p, end, c);
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
      const std::uint8_t* after = escape(p, end, sink);
      if (after == nullptr) return p;
      p = after;
    } else {  // C0 other than ESC, CAN and SUB included
      sink.execute(b);
      ++p;
    }
  }
  return p;
}

// A whole escape sequence in ground: a control sequence is dispatched, a
// sequence without effect skipped. nullptr when it is split, malformed or
// opens a string, for the state machine to handle.
template <ActionSink Sink>
const std::uint8_t* Parser::escape(const std::uint8_t* p, const std::uint8_t* end, Sink& sink) {
  if constexpr (CompilingSink<Sink>) {
    if (end - p >= 9 && p[1] == '[') {
      if (const std::uint8_t* after = short_csi(p, sink)) return after;
    }
  }
  if (const std::uint8_t* after = complete_csi(p, end)) {
    sink.csi_dispatch(csi_);
    return after;
  }
  return detail::skip_inert_escape(p, end);
}

// A control sequence whose bytes from "[" to the final byte fit in eight,
// with nine readable bytes from the ESC at p: dispatched from the cache,
// parsed and compiled into it first when absent. nullptr for anything
// longer or malformed.
template <ActionSink Sink>
const std::uint8_t* Parser::short_csi(const std::uint8_t* p, Sink& sink) {
  if constexpr (std::endian::native != std::endian::little) return nullptr;
  std::uint64_t word;
  std::memcpy(&word, p + 1, sizeof word);
  const unsigned length = detail::short_csi_length(word);
  if (length == 0) return nullptr;
  const std::uint64_t key = length == 8 ? word : word & ((std::uint64_t{1} << (8 * length)) - 1);
  ShortSequence& slot =
      short_csi_cache_[(key * 0x9E3779B97F4A7C15ULL) >> (64 - short_csi_cache_bits)];
  if (slot.key != key) {
    // The full parse must agree that this is one whole sequence; anything
    // malformed fails it and is never cached.
    if (complete_csi(p, p + 1 + length) == nullptr) return nullptr;
    using Compiled = typename Sink::CompiledSequence;
    ::new (static_cast<void*>(slot.compiled.data())) Compiled(Sink::compile(csi_));
    slot.key = key;
  }
  // Acted on in place, where it was constructed.
  sink.csi_dispatch(*std::launder(
      reinterpret_cast<const typename Sink::CompiledSequence*>(slot.compiled.data())));
  return p + 1 + length;
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
        sink.print_ascii(std::string_view(&ascii, 1), 1);
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
