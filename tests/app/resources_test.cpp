#include "app/resources.h"

#include <gtest/gtest.h>

#include "actions/codec.h"
#include "app/session.h"
#include "live_fixtures.h"
#include "profiles/connections_document.h"

namespace {

using namespace remote::app;
using namespace remote::app::testing;
using K = remote::profiles::ConnectionKind;
using A = remote::profiles::AuthMethod;
using Cls = kova::actions::resource::OperationClass;
using kova::actions::resource::ActionSpec;
using kova::actions::resource::EncodedInvocation;
using kova::actions::resource::Resource;
using kova::actions::resource::Unavailability;
namespace ra = remote::actions;

EncodedInvocation op(const ra::RemoteOperation& o) {
  return {"remote.operation", ra::encode_remote_operation(o)};
}
EncodedInvocation change(const ra::RemoteAction& a) {
  return {"remote.action", ra::encode_remote_action(a)};
}

std::vector<std::string> action_ids(const Resource& r) {
  std::vector<std::string> ids;
  for (const auto& a : r.actions)
    ids.push_back(a.id);
  return ids;
}

struct Resources : ::testing::Test {
  ScopedEnv env;
  RemoteApp app{{profile("ssh", K::Ssh, "alpha.lab", 22, A::Password),
                 profile("   ", K::Vnc, "blank.lab", 5900, A::Password),
                 profile("vnc-key", K::Vnc, "10.0.0.2", 5900, A::PublicKey),
                 profile("rdp", K::Rdp, "10.0.0.3", 3389, A::Password),
                 profile("device", K::Kova, endpoint_text(5), 0, A::DeviceIdentity, true)},
                {}};
  kova::doc::Document doc;

