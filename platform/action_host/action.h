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

#include <functional>
#include <utility>

namespace kova::actions::action {

// The variant name of an externally tagged JSON text: the string itself when
// the text is a JSON string, the only member's name when it is an object
// with exactly one member, otherwise nothing (also for text that is not
// JSON).
std::optional<std::string> tagged_variant_name(std::string_view json);

// A typed action holding a value of T together with the functions of its
// registered change type.
template <class T>
class Typed final : public TypedAction {
 public:
  using Encode = std::function<std::string(const T&)>;
  using Apply = std::function<Result<void>(const T&, doc::Document&)>;
  using Debug = std::function<std::string(const T&)>;

  Typed(std::string type_name, T value, Encode encode, Apply apply_fn, Debug debug_fn = {})
      : type_name_(std::move(type_name)),
        value_(std::move(value)),
        encode_(std::move(encode)),
        apply_(std::move(apply_fn)),
        debug_(std::move(debug_fn)) {}

  const T& value() const { return value_; }
  std::string_view type_name() const override { return type_name_; }
  std::string json() const override { return encode_(value_); }
  std::string debug() const override {
    return type_name_ + " " + (debug_ ? debug_(value_) : json());
  }
  std::optional<std::string> variant_name() const override {
    return tagged_variant_name(json());
  }
  Result<void> apply(doc::Document& document) const override { return apply_(value_, document); }

 private:
  std::string type_name_;
  T value_;
  Encode encode_;
  Apply apply_;
  Debug debug_;
};

}  // namespace kova::actions::action
