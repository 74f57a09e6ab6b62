#include <gtest/gtest.h>

#include "ui_toolkit/access.h"

namespace kova::ui {
namespace {

AccessNode node(AccessRole role, std::string label, std::string id = "") {
  AccessNode n;
  n.role = role;
  n.label = std::move(label);
  n.id = std::move(id);
  return n;
}

TEST(AccessNode, IdsHashAndSearch) {
  AccessNode root = node(AccessRole::Window, "Remote", "remote.root");
  AccessNode nav = node(AccessRole::Toolbar, "Remote navigation");
  nav.children.push_back(node(AccessRole::Button, "Add connection", "remote.connection.new"));
  root.children.push_back(nav);
  AccessNode list = node(AccessRole::Group, "Connections");
  list.children.push_back(node(AccessRole::Button, "New connection", "remote.connection.new"));
  AccessNode search = node(AccessRole::TextInput, "Search saved connections", "remote.field:search");
  search.value = "vnc";
  search.states.focused = true;
  list.children.push_back(search);
  root.children.push_back(list);

  EXPECT_EQ(access_node_id("remote.connection.new"), access_node_id(std::string("remote.connection.new")));
  EXPECT_NE(access_node_id("remote.connection.new"), access_node_id("remote.connection.nex"));
  EXPECT_EQ(find_access_nodes(root, "remote.connection.new").size(), 2u);
  const AccessNode* found = find_access_node(root, "remote.field:search");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->value, "vnc");
  EXPECT_EQ(found->states.focused, true);
  EXPECT_EQ(find_access_node(root, "remote.missing"), nullptr);
  EXPECT_EQ(find_access_node(root, "")->label, "Remote navigation") << "unaddressed nodes match only the empty id";

  auto bound = collect_bindings(root);
  ASSERT_EQ(bound.size(), 3u) << "the window and unaddressed nodes offer nothing";
  EXPECT_EQ(bound[0].text_id, "remote.connection.new");
  EXPECT_EQ(bound[0].node_id, bound[1].node_id);
  EXPECT_EQ(bound[2].node_id, access_node_id("remote.field:search"));
  EXPECT_EQ(bound[2].actions, default_actions(AccessRole::TextInput));
}

TEST(AccessNode, ActionNamesRoundTrip) {
  for (auto a : {AccessAction::Activate, AccessAction::Focus, AccessAction::Toggle,
                 AccessAction::SetValue, AccessAction::ScrollIntoView}) {
    EXPECT_EQ(parse_action_name(action_name(a)), a);
  }
  EXPECT_EQ(parse_action_name("set-value"), AccessAction::SetValue);
  EXPECT_EQ(parse_action_name("Activate"), std::nullopt);
  EXPECT_EQ(parse_action_name(""), std::nullopt);
}

TEST(AccessNode, RolesOfferTheirActions) {
  struct Case {
    AccessRole role;
    std::vector<AccessAction> actions;
  };
  const Case cases[] = {
      {AccessRole::Button, {AccessAction::Activate, AccessAction::Focus}},
      {AccessRole::ToggleButton, {AccessAction::Activate, AccessAction::Toggle, AccessAction::Focus}},
      {AccessRole::TextInput, {AccessAction::Activate, AccessAction::Focus, AccessAction::SetValue}},
      {AccessRole::ListItem, {AccessAction::Activate, AccessAction::Focus, AccessAction::ScrollIntoView}},
      {AccessRole::Heading, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.role));
    EXPECT_EQ(default_actions(c.role), c.actions);
  }
}

}  // namespace
}  // namespace kova::ui
