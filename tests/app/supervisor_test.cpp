#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <variant>

#include "app/session.h"
#include "live_fixtures.h"
#include "ssh/session.h"

namespace {

using namespace remote::app;
using namespace remote::app::testing;
using K = remote::profiles::ConnectionKind;
using A = remote::profiles::AuthMethod;
using kova::callstream::CloseStream;
using kova::callstream::OpenStream;
using kova::callstream::SendInput;
using kova::callstream::StreamEvent;
namespace fs = std::filesystem;
namespace cs = kova::callstream;

constexpr std::uint64_t max_u64 = std::numeric_limits<std::uint64_t>::max();

std::vector<remote::profiles::ConnectionProfile> one_of_each() {
  auto ssh = profile("ssh", K::Ssh, "127.0.0.1", refused_port, A::Password);
  auto vnc = profile("vnc", K::Vnc, "127.0.0.1", refused_port, A::Password);
  auto rdp = profile("rdp", K::Rdp, "127.0.0.1", 3389, A::Password);
  auto device = profile("device", K::Kova, endpoint_text(7), 0, A::DeviceIdentity);
  auto blank = profile("blank-device", K::Kova, "", 0, A::DeviceIdentity);
  auto odd = profile("ssh-device-identity", K::Ssh, "127.0.0.1", refused_port, A::DeviceIdentity);
  auto keyed = profile("ssh-key", K::Ssh, "127.0.0.1", refused_port, A::PublicKey);
  return {ssh, vnc, rdp, device, blank, odd, keyed};
}

struct Supervisor : ::testing::Test {
  TempDir dir;
  ScopedEnv env;
  RemoteApp app{one_of_each(), {}};

  void SetUp() override {
    env.set("REMOTE_LIVE_SESSIONS", std::nullopt);
    env.set("REMOTE_SSH_KNOWN_HOSTS", (dir.path() / "known-hosts.json").string());
    env.set("REMOTE_SSH_PASSWORD", "not used: the port refuses");
    env.set("REMOTE_SSH_KEY", std::nullopt);
    env.set("REMOTE_VNC_PASSWORD", std::nullopt);
    env.set("HOME", dir.path().string());
  }
  AppState& s() { return app.state(); }
  const remote::profiles::ConnectionProfile& get(std::string_view name) {
    return named(s().profiles, name);
  }
  void connect_to(std::string_view name) { connect(s(), get(name).id); }
};

TEST_F(Supervisor, ConnectStartsTheTransportOfEachKindOrShowsWhyNot) {
  using Sk = SessionState::Kind;
  using St = SessionStatus::Kind;
  const std::string ssh_text =
      "SSH is installed, but this build has not been granted live network access.";
  const std::string vnc_text =
      "VNC is installed, but this build has not been granted live network access.";
  const std::string rdp_text =
      "RDP profiles are preserved, but this Kova build has no RDP client backend.";
  const std::string odd_text =
      "This saved connection has incompatible target or authentication settings.";
  const struct {
    const char* profile;
    std::optional<std::string> live;
    Sk session;
    St settled;
    std::string text;  // for Unavailable and the worker-less Failed
    bool used;
  } cases[] = {
      {"ssh", std::nullopt, Sk::Unavailable, St::Unavailable, ssh_text, false},
      {"ssh", "", Sk::Ssh, St::Failed, {}, true},
      {"vnc", std::nullopt, Sk::Unavailable, St::Unavailable, vnc_text, false},
      {"vnc", "1", Sk::Vnc, St::Failed, {}, true},
      {"rdp", std::nullopt, Sk::Unavailable, St::Unavailable, rdp_text, false},
      {"rdp", "1", Sk::Unavailable, St::Unavailable, rdp_text, false},
      {"device", std::nullopt, Sk::Device, St::Connecting, {}, true},
      {"blank-device", std::nullopt, Sk::Failed, St::Failed,
       "Kova host must be an exact certified device endpoint id", true},
      {"ssh-device-identity", "1", Sk::Unavailable, St::Unavailable, odd_text, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + " with REMOTE_LIVE_SESSIONS " + c.live.value_or("unset"));
    env.set("REMOTE_LIVE_SESSIONS", c.live);
    RemoteApp fresh{one_of_each(), {}};
    AppState& a = fresh.state();
    const auto id = named(a.profiles, c.profile).id;
    connect(a, id);
    ASSERT_TRUE(a.session);
    EXPECT_EQ(a.session->kind, c.session);
    EXPECT_EQ(a.screen, Screen::session(id));
    EXPECT_EQ(a.session_connection, id);
    EXPECT_EQ(a.session_generation, 1u);
    EXPECT_EQ(named(a.profiles, c.profile).last_used, c.used ? "just now" : "2h ago");
    const auto status = c.settled == St::Connecting ? session_status(a) : settled_status(a);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->kind, c.settled);
    if (!c.text.empty()) {
      EXPECT_EQ(status->text, c.text);
    }
  }
}

