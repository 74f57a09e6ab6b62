#include "ui_toolkit/access.h"

#include <utility>

namespace kova::ui {

std::uint64_t access_node_id(std::string_view text_id) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (char c : text_id) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  return h;
}

std::vector<AccessAction> default_actions(AccessRole role) {
  switch (role) {
    case AccessRole::Button: return {AccessAction::Activate, AccessAction::Focus};
    case AccessRole::ToggleButton:
    case AccessRole::Option:
      return {AccessAction::Activate, AccessAction::Toggle, AccessAction::Focus};
    case AccessRole::TextInput:
      return {AccessAction::Activate, AccessAction::Focus, AccessAction::SetValue};
    case AccessRole::ListItem:
      return {AccessAction::Activate, AccessAction::Focus, AccessAction::ScrollIntoView};
    default: return {};
  }
}

namespace {
constexpr std::pair<AccessAction, std::string_view> action_names[] = {
    {AccessAction::Activate, "activate"},
    {AccessAction::Focus, "focus"},
    {AccessAction::Toggle, "toggle"},
    {AccessAction::SetValue, "set-value"},
    {AccessAction::ScrollIntoView, "scroll-into-view"},
};

void bindings(const AccessNode& n, std::vector<AccessBinding>& out) {
  if (!n.id.empty()) {
    auto actions = default_actions(n.role);
    if (!actions.empty()) out.push_back({access_node_id(n.id), n.id, std::move(actions)});
  }
  for (const auto& c : n.children) bindings(c, out);
}

void collect(const AccessNode& n, std::string_view id, std::vector<const AccessNode*>& out,
             bool first_only) {
  if (n.id == id) {
    out.push_back(&n);
    if (first_only) return;
  }
  for (const auto& c : n.children) {
    collect(c, id, out, first_only);
    if (first_only && !out.empty()) return;
  }
}
}  // namespace

std::string_view action_name(AccessAction action) {
  for (auto [a, name] : action_names) {
    if (a == action) return name;
  }
  return "activate";
}

std::optional<AccessAction> parse_action_name(std::string_view name) {
  for (auto [a, n] : action_names) {
    if (n == name) return a;
  }
  return std::nullopt;
}

std::vector<AccessBinding> collect_bindings(const AccessNode& root) {
  std::vector<AccessBinding> out;
  bindings(root, out);
  return out;
}

const AccessNode* find_access_node(const AccessNode& root, std::string_view text_id) {
  std::vector<const AccessNode*> out;
  collect(root, text_id, out, true);
  return out.empty() ? nullptr : out.front();
}

std::vector<const AccessNode*> find_access_nodes(const AccessNode& root, std::string_view text_id) {
  std::vector<const AccessNode*> out;
  collect(root, text_id, out, false);
  return out;
}

}  // namespace kova::ui