  void SetUp() override {
    env.set("REMOTE_LIVE_SESSIONS", std::nullopt);
    app.document_changed(doc);  // seeds the document with the profiles
  }
  AppState& s() { return app.state(); }
  remote::profiles::ConnectionId id(std::string_view name) { return named(s().profiles, name).id; }
  Resource top() {
    auto all = resources(s(), doc);
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? Resource{} : all.front();
  }
  const Resource* child(const Resource& list, const std::string& rid) {
    for (const auto& c : list.children)
      if (c.id == rid) return &c;
    ADD_FAILURE() << "no resource " << rid;
    return nullptr;
  }
};

TEST_F(Resources, CollectionListsTheDocumentsConnectionsInOrder) {
  const Resource list = top();
  EXPECT_EQ(list.kind, "remote.connections");
  EXPECT_EQ(list.id, "remote.connection-list");
  EXPECT_EQ(list.label, "Remote connections");
  ASSERT_EQ(action_ids(list), (std::vector<std::string>{"open", "new"}));
  EXPECT_EQ(list.actions[0].label, "Show connections");
  EXPECT_EQ(list.actions[0].invocation, op(ra::ShowConnections{}));
  EXPECT_EQ(list.actions[0].operation_class, Cls::View);
  EXPECT_EQ(list.actions[1].label, "New connection");
  EXPECT_EQ(list.actions[1].invocation, op(ra::NewConnectionForm{}));
  EXPECT_EQ(list.actions[1].operation_class, Cls::View);

  const auto stored = remote::profiles::load_connections(doc);
  ASSERT_EQ(list.children.size(), stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    EXPECT_EQ(list.children[i].kind, "remote.connection");
    EXPECT_EQ(list.children[i].id, "remote.connection:" + stored[i].id.to_string());
  }
  // A name of spaces is labelled by its host.
  EXPECT_EQ(child(list, "remote.connection:" + id("   ").to_string())->label, "blank.lab");
}

TEST_F(Resources, ConnectionActionsFollowTheProfile) {
  const Resource list = top();
  const Resource& ssh = *child(list, "remote.connection:" + id("ssh").to_string());
  EXPECT_EQ(ssh.label, "ssh");
  ASSERT_EQ(action_ids(ssh),
            (std::vector<std::string>{"open", "connect", "rename", "favorite", "delete"}));
  const ActionSpec& open = ssh.actions[0];
  EXPECT_EQ(open.label, "Open connection settings");
  EXPECT_EQ(open.invocation, op(ra::EditConnection{id("ssh")}));
  EXPECT_EQ(open.operation_class, Cls::View);
  const ActionSpec& connect = ssh.actions[1];
  EXPECT_EQ(connect.invocation, op(ra::Connect{id("ssh")}));
  EXPECT_EQ(connect.operation_class, Cls::Background);
  ASSERT_TRUE(connect.contract);
  EXPECT_EQ(connect.contract->capabilities, (std::vector<std::string>{"network", "session"}));
  const ActionSpec& rename = ssh.actions[2];
  EXPECT_EQ(rename.label, "Rename connection");
  ASSERT_TRUE(rename.input);
  EXPECT_EQ(rename.input->name, "value");
  EXPECT_EQ(rename.input->label, "New name");
  EXPECT_EQ(rename.input->placeholder, "connection name");
  EXPECT_EQ(rename.invocation_for({{"value", "Lab A"}}),
            change(ra::RenameConnection{id("ssh"), "Lab A"}));
  EXPECT_EQ(rename.invocation_for({}), change(ra::RenameConnection{id("ssh"), ""}));
  EXPECT_EQ(ssh.actions[3].label, "Add to favourites");
  EXPECT_EQ(ssh.actions[3].invocation, change(ra::SetFavorite{id("ssh"), true}));
  EXPECT_FALSE(ssh.actions[3].is_destructive);
  EXPECT_EQ(ssh.actions[4].label, "Delete connection");
  EXPECT_EQ(ssh.actions[4].invocation, change(ra::DeleteConnection{id("ssh")}));
  EXPECT_TRUE(ssh.actions[4].is_destructive);

  const Resource& device = *child(list, "remote.connection:" + id("device").to_string());
  EXPECT_EQ(device.actions[3].label, "Remove from favourites");
  EXPECT_EQ(device.actions[3].invocation, change(ra::SetFavorite{id("device"), false}));
}

TEST_F(Resources, ConnectIsUnavailableForEachReadinessReason) {
  const std::string ssh_text =
      "SSH is installed, but this build has not been granted live network access.";
  const struct {
    const char* profile;
    std::optional<std::string> live;
    std::optional<Unavailability> expected;
    std::string readiness;
  } cases[] = {
      {"ssh", std::nullopt, Unavailability{"live_session_capability_required", ssh_text}, ssh_text},
      {"ssh", "", std::nullopt, "This transport is ready to connect."},
      {"device", std::nullopt, std::nullopt, "This transport is ready to connect."},
      {"rdp", "1",
       Unavailability{"transport_backend_unavailable",
                      "RDP profiles are preserved, but this Kova build has no RDP client backend."},
       "RDP profiles are preserved, but this Kova build has no RDP client backend."},
      {"vnc-key", "1",
       Unavailability{"invalid_connection_profile",
                      "VNC profiles support password authentication only."},
       "This saved connection has incompatible target or authentication settings."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + " with REMOTE_LIVE_SESSIONS " + c.live.value_or("unset"));
    env.set("REMOTE_LIVE_SESSIONS", c.live);
    const Resource list = top();
    const ActionSpec* connect =
        child(list, "remote.connection:" + id(c.profile).to_string())->find_action("connect");
    ASSERT_TRUE(connect);
    EXPECT_EQ(connect->unavailable, c.expected);
    EXPECT_EQ(connect->description, "Open a live session to this saved connection. " + c.readiness);
  }
}

TEST_F(Resources, SessionResourceOffersTextOnlyToAConnectedTerminal) {
  connect(s(), id("device"));
  const Resource list = top();
  ASSERT_EQ(list.children.size(), 6u);
  const Resource& session = list.children.back();
  EXPECT_EQ(session.kind, "remote.session");
  EXPECT_EQ(session.id, "remote.session:" + id("device").to_string());
  EXPECT_EQ(session.label, "device session");
  ASSERT_EQ(action_ids(session), (std::vector<std::string>{"disconnect", "send-text"}));
  EXPECT_EQ(session.actions[0].label, "Disconnect session");
  EXPECT_EQ(session.actions[0].invocation, op(ra::Disconnect{id("device")}));
  EXPECT_EQ(session.actions[0].contract->capabilities,
            (std::vector<std::string>{"network", "session"}));
  const ActionSpec& send = session.actions[1];
  EXPECT_EQ(send.label, "Send text to session");
  ASSERT_TRUE(send.input);
  EXPECT_EQ(send.input->name, "text");
  EXPECT_EQ(send.input->description, "Text to deliver to the connected SSH terminal");
  EXPECT_EQ(send.input->placeholder, "command or text");
  EXPECT_EQ(send.operation_class, Cls::Background);
  EXPECT_EQ(send.contract->capabilities, (std::vector<std::string>{"remote-input", "session"}));
  EXPECT_EQ(send.unavailable, (Unavailability{"terminal_not_connected",
                                              "Text input requires a connected SSH terminal"}));
  EXPECT_EQ(send.invocation_for({}), op(ra::SendText{id("device"), ""}));
  EXPECT_EQ(send.invocation_for({{"text", "ls\r"}}), op(ra::SendText{id("device"), "ls\r"}));
}

TEST_F(Resources, EmptyDocumentHasNoChildrenEvenWithASessionShown) {
  connect(s(), id("device"));
  std::erase_if(s().profiles, [&](const auto& p) { return p.name == "device"; });
  kova::doc::Document empty;
  const auto all = resources(s(), empty);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].actions.size(), 2u);
  EXPECT_TRUE(all[0].children.empty());
}

}  // namespace
