#include "app/remote_change.h"

#include <nlohmann/json.hpp>

#include "actions/apply.h"
#include "actions/codec.h"

namespace remote::app {

namespace ka = kova::actions;

ka::registry::ChangeType<actions::RemoteAction> remote_change_type() {
  return {
      .decode = [](std::string_view json) -> std::expected<actions::RemoteAction, std::string> {
        auto decoded = actions::decode_remote_action(json);
        if (!decoded) return std::unexpected(decoded.error().message);
        return std::move(*decoded);
      },
      .encode = [](const actions::RemoteAction& a) { return actions::encode_remote_action(a); },
      .apply = [](const actions::RemoteAction& a, kova::doc::Document& d) -> ka::action::Result<void> {
        if (auto applied = actions::apply_remote_action(a, d); !applied)
          return std::unexpected(ka::action::ActionError{applied.error().message});
        return {};
      },
      .debug = {},
  };
}

ka::action::Typed<actions::RemoteAction> make_remote_typed_action(const actions::RemoteAction& action) {
  auto type = remote_change_type();
  return ka::action::Typed<actions::RemoteAction>(std::string(actions::remote_action_type), action,
                                                  std::move(type.encode), std::move(type.apply));
}

ka::context::ActionContext remote_action_context(const actions::RemoteAction& action) {
  const auto value = actions::remote_action_value(action);
  std::string label = "Update";
  if (value.is_string()) {
    label = ka::context::humanize_identifier(value.get<std::string>());
  } else if (value.is_object() && value.size() == 1) {
    label = ka::context::humanize_identifier(value.begin().key());
  }
  const ka::context::ActionContext caller{"org.kova.Remote", "Remote", label};
  return ka::context::ActionContext{}.enriched_by(caller);
}

void install_registry(kova::shell::App& app) {
  app.action_registry_mut().register_change<actions::RemoteAction>(
      std::string(actions::remote_action_type), remote_change_type());
}

}  // namespace remote::app
