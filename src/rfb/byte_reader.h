// Bounded big-endian reads over bytes already received, and the byte source
// the protocol code reads from.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rfb/error.h"

namespace remote::rfb {

// Reads fixed-size fields from a span whose length the caller has already
// checked; reading past the end is a broken invariant, not a peer fault.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint8_t u8() { return take(1)[0]; }
  std::uint16_t u16() {
    auto b = take(2);
    return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
  }
  std::uint32_t u32() {
    auto b = take(4);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           std::uint32_t{b[3]};
  }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::span<const std::uint8_t> bytes(std::size_t n) { return take(n); }
  std::size_t remaining() const { return bytes_.size(); }

 private:
  std::span<const std::uint8_t> take(std::size_t n) {
    assert(n <= bytes_.size());
    auto out = bytes_.first(n);
    bytes_ = bytes_.subspan(n);
    return out;
  }

  std::span<const std::uint8_t> bytes_;
};

// Appends big-endian fields to an outgoing message.
inline void put_u8(std::vector<std::uint8_t>& out, std::uint8_t v) {
  out.push_back(v);
}
inline void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
inline void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put_u16(out, static_cast<std::uint16_t>(v >> 16));
  put_u16(out, static_cast<std::uint16_t>(v));
}

// A blocking, exact byte stream: the socket of a session, or recorded bytes in
// tests, fuzzing and the benchmark.
class Stream {
 public:
  virtual ~Stream() = default;
  // Exactly `n` bytes, or an error (an early end is ErrorKind::UnexpectedEof).
  // The span stays valid until the next call on this stream. Callers bound
  // `n` by a limit before calling, since a socket stream reserves it.
  virtual Result<std::span<const std::uint8_t>> read(std::size_t n) = 0;
  virtual Result<void> write(std::span<const std::uint8_t> bytes) = 0;
};

// Recorded server bytes; the client's writes are kept for inspection.
class MemoryStream final : public Stream {
 public:
  explicit MemoryStream(std::span<const std::uint8_t> input) : input_(input) {}

  Result<std::span<const std::uint8_t>> read(std::size_t n) override {
    if (n > input_.size()) {
      input_ = {};
      return fail(ErrorKind::UnexpectedEof, eof_text);
    }
    auto out = input_.first(n);
    input_ = input_.subspan(n);
    return out;
  }
  Result<void> write(std::span<const std::uint8_t> bytes) override {
    if (keep_writes_) written_.insert(written_.end(), bytes.begin(), bytes.end());
    return {};
  }

  void discard_writes() { keep_writes_ = false; }
  std::size_t remaining() const { return input_.size(); }
  const std::vector<std::uint8_t>& written() const { return written_; }

 private:
  std::span<const std::uint8_t> input_;
  std::vector<std::uint8_t> written_;
  bool keep_writes_ = true;
};

inline Result<std::uint8_t> read_u8(Stream& s) {
  auto b = s.read(1);
  if (!b) return std::unexpected(b.error());
  return (*b)[0];
}
inline Result<std::uint16_t> read_u16(Stream& s) {
  auto b = s.read(2);
  if (!b) return std::unexpected(b.error());
  return ByteReader(*b).u16();
}
inline Result<std::uint32_t> read_u32(Stream& s) {
  auto b = s.read(4);
  if (!b) return std::unexpected(b.error());
  return ByteReader(*b).u32();
}

}  // namespace remote::rfb