TEST_F(Supervisor, SshStartFailuresNameTheirCause) {
  env.set("REMOTE_LIVE_SESSIONS", "1");
  // A store whose directory others may write is refused, never trusted.
  const fs::path open_dir = dir.path() / "open";
  fs::create_directory(open_dir);
  fs::permissions(open_dir, fs::perms::all, fs::perm_options::replace);
  env.set("REMOTE_SSH_KNOWN_HOSTS", (open_dir / "known-hosts.json").string());
  const auto store_error = remote::ssh::known_hosts_path();
  ASSERT_FALSE(store_error);
  connect_to("ssh");
  EXPECT_EQ(session_status(s()), SessionStatus::failed("SSH host-key trust is unavailable: " +
                                                       store_error.error().message));

  // No key in the environment and none in the (empty) home.
  env.set("REMOTE_SSH_KNOWN_HOSTS", (dir.path() / "known-hosts.json").string());
  const auto credential_error = remote::ssh::ssh_credentials(remote::ssh::SshAuth::PublicKey,
                                                             remote::ssh::default_key_candidates());
  ASSERT_FALSE(credential_error);
  connect_to("ssh-key");
  EXPECT_EQ(session_status(s()), SessionStatus::failed(credential_error.error().message));
  EXPECT_EQ(get("ssh-key").last_used, "just now");
}

TEST_F(Supervisor, ReconnectReplacesTheSessionAndOnlyDisconnectClosesTheStream) {
  connect_to("device");
  connect_to("device");
  EXPECT_EQ(s().session_generation, 2u);
  EXPECT_EQ(s().session->device->stream_request(), 2u);
  connect_to("ssh");  // not ready: the device session goes, without a close request
  connect_to("device");
  EXPECT_EQ(s().session_generation, 4u);
  disconnect(s());
  EXPECT_EQ(s().session_generation, 5u);
  EXPECT_FALSE(s().session);
  EXPECT_FALSE(s().session_connection);
  EXPECT_EQ(s().screen, Screen::list());
  EXPECT_EQ(s().next_stream_request, 4u);

  const auto requests = take_platform_requests(s());
  EXPECT_TRUE(s().platform_requests.empty());
  ASSERT_EQ(requests.size(), 4u);
  const auto device_key = kova::p2p::EndpointKey::parse(get("device").host)->bytes();
  for (std::uint64_t n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    const auto* open = std::get_if<OpenStream>(&requests[n - 1]);
    ASSERT_TRUE(open);
    EXPECT_EQ(open->request, n);
    EXPECT_EQ(open->endpoint, device_key);
  }
  const auto* close = std::get_if<CloseStream>(&requests[3]);
  ASSERT_TRUE(close);
  EXPECT_EQ(close->request, 3u);
}

TEST_F(Supervisor, DeviceEventsApplyOnlyToTheCurrentStream) {
  connect_to("device");
  connect_to("device");  // stream 2 replaces stream 1
  const struct {
    const char* name;
    StreamEvent event;
    SessionStatus expected;
    bool redraw;
  } cases[] = {
      {"late start of the replaced stream",
       {1, cs::StreamStarted{640, 480}},
       SessionStatus::connecting(),
       false},
      {"unknown stream", {99, cs::StreamClosed{}}, SessionStatus::connecting(), false},
      {"start", {2, cs::StreamStarted{640, 480}}, SessionStatus::connected(), true},
      {"waiting again", {2, cs::StreamWaiting{}}, SessionStatus::connecting(), true},
      {"start again", {2, cs::StreamStarted{640, 480}}, SessionStatus::connected(), true},
      {"late close of the replaced stream",
       {1, cs::StreamClosed{cs::CloseReason::RevokedByTarget, {}}},
       SessionStatus::connected(),
       false},
      {"relay gone",
       {2, cs::StreamClosed{cs::CloseReason::RelayDisconnected, {}}},
       SessionStatus::failed("Encrypted relay disconnected"),
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    s().needs_redraw = false;
    deliver_device_event(s(), c.event);
    EXPECT_EQ(session_status(s()), c.expected);
    EXPECT_EQ(s().needs_redraw, c.redraw);
  }
  EXPECT_EQ(s().session->device->frame_size().width, 640u);

  // Without a device session every event is ignored.
  disconnect(s());
  s().needs_redraw = false;
  deliver_device_event(s(), {3, cs::StreamStarted{1, 1}});
  EXPECT_FALSE(s().session);
  EXPECT_FALSE(s().needs_redraw);
}

TEST_F(Supervisor, DeviceInputIsQueuedOnlyWhileConnected) {
  connect_to("device");
  take_platform_requests(s());
  const remote::device::DeviceInputEvent key = remote::device::KeyEvent{true, 30};
  EXPECT_FALSE(send_device_input(s(), key));
  deliver_device_event(s(), {1, cs::StreamStarted{64, 48}});
  EXPECT_TRUE(send_device_input(s(), key));
  EXPECT_TRUE(send_device_input(s(), remote::device::PressMarker{}));
  const auto requests = take_platform_requests(s());
  ASSERT_EQ(requests.size(), 2u);
  const auto* sent = std::get_if<SendInput>(&requests[0]);
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->request, 1u);
  EXPECT_EQ(sent->input.kind, cs::DeviceInput::Kind::Key);
  EXPECT_TRUE(sent->input.pressed);
  EXPECT_EQ(sent->input.code, 30u);
  EXPECT_EQ(std::get<SendInput>(requests[1]).input.kind, cs::DeviceInput::Kind::PressMarker);
}

