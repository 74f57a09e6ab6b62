// Errors of the action library and the type-erased typed action that the
// registry produces and the executor applies.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace kova::doc {
class Document;
}

namespace kova::actions::action {

// A failure of decoding, contract checking or applying, with a sentence a
// user or an automation client can read.
struct ActionError {
  std::string message;

  const std::string& text() const { return message; }
  friend bool operator==(const ActionError&, const ActionError&) = default;
};

template <class T>
using Result = std::expected<T, ActionError>;

// One decoded change of a registered type. Owned by whoever dispatches it;
// used on the thread that owns the document.
class TypedAction {
 public:
  virtual ~TypedAction() = default;

  // The registered change type, for example "remote.action".
  virtual std::string_view type_name() const = 0;
  // The encoded form the action was decoded from (or would be encoded to).
  virtual std::string json() const = 0;
  // Human-readable form for logs and tests.
  virtual std::string debug() const = 0;
  // The variant name when the JSON is externally tagged (a bare string or an
  // object with exactly one member), used to derive a label.
  virtual std::optional<std::string> variant_name() const = 0;
  // Applies the change to the document. Called exactly once per dispatch.
  virtual Result<void> apply(doc::Document& document) const = 0;
};

}  // namespace kova::actions::action
