#include "corpus.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace terminal::bench {
namespace {

// xorshift64*: small, fast and the same on every machine.
class Random {
 public:
  explicit Random(unsigned seed) : state_(0x9E3779B97F4A7C15ULL ^ seed) {}
  std::uint64_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  template <typename T, std::size_t N>
  const T& pick(const std::array<T, N>& items) {
    return items[below(N)];
  }

 private:
  std::uint64_t state_;
};

void append_word(std::string& out, Random& rng) {
  const std::size_t length = 1 + rng.below(9);
  for (std::size_t i = 0; i < length; ++i) {
    out += static_cast<char>('a' + rng.below(26));
  }
}

constexpr std::array<std::string_view, 6> utf8_pieces{
    "\xc3\xa9",         "\xc3\x9f",           // 2 bytes
    "\xe2\x82\xac",     "\xe2\x94\x80",       // 3 bytes
    "\xf0\x9f\x98\x80", "\xf0\x9d\x84\x9e"};  // 4 bytes

constexpr std::array<std::string_view, 6> colour_changes{"\x1b[1;31m", "\x1b[0m",  "\x1b[93m",
                                                         "\x1b[22m",   "\x1b[32m", "\x1b[m"};

constexpr std::array<std::string_view, 5> cursor_moves{"\x1b[5;10H", "\x1b[2A", "\x1b[3C", "\x1b[G",
                                                       "\x1b[H"};

constexpr std::array<std::string_view, 3> erases{"\x1b[K", "\x1b[2K", "\x1b[1K"};

constexpr std::array<std::string_view, 6> ignored{
    "\x1b]0;user@host: ~/src\x07", "\x1b[?25l", "\x1b[?25h", "\x1b(B", "\x1b[38;5;208m", "\x1b[4m"};

}  // namespace

std::string mixed_corpus(std::size_t bytes, unsigned seed) {
  Random rng(seed);
  std::string out;
  out.reserve(bytes + 64);
  while (out.size() < bytes) {
    const std::size_t roll = rng.below(100);
    if (roll < 55) {
      append_word(out, rng);
      out += ' ';
    } else if (roll < 67) {
      out += rng.pick(utf8_pieces);
    } else if (roll < 77) {
      out += rng.pick(colour_changes);
    } else if (roll < 82) {
      out += rng.pick(cursor_moves);
    } else if (roll < 86) {
      out += rng.pick(erases);
    } else if (roll < 95) {
      out += "\r\n";
    } else if (roll < 99) {
      out += rng.pick(ignored);
    } else {
      out += '\t';
    }
  }
  out.resize(bytes);
  return out;
}

std::string ascii_corpus(std::size_t bytes, unsigned seed) {
  Random rng(seed);
  std::string out;
  out.reserve(bytes + 128);
  while (out.size() < bytes) {
    const std::size_t line = rng.below(100);
    for (std::size_t i = 0; i < line; ++i)
      out += static_cast<char>(0x20 + rng.below(95));
    out += "\r\n";
  }
  out.resize(bytes);
  return out;
}

}  // namespace terminal::bench
