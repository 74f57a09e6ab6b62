// The registry of change types an application installs at launch: each type
// name maps to a decoder from JSON text to a typed action. Automation
// clients and the command line send changes as (type name, JSON text); the
// registry turns them into actions the executor can apply.
#pragma once

#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "action_host/action.h"

namespace kova::actions::registry {

// The functions that make up one change type. `decode` returns the value or
// the decoder's own error text.
template <class T>
struct ChangeType {
  std::function<std::expected<T, std::string>(std::string_view json)> decode;
  typename action::Typed<T>::Encode encode;
  typename action::Typed<T>::Apply apply;
  typename action::Typed<T>::Debug debug;
};

class Registry {
 public:
  using Decoder =
      std::function<action::Result<std::unique_ptr<action::TypedAction>>(std::string_view json)>;

  // Registers (or replaces) the change type `type_name`.
  template <class T>
  void register_change(std::string type_name, ChangeType<T> type) {
    auto decoder = [name = type_name, type = std::move(type)](
                       std::string_view json) -> action::Result<std::unique_ptr<action::TypedAction>> {
      auto value = type.decode(json);
      if (!value) return std::unexpected(action::ActionError{std::move(value.error())});
      return std::make_unique<action::Typed<T>>(name, std::move(*value), type.encode, type.apply,
                                                type.debug);
    };
    register_decoder(std::move(type_name), std::move(decoder));
  }

  void register_decoder(std::string type_name, Decoder decoder);
  bool contains(std::string_view type_name) const;
  std::vector<std::string> type_names() const;

  // Decodes an invocation. Errors: an unknown type name, a text larger than
  // max_invocation_json_bytes, or the decoder's own error text.
  action::Result<std::unique_ptr<action::TypedAction>> decode(std::string_view type_name,
                                                              std::string_view json) const;

 private:
  std::map<std::string, Decoder, std::less<>> decoders_;
};

}  // namespace kova::actions::registry
