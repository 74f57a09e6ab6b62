// Errors of the SSH transport: a code for the program and a sentence for the
// user. No exception leaves this folder.
#pragma once

#include <expected>
#include <string>
#include <utility>

namespace remote::ssh {

enum class ErrorCode {
  Store,    // trust-store path, vetting or content
  Io,       // the operating system refused a call
  Input,    // a rejected input (empty, too long, busy, closed)
  Session,  // connecting, authenticating or the channel failed
};

struct Error {
  ErrorCode code;
  std::string message;  // the sentence shown to the user, as is
};

template <class T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(ErrorCode code, std::string message) {
  return std::unexpected(Error{code, std::move(message)});
}

}  // namespace remote::ssh
