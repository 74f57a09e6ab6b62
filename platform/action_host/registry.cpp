#include "action_host/registry.h"

#include "action_host/limits.h"

namespace kova::actions::registry {

void Registry::register_decoder(std::string type_name, Decoder decoder) {
  decoders_[std::move(type_name)] = std::move(decoder);
}

bool Registry::contains(std::string_view type_name) const {
  return decoders_.find(type_name) != decoders_.end();
}

std::vector<std::string> Registry::type_names() const {
  std::vector<std::string> names;
  for (const auto& [name, decoder] : decoders_) names.push_back(name);
  return names;
}

action::Result<std::unique_ptr<action::TypedAction>> Registry::decode(std::string_view type_name,
                                                                      std::string_view json) const {
  const auto it = decoders_.find(type_name);
  if (it == decoders_.end()) {
    const auto shown = type_name.substr(0, max_type_name_bytes);
    return std::unexpected(action::ActionError{"unknown change type \"" + std::string(shown) + "\""});
  }
  if (json.size() > max_invocation_json_bytes) {
    return std::unexpected(action::ActionError{
        "change is larger than " + std::to_string(max_invocation_json_bytes) + " bytes"});
  }
  return it->second(json);
}

}  // namespace kova::actions::registry