TEST_F(Supervisor, ExhaustedIdentityStartsNothing) {
  s().session_generation = max_u64;
  connect_to("device");
  EXPECT_EQ(session_status(s()),
            SessionStatus::failed("remote session identity exhausted; restart the application"));
  EXPECT_EQ(s().screen, Screen::session(get("device").id));
  EXPECT_EQ(s().session_connection, get("device").id);
  EXPECT_TRUE(s().platform_requests.empty());
  EXPECT_EQ(get("device").last_used, "2h ago");
  disconnect(s());
  EXPECT_EQ(s().session_generation, max_u64);
}

TEST_F(Supervisor, StreamNumbersSaturate) {
  s().next_stream_request = max_u64;
  connect_to("device");
  connect_to("device");
  EXPECT_EQ(s().next_stream_request, max_u64);
  const auto requests = take_platform_requests(s());
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(std::get<OpenStream>(requests[1]).request, max_u64);
}

TEST_F(Supervisor, FramesAreWantedWhileASessionConnects) {
  EXPECT_FALSE(app.wants_frame());
  connect_to("device");
  EXPECT_TRUE(app.wants_frame());
  deliver_device_event(s(), {1, cs::StreamStarted{64, 48}});
  EXPECT_TRUE(app.wants_frame());
  deliver_device_event(s(), {1, cs::StreamClosed{cs::CloseReason::Other, "gone"}});
  EXPECT_EQ(session_status(s()), SessionStatus::failed("gone"));
  EXPECT_FALSE(app.wants_frame());
  // No verdict for anything but an SSH session of that connection.
  EXPECT_FALSE(host_key_verdict(s(), get("device").id));
}

TEST_F(Supervisor, MissingConnectionDoesNothing) {
  connect(s(), remote::profiles::ConnectionId::random());
  EXPECT_FALSE(s().session);
  EXPECT_EQ(s().session_generation, 0u);
  EXPECT_EQ(s().screen, Screen::list());
}

}  // namespace

namespace {

using namespace remote::app;
using namespace remote::app::testing;

TEST_F(Supervisor, ConnectConfirmationRechecksOnlyTheSignature) {
  const struct {
    const char* name;
    std::function<void(remote::profiles::ConnectionProfile&)> change;
    bool starts;
  } cases[] = {
      {"unchanged", [](auto&) {}, true},
      {"renamed", [](auto& p) { p.name = "renamed"; }, true},
      {"regrouped and favourite",
       [](auto& p) {
         p.group = "other";
         p.favorite = !p.favorite;
       },
       true},
      {"host", [](auto& p) { p.host = endpoint_text(8); }, false},
      {"port", [](auto& p) { p.port = 7; }, false},
      {"user", [](auto& p) { p.user = "someone"; }, false},
  };
  kova::doc::Document doc;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RemoteApp fresh{one_of_each(), {}};
    AppState& a = fresh.state();
    const auto id = named(a.profiles, "device").id;
    fresh.apply(msg::RequestConnect{id}, doc);
    ASSERT_TRUE(a.pending_confirmation);
    EXPECT_FALSE(a.session);
    c.change(*find_profile(a, id));
    fresh.apply(msg::ConfirmPending{}, doc);
    EXPECT_FALSE(a.pending_confirmation);
    EXPECT_EQ(a.session.has_value(), c.starts);
    EXPECT_EQ(a.notice.has_value(), !c.starts);
    if (!c.starts) {
      EXPECT_EQ(a.notice,
                "This connection changed while confirmation was open. Review the current "
                "profile, then try again.");
      EXPECT_TRUE(a.platform_requests.empty());
    }
  }
}

}  // namespace
