#include "app/operations.h"

#include <gtest/gtest.h>

#include "actions/codec.h"
#include "app/session.h"
#include "live_fixtures.h"

namespace {

using namespace remote::app;
using namespace remote::app::testing;
using K = remote::profiles::ConnectionKind;
using A = remote::profiles::AuthMethod;
using Cls = kova::actions::resource::OperationClass;
using St = Outcome::Status;
namespace ra = remote::actions;
namespace cs = kova::callstream;

Invocation invocation(Cls cls, const ra::RemoteOperation& op, std::string id = "inv-1") {
  return {std::move(id),
          cls,
          std::string(ra::remote_operation_type),
          ra::encode_remote_operation(op),
          {}};
}

struct Operations : ::testing::Test {
  ScopedEnv env;
  RemoteApp app{{profile("ssh", K::Ssh, "127.0.0.1", refused_port, A::Password),
                 profile("odd", K::Ssh, "127.0.0.1", refused_port, A::DeviceIdentity),
                 profile("rdp", K::Rdp, "127.0.0.1", 3389, A::Password),
                 profile("device", K::Kova, endpoint_text(3), 0, A::DeviceIdentity),
                 profile("blank", K::Kova, "", 0, A::DeviceIdentity)},
                {}};
  const remote::profiles::ConnectionId gone = remote::profiles::ConnectionId::random();

