// The JSON form of RemoteAction and RemoteOperation: externally tagged,
// compact. A variant without fields is its name as a JSON string; a variant
// with fields is an object with one member, named after the variant, holding
// an object of the fields in declaration order.
//
// Decoding accepts the fields in any order or as an array in declaration
// order, ignores unknown members and rejects repeated or missing ones. It is
// all-or-nothing and never throws.
#pragma once

#include <expected>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "actions/vocabulary.h"

namespace remote::actions {

enum class ErrorCode {
  TooLarge,        // the text exceeds max_json_bytes
  Syntax,          // not JSON; the message is the JSON reader's
  TooComplex,      // deeper than max_json_depth or more than max_json_values
  DuplicateField,  // a member name repeated within one object
  MissingField,
  UnknownVariant,
  InvalidType,    // a value of the wrong JSON type
  InvalidLength,  // an array form with the wrong number of fields
  InvalidValue,   // right type, unacceptable value (not a UUID, port out of range)
};

struct Error {
  ErrorCode code;
  // One line for the automation client, for example "missing field `text`".
  std::string message;

  friend bool operator==(const Error&, const Error&) = default;
};

template <class T>
using Result = std::expected<T, Error>;

// Compact JSON (no insignificant white space). Never fails: text that is not
// valid UTF-8 is written with U+FFFD in place of each bad sequence.
std::string encode_remote_action(const RemoteAction& action);
std::string encode_remote_operation(const RemoteOperation& operation);

// The same content as encode_remote_action, as a JSON value whose object
// members keep their declaration order.
nlohmann::ordered_json remote_action_value(const RemoteAction& action);

Result<RemoteAction> decode_remote_action(std::string_view json);

// Nothing when `type_name` is not exactly "remote.operation" (the invocation
// belongs to another vocabulary); otherwise the decoded operation or why it
// does not decode.
std::optional<Result<RemoteOperation>> decode_remote_operation(std::string_view type_name,
                                                               std::string_view json);

}  // namespace remote::actions
