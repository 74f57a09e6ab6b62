// Named arguments of an action invocation, as an automation client or a
// text input of the user supplies them.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kova::actions::params {

class ActionArgs {
 public:
  ActionArgs() = default;
  ActionArgs(std::initializer_list<std::pair<const std::string, std::string>> values)
      : values_(values) {}

  void set_text(std::string name, std::string value) { values_[std::move(name)] = std::move(value); }
  // The text argument `name`, or nothing when the invocation did not carry it.
  std::optional<std::string> text(std::string_view name) const;
  bool empty() const { return values_.empty(); }

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace kova::actions::params
