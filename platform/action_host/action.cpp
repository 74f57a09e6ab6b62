#include "action_host/action.h"

#include <nlohmann/json.hpp>

#include "action_host/limits.h"

namespace kova::actions::action {

std::optional<std::string> tagged_variant_name(std::string_view json) {
  if (json.size() > max_invocation_json_bytes) return std::nullopt;
  const auto value = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (value.is_string()) return value.get<std::string>();
  if (value.is_object() && value.size() == 1) return value.begin().key();
  return std::nullopt;
}

}  // namespace kova::actions::action
