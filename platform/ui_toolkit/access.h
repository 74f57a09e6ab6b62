#pragma once

// Accessibility nodes: the tree an application builds on request for
// assistive technology and automated testing, and the semantic actions that
// come back addressed by the node's text id.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui_toolkit/geometry.h"

namespace kova::ui {

enum class AccessRole {
  Window,
  Dialog,
  Group,
  Toolbar,
  List,
  ListItem,
  Button,
  ToggleButton,
  Option,
  TextInput,
  Text,
  Heading,
  Terminal,
  Canvas,
};

enum class AccessAction { Activate, Focus, Toggle, SetValue, ScrollIntoView };

struct AccessStates {
  std::optional<bool> selected;
  std::optional<bool> toggled;
  std::optional<bool> focused;
  std::optional<bool> expanded;
  friend bool operator==(const AccessStates&, const AccessStates&) = default;
};

struct AccessNode {
  AccessRole role = AccessRole::Group;
  std::string label;
  std::optional<std::string> description;
  std::optional<std::string> value;
  std::string id;  // text id, empty for nodes that cannot be addressed
  std::optional<Rect> bounds;
  AccessStates states;
  std::vector<AccessNode> children;
};

// Numeric node id of a text id (64-bit FNV-1a): equal texts give equal ids.
std::uint64_t access_node_id(std::string_view text_id);

// Actions a node of `role` offers to assistive technology.
std::vector<AccessAction> default_actions(AccessRole role);

// Wire names of the actions: "activate", "focus", "toggle", "set-value",
// "scroll-into-view".
std::string_view action_name(AccessAction action);
std::optional<AccessAction> parse_action_name(std::string_view name);

// What assistive technology may invoke: one binding per addressable node
// (non-empty id) in tree order, with the actions its role offers. Nodes that
// share a text id share a numeric id and both appear.
struct AccessBinding {
  std::uint64_t node_id = 0;
  std::string text_id;
  std::vector<AccessAction> actions;
};
std::vector<AccessBinding> collect_bindings(const AccessNode& root);

// Depth-first search by text id; nullptr when absent.
const AccessNode* find_access_node(const AccessNode& root, std::string_view text_id);

// Every node with this text id, in tree order.
std::vector<const AccessNode*> find_access_nodes(const AccessNode& root, std::string_view text_id);

}  // namespace kova::ui
