#include "action_host/params.h"

namespace kova::actions::params {

std::optional<std::string> ActionArgs::text(std::string_view name) const {
  const auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

}  // namespace kova::actions::params
