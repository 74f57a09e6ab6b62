#pragma once

// Errors of the toolkit as values: a code a caller can branch on and a
// sentence a person can read.

#include <expected>
#include <string>

namespace kova::ui {

enum class ErrorCode {
  WindowUnavailable,  // no display, or SDL could not create the window
  SurfaceFailed,      // cairo refused a surface of the requested size
  FontMissing,        // the pinned font family is not installed
  WriteFailed,        // a snapshot file could not be written
};

struct Error {
  ErrorCode code;
  std::string message;
};

template <typename T>
using Result = std::expected<T, Error>;

}  // namespace kova::ui
