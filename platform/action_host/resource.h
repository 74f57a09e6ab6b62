// What an application offers to automation clients: resources (things with
// an id and a label, nested) carrying action specs (what may be invoked on
// them). Plain values, rebuilt by the application whenever they are asked
// for; nothing here is cached.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "action_host/action.h"
#include "action_host/params.h"

namespace kova::actions::resource {

// Numbers are part of the automation protocol.
enum class OperationClass : std::uint8_t {
  None = 0,        // a document change, not an operation
  Background = 1,  // started, then polled until it finishes
  View = 2,        // executed at once, changes what the user sees
};

// The invocation an action runs: a type name plus the JSON text of a value
// of that type.
struct EncodedInvocation {
  std::string type_name;
  std::string json;
  friend bool operator==(const EncodedInvocation&, const EncodedInvocation&) = default;
};

// Builds the invocation of a parameterised action from the invocation's
// arguments (for example a new name typed by the user).
using InvocationBuilder = std::function<EncodedInvocation(const params::ActionArgs&)>;

// The one text argument an action may ask for.
struct TextInput {
  std::string name;  // argument name, read back with ActionArgs::text
  std::string label;
  std::string placeholder;
  std::string description;
  friend bool operator==(const TextInput&, const TextInput&) = default;
};

// Why an action is listed but cannot be used now.
struct Unavailability {
  std::string code;  // stable, machine-readable, e.g. "terminal_not_connected"
  std::string reason;
  friend bool operator==(const Unavailability&, const Unavailability&) = default;
};

// What an action needs from the host that runs it.
struct Contract {
  std::vector<std::string> capabilities;
  friend bool operator==(const Contract&, const Contract&) = default;
};

struct ActionSpec {
  std::string id;
  std::string label;
  std::optional<std::string> description;
  std::optional<TextInput> input;
  // Exactly one of the two is used: a fixed invocation, or a builder when
  // the invocation depends on the arguments.
  std::optional<EncodedInvocation> invocation;
  InvocationBuilder builder;
  OperationClass operation_class = OperationClass::None;
  std::optional<Contract> contract;
  bool is_destructive = false;
  std::optional<Unavailability> unavailable;

  static ActionSpec encoded(std::string id, std::string label, EncodedInvocation invocation);
  static ActionSpec built(std::string id, std::string label, TextInput input,
                          InvocationBuilder builder);

  ActionSpec&& with_description(std::string text) &&;
  ActionSpec&& with_operation_class(OperationClass cls) &&;
  ActionSpec&& with_contract(std::vector<std::string> capabilities) &&;
  ActionSpec&& destructive() &&;
  ActionSpec&& unavailable_because(std::string code, std::string reason) &&;

  // The invocation to run for `args`: the builder's result, or the fixed one.
  EncodedInvocation invocation_for(const params::ActionArgs& args) const;
};

struct Resource {
  std::string kind;  // e.g. "remote.connection"
  std::string id;    // unique among the application's resources
  std::string label;
  std::vector<ActionSpec> actions;
  std::vector<Resource> children;

  Resource&& with_action(ActionSpec spec) &&;
  Resource&& with_child(Resource child) &&;
  // The action with `action_id`, or null.
  const ActionSpec* find_action(std::string_view action_id) const;
};

// The input an action expects, as shown to automation clients.
struct InputParameter {
  std::string name;
  std::string type;  // always "text" for now
  std::string label;
  std::string placeholder;
  std::string description;
  bool required = false;
  friend bool operator==(const InputParameter&, const InputParameter&) = default;
};

struct InputDescription {
  std::vector<InputParameter> parameters;
  friend bool operator==(const InputDescription&, const InputDescription&) = default;
};

// Derives the input description of an action: its one text input, or no
// parameters. A missing argument is allowed (the builder decides what an
// absent text means), so no parameter is required.
InputDescription derive_input(const ActionSpec& spec);

// Checks that an invocation declared with class `declared` may run an
// operation whose own class is `actual`. The error's text is `mismatch`.
action::Result<void> enforce_operation_type(OperationClass declared, OperationClass actual,
                                            std::string_view mismatch);

}  // namespace kova::actions::resource