  void SetUp() override { env.set("REMOTE_LIVE_SESSIONS", std::nullopt); }
  AppState& s() { return app.state(); }
  remote::profiles::ConnectionId id(std::string_view name) { return named(s().profiles, name).id; }
  Outcome start_device_connect() {
    return start_operation(s(), invocation(Cls::Background, ra::Connect{id("device")}));
  }
  void started() {
    deliver_device_event(s(), {s().session->device->stream_request(), cs::StreamStarted{64, 48}});
  }
};

TEST_F(Operations, ExecuteAnswersEveryOperation) {
  const ra::HostKeyIdentity key{"ssh-ed25519", "SHA256:abc"};
  const struct {
    const char* name;
    Invocation invocation;
    Outcome expected;
  } cases[] = {
      {"no class", invocation(Cls::None, ra::ShowConnections{}), Outcome::not_handled()},
      {"other vocabulary",
       {"i", Cls::View, "other.operation", "\"ShowConnections\"", {}},
       Outcome::not_handled()},
      {"view as background", invocation(Cls::Background, ra::ShowConnections{}),
       Outcome::failed("remote operation kind does not match its declared contract")},
      {"connect as view", invocation(Cls::View, ra::Connect{id("device")}),
       Outcome::failed("remote operation kind does not match its declared contract")},
      {"show", invocation(Cls::View, ra::ShowConnections{}), Outcome::completed()},
      {"new form", invocation(Cls::View, ra::NewConnectionForm{}), Outcome::completed()},
      {"edit missing", invocation(Cls::View, ra::EditConnection{gone}),
       Outcome::failed("saved connection no longer exists")},
      {"connect missing", invocation(Cls::Background, ra::Connect{gone}),
       Outcome::failed("saved connection no longer exists")},
      {"disconnect inactive", invocation(Cls::Background, ra::Disconnect{id("ssh")}),
       Outcome::failed("that remote session is no longer active")},
      {"send text without terminal", invocation(Cls::Background, ra::SendText{id("ssh"), "ls\r"}),
       Outcome::failed("text input requires a connected SSH terminal")},
      {"trust missing", invocation(Cls::Background, ra::TrustSshHostKey{gone, key}),
       Outcome::failed("saved connection no longer exists")},
      {"trust without verdict", invocation(Cls::Background, ra::TrustSshHostKey{id("ssh"), key}),
       Outcome::failed("the observed SSH host key is stale; reconnect to inspect the current key")},
      {"forget missing", invocation(Cls::Background, ra::ForgetSshHostKey{gone}),
       Outcome::failed("saved connection no longer exists")},
      {"forget without verdict", invocation(Cls::Background, ra::ForgetSshHostKey{id("ssh")}),
       Outcome::failed("only the currently observed changed SSH host key can be forgotten")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(execute_operation(s(), c.invocation), c.expected);
  }
  EXPECT_FALSE(s().session);
  EXPECT_FALSE(s().running_operation);

  // A decoding error is the decoder's own text.
  Invocation bad{
      "i", Cls::Background, std::string(ra::remote_operation_type), "{\"Connect\":{}}", {}};
  const auto decoded = ra::decode_remote_operation(bad.type_name, bad.json);
  ASSERT_TRUE(decoded && !*decoded);
  EXPECT_EQ(execute_operation(s(), bad), Outcome::failed(decoded->error().message));
  EXPECT_EQ(start_operation(s(), bad), Outcome::failed(decoded->error().message));
}

TEST_F(Operations, ExecuteChangesWhatTheOperationNames) {
  EXPECT_EQ(execute_operation(s(), invocation(Cls::View, ra::EditConnection{id("rdp")})),
            Outcome::completed());
  EXPECT_EQ(s().screen, Screen::form_edit(id("rdp")));
  EXPECT_EQ(execute_operation(s(), invocation(Cls::Background, ra::Connect{id("device")})),
            Outcome::completed());
  EXPECT_EQ(s().session->kind, SessionState::Kind::Device);
  EXPECT_FALSE(s().pending_confirmation);  // automation never asks
  EXPECT_EQ(execute_operation(s(), invocation(Cls::Background, ra::SendText{id("device"), "x"})),
            Outcome::failed("text input requires a connected SSH terminal"));
  EXPECT_EQ(execute_operation(s(), invocation(Cls::Background, ra::Disconnect{id("device")})),
            Outcome::completed());
  EXPECT_FALSE(s().session);
  EXPECT_EQ(s().screen, Screen::list());
}

TEST_F(Operations, StartRefusesWhatCannotRunInTheBackground) {
  env.set("REMOTE_LIVE_SESSIONS", "1");
  const struct {
    const char* name;
    Invocation invocation;
    Outcome expected;
  } cases[] = {
      {"view class", invocation(Cls::View, ra::ShowConnections{}), Outcome::not_handled()},
      {"no class", invocation(Cls::None, ra::Connect{id("device")}), Outcome::not_handled()},
      {"view operation", invocation(Cls::Background, ra::ShowConnections{}),
       Outcome::failed("view operations do not start background work")},
      {"missing", invocation(Cls::Background, ra::Connect{gone}),
       Outcome::failed("saved connection no longer exists")},
      {"rdp", invocation(Cls::Background, ra::Connect{id("rdp")}),
       Outcome::failed(
           "RDP profiles are preserved, but this Kova build has no RDP client backend.")},
      {"inconsistent", invocation(Cls::Background, ra::Connect{id("odd")}),
       Outcome::failed("SSH profiles support password or public-key authentication.")},
      {"send text elsewhere", invocation(Cls::Background, ra::SendText{id("ssh"), "x"}),
       Outcome::failed("that remote session is no longer active")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(start_operation(s(), c.invocation), c.expected);
    EXPECT_FALSE(s().session);
    EXPECT_FALSE(s().running_operation);
  }
  env.set("REMOTE_LIVE_SESSIONS", std::nullopt);
  EXPECT_EQ(start_operation(s(), invocation(Cls::Background, ra::Connect{id("ssh")})),
            Outcome::failed(
                "SSH is installed, but this build has not been granted live network access."));
  // A start that fails at once still connected: the session shows why.
  EXPECT_EQ(start_operation(s(), invocation(Cls::Background, ra::Connect{id("blank")})),
            Outcome::failed("Kova host must be an exact certified device endpoint id"));
  EXPECT_EQ(s().session->kind, SessionState::Kind::Failed);
  EXPECT_FALSE(s().running_operation);
}

TEST_F(Operations, PendingConnectHoldsTheOnlySlotUntilItsOutcome) {
  ASSERT_EQ(start_device_connect(), Outcome::pending());
  EXPECT_EQ(
      start_operation(s(), invocation(Cls::Background, ra::Disconnect{id("device")}, "inv-2")),
      Outcome::failed("another remote operation is still running"));
  EXPECT_EQ(
      start_operation(s(), invocation(Cls::Background, ra::SendText{id("device"), "x"}, "inv-2")),
      Outcome::failed("another remote operation is still running"));
  // Execute is not blocked by the slot.
  EXPECT_EQ(execute_operation(s(), invocation(Cls::Background, ra::SendText{id("device"), "x"})),
            Outcome::failed("text input requires a connected SSH terminal"));
  EXPECT_EQ(poll_operation(s(), "inv-2", false), Outcome::no_news());
  EXPECT_EQ(poll_operation(s(), "inv-1", false), Outcome::no_news());
  started();
  EXPECT_EQ(poll_operation(s(), "inv-1", false), Outcome::completed());
  EXPECT_FALSE(s().running_operation);
  EXPECT_EQ(poll_operation(s(), "inv-1", false), Outcome::no_news());
  // Send text on a device session is refused at start.
  EXPECT_EQ(start_operation(s(), invocation(Cls::Background, ra::SendText{id("device"), "x"})),
            Outcome::failed("text input requires a connected SSH terminal"));
}

TEST_F(Operations, PollReportsEveryEndOfAConnect) {
  const struct {
    const char* name;
    std::function<void(Operations&)> meanwhile;
    bool cancel;
    Outcome expected;
  } cases[] = {
      {"failed",
       [](Operations& t) {
         deliver_device_event(t.s(), {t.s().session->device->stream_request(),
                                      cs::StreamClosed{cs::CloseReason::RevokedByTarget, {}}});
       },
       false, Outcome::failed("Target revoked workspace control", "remote.connect_failed")},
      {"replaced by the user", [](Operations& t) { connect(t.s(), t.id("rdp")); }, false,
       Outcome::failed("the connection attempt was superseded by a newer session",
                       "remote.session_replaced")},
      {"same connection reconnected", [](Operations& t) { connect(t.s(), t.id("device")); }, false,
       Outcome::failed("the connection attempt was superseded by a newer session",
                       "remote.session_replaced")},
      {"ended", [](Operations& t) { t.s().session = SessionState::review(SessionStatus::ended()); },
       false,
       Outcome::failed("remote connection closed before it became ready",
                       "remote.connection_closed")},
      {"no session", [](Operations& t) { t.s().session.reset(); }, false,
       Outcome::failed("remote connection closed before it became ready",
                       "remote.connection_closed")},
      {"unavailable", [](Operations& t) { t.s().session = SessionState::unavailable(2, K::Rdp); },
       false,
       Outcome::failed("RDP profiles are preserved, but this Kova build has no RDP client backend.",
                       "remote.transport_unavailable")},
      {"cancelled", [](Operations&) {}, true,
       Outcome::cancelled("remote connection attempt cancelled")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(start_device_connect(), Outcome::pending());
    c.meanwhile(*this);
    EXPECT_EQ(poll_operation(s(), "inv-1", c.cancel), c.expected);
    EXPECT_FALSE(s().running_operation);
  }
}

TEST_F(Operations, CancelEndsOnlyTheAttemptItStarted) {
  ASSERT_EQ(start_device_connect(), Outcome::pending());
  const auto stream = s().session->device->stream_request();
  take_platform_requests(s());
  EXPECT_EQ(poll_operation(s(), "inv-1", true),
            Outcome::cancelled("remote connection attempt cancelled"));
  EXPECT_FALSE(s().session);
  const auto requests = take_platform_requests(s());
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(std::get<cs::CloseStream>(requests[0]).request, stream);

  ASSERT_EQ(start_device_connect(), Outcome::pending());
  connect(s(), id("blank"));
  EXPECT_EQ(poll_operation(s(), "inv-1", true),
            Outcome::cancelled("remote connection attempt cancelled"));
  EXPECT_EQ(s().session_connection, id("blank"));
  EXPECT_EQ(s().screen, Screen::session(id("blank")));
}

}  // namespace
