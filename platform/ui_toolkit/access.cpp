#include "ui_toolkit/access.h"

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
