#include "action_host/resource.h"

namespace kova::actions::resource {

ActionSpec ActionSpec::encoded(std::string id, std::string label, EncodedInvocation invocation) {
  ActionSpec spec;
  spec.id = std::move(id);
  spec.label = std::move(label);
  spec.invocation = std::move(invocation);
  return spec;
}

ActionSpec ActionSpec::built(std::string id, std::string label, TextInput input,
                             InvocationBuilder builder) {
  ActionSpec spec;
  spec.id = std::move(id);
  spec.label = std::move(label);
  spec.input = std::move(input);
  spec.builder = std::move(builder);
  return spec;
}

ActionSpec&& ActionSpec::with_description(std::string text) && {
  description = std::move(text);
  return std::move(*this);
}

ActionSpec&& ActionSpec::with_operation_class(OperationClass cls) && {
  operation_class = cls;
  return std::move(*this);
}

ActionSpec&& ActionSpec::with_contract(std::vector<std::string> capabilities) && {
  contract = Contract{std::move(capabilities)};
  return std::move(*this);
}

ActionSpec&& ActionSpec::destructive() && {
  is_destructive = true;
  return std::move(*this);
}

ActionSpec&& ActionSpec::unavailable_because(std::string code, std::string reason) && {
  unavailable = Unavailability{std::move(code), std::move(reason)};
  return std::move(*this);
}

EncodedInvocation ActionSpec::invocation_for(const params::ActionArgs& args) const {
  if (builder) return builder(args);
  return invocation.value_or(EncodedInvocation{});
}

Resource&& Resource::with_action(ActionSpec spec) && {
  actions.push_back(std::move(spec));
  return std::move(*this);
}

Resource&& Resource::with_child(Resource child) && {
  children.push_back(std::move(child));
  return std::move(*this);
}

const ActionSpec* Resource::find_action(std::string_view action_id) const {
  for (const auto& spec : actions)
    if (spec.id == action_id) return &spec;
  return nullptr;
}

InputDescription derive_input(const ActionSpec& spec) {
  InputDescription out;
  if (!spec.input) return out;
  const TextInput& in = *spec.input;
  out.parameters.push_back(InputParameter{.name = in.name,
                                          .type = "text",
                                          .label = in.label,
                                          .placeholder = in.placeholder,
                                          .description = in.description,
                                          .required = false});
  return out;
}

action::Result<void> enforce_operation_type(OperationClass declared, OperationClass actual,
                                            std::string_view mismatch) {
  if (declared == actual) return {};
  return std::unexpected(action::ActionError{std::string(mismatch)});
}

}  // namespace kova::actions::resource
