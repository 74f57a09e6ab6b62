// Failures of the client as values. Every error carries a category the
// session worker maps to its status and a text a user can read.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <utility>

namespace remote::rfb {

enum class ErrorKind : std::uint8_t {
  ConnectionRefused,
  TimedOut,
  UnexpectedEof,
  InvalidData,
  Unsupported,
  PermissionDenied,
  InvalidInput,
  System,  // any other operating-system error; the text is its description
};

struct Error {
  ErrorKind kind = ErrorKind::System;
  std::string text;

  bool operator==(const Error&) const = default;
};

template <class T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(ErrorKind kind, std::string text) {
  return std::unexpected(Error{kind, std::move(text)});
}

inline std::unexpected<Error> invalid_data(std::string text) {
  return fail(ErrorKind::InvalidData, std::move(text));
}

// The text of an end of stream that arrives before a read is complete.
inline constexpr const char* eof_text = "failed to fill whole buffer";

}  // namespace remote::rfb
