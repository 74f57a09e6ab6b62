// Sessions against real peers, driven through the application as a user or
// an automation client drives it: an OpenSSH server on loopback, and the
// platform's demonstration device service behind the device-stream port.
#include <gtest/gtest.h>

#include "../ssh/sshd_fixture.h"
#include "actions/codec.h"
#include "app/devices.h"
#include "app/operations.h"
#include "app/resources.h"
#include "live_fixtures.h"
#include "media/decoder.h"
#include "shell/event_loop.h"
#include "ssh/trust_store.h"

namespace {

using namespace remote::app;
using namespace remote::app::testing;
using K = remote::profiles::ConnectionKind;
using A = remote::profiles::AuthMethod;
using Cls = kova::actions::resource::OperationClass;
using remote::ssh::HostKeyIdentity;
namespace ra = remote::actions;
namespace rs = remote::ssh;
namespace fs = std::filesystem;

Invocation invocation(const ra::RemoteOperation& op, std::string id = "live-1") {
  return {std::move(id),
          Cls::Background,
          std::string(ra::remote_operation_type),
          ra::encode_remote_operation(op),
          {}};
}

struct SshLive : ::testing::Test {
  TempDir keys;
  TempDir store;
  TempDir work;
  ScopedEnv env;
  std::unique_ptr<rs::testing::Sshd> sshd;
  std::unique_ptr<RemoteApp> app;
  kova::doc::Document doc;
  fs::path known_hosts;

  void SetUp() override {
    ASSERT_TRUE(rs::testing::make_key(keys.path() / "id", "ed25519").has_value());
    auto started = rs::testing::Sshd::start(
        {.authorized_keys = rs::testing::read_file(keys.path() / "id.pub")});
    ASSERT_TRUE(started.has_value()) << started.error();
    sshd = std::move(*started);
    auto login = rs::testing::login_user();
    ASSERT_TRUE(login.has_value()) << login.error();
    // The shell runs as that user and writes here.
    fs::permissions(work.path(), fs::perms::all, fs::perm_options::replace);
    known_hosts = store.path() / "known-hosts.json";
    env.set("REMOTE_LIVE_SESSIONS", "");
    env.set("REMOTE_SSH_KNOWN_HOSTS", known_hosts.string());
    env.set("REMOTE_SSH_PASSWORD", std::nullopt);
    env.set("REMOTE_SSH_KEY", (keys.path() / "id").string());
    env.set("REMOTE_SSH_KEY_PASSPHRASE", std::nullopt);
    // The profile names no user: the login comes from USER.
    env.set("USER", *login);
    app = std::make_unique<RemoteApp>(
        std::vector{profile("lab", K::Ssh, "127.0.0.1", sshd->port(), A::PublicKey)},
        std::vector<remote::profiles::DiscoveredDevice>{});
    s().profiles[0].user = "";
    app->document_changed(doc);
  }
  AppState& s() { return app->state(); }
  remote::profiles::ConnectionId id() { return s().profiles[0].id; }
  void apply(const AppMessage& m) { app->apply(m, doc); }
  HostKeyIdentity server_key() {
    auto listed = rs::testing::keygen_identity(sshd->host_key().string() + ".pub");
    EXPECT_TRUE(listed.has_value());
    return listed ? HostKeyIdentity{listed->first, listed->second} : HostKeyIdentity{};
  }
  // The restarted server listens on a new port; the profile follows it.
  void restart_with_new_key() {
    const auto replaced = sshd->replace_host_key();
    ASSERT_TRUE(replaced.has_value()) << replaced.error();
    s().profiles[0].port = sshd->port();
  }
  std::optional<rs::HostKeyVerdict> verdict() { return host_key_verdict(s(), id()); }
  std::vector<std::string> session_actions() {
    std::vector<std::string> ids;
    const auto top = resources(s(), doc);
    for (const auto& a : top.at(0).children.back().actions)
      ids.push_back(a.id);
    return ids;
  }
  rs::KnownHosts pins() {
    return fs::exists(known_hosts) ? rs::load_known_hosts(known_hosts).value() : rs::KnownHosts{};
  }
  Outcome poll_until_done(std::string_view invocation_id) {
    Outcome out = Outcome::no_news();
    eventually([&] {
      out = poll_operation(s(), invocation_id, false);
      return out.status != Outcome::Status::NoNews;
    });
    return out;
  }
};

TEST_F(SshLive, FirstSightIsTrustedOnlyByConfirmationThenTextReachesTheShell) {
  apply(msg::RequestConnect{id()});
  apply(msg::ConfirmPending{});
  const HostKeyIdentity key = server_key();
  EXPECT_EQ(settled_status(s())->kind, SessionStatus::Kind::Failed);
  ASSERT_EQ(verdict(), rs::HostKeyVerdict{rs::HostKeyUntrusted{key}});
  EXPECT_EQ(session_actions(),
            (std::vector<std::string>{"disconnect", "send-text", "trust-host-key"}));
  const auto trust_action = resources(s(), doc).at(0).children.back().actions.back();
  EXPECT_EQ(trust_action.description, "Explicitly trust " + key.algorithm + " " + key.fingerprint +
                                          " for this device only after out-of-band verification.");
  EXPECT_EQ(trust_action.invocation->json, ra::encode_remote_operation(ra::TrustSshHostKey{
                                               id(), {key.algorithm, key.fingerprint}}));

  apply(msg::RequestForgetSshHostKey{id()});
  EXPECT_EQ(s().notice,
            "Only a currently changed SSH host key can be forgotten. Reconnect to "
            "revalidate this target first.");
  apply(msg::RequestTrustSshHostKey{id()});
  ASSERT_TRUE(s().pending_confirmation);
  EXPECT_EQ(s().pending_confirmation->key_fingerprint, key.fingerprint);
  EXPECT_TRUE(pins().entries.empty());
  apply(msg::ConfirmPending{});
  ASSERT_EQ(pins().entries.size(), 1u);
  EXPECT_EQ(pins().entries[0], (rs::KnownHostEntry{"127.0.0.1", sshd->port(), key}));
  EXPECT_EQ(settled_status(s()), SessionStatus::connected()) << sshd->log();
  EXPECT_EQ(session_actions(), (std::vector<std::string>{"disconnect", "send-text"}));
  EXPECT_FALSE(resources(s(), doc).at(0).children.back().actions[1].unavailable);

  // Acknowledged text: an immediate refusal leaves no operation behind.
  const auto empty_error = s().session->ssh->send_text("").error().message;
  EXPECT_EQ(start_operation(s(), invocation(ra::SendText{id(), ""})), Outcome::failed(empty_error));
  EXPECT_FALSE(s().running_operation);
  const fs::path acked = work.path() / "acked";
  ASSERT_EQ(start_operation(s(), invocation(ra::SendText{id(), "touch " + acked.string() + "\r"})),
            Outcome::pending());
  EXPECT_EQ(poll_until_done("live-1"), Outcome::completed());
  EXPECT_TRUE(eventually([&] { return fs::exists(acked); }));
  const fs::path sent = work.path() / "sent";
  EXPECT_EQ(execute_operation(s(), invocation(ra::SendText{id(), "touch " + sent.string() + "\r"})),
            Outcome::completed());
  EXPECT_TRUE(eventually([&] { return fs::exists(sent); }));

  // The user types exit: the shell ends, and so does the session.
  EXPECT_TRUE(paint(*app).find("Disconnect"));
  type(*app, "exit\r");
  EXPECT_TRUE(eventually([&] { return session_status(s()) == SessionStatus::ended(); }));
  EXPECT_FALSE(app->wants_frame());
  const auto ended = paint(*app);
  EXPECT_TRUE(ended.find("Session ended"));
  EXPECT_TRUE(ended.find("The remote closed the session."));
  EXPECT_EQ(execute_operation(s(), invocation(ra::Disconnect{id()})), Outcome::completed());
  EXPECT_FALSE(s().session);
}

TEST_F(SshLive, BackgroundConnectReportsItsOutcome) {
  ASSERT_TRUE(rs::trust_host_key(known_hosts, "127.0.0.1", sshd->port(), server_key()).has_value());
  ASSERT_EQ(start_operation(s(), invocation(ra::Connect{id()})), Outcome::pending());
  EXPECT_EQ(poll_until_done("live-1"), Outcome::completed());
  EXPECT_EQ(s().session_generation, 1u);

  // A new server key: first sight again, and the attempt fails with its sentence.
  ASSERT_TRUE(rs::forget_host_key(known_hosts, "127.0.0.1", sshd->port()).has_value());
  restart_with_new_key();
  ASSERT_EQ(start_operation(s(), invocation(ra::Connect{id()})), Outcome::pending());
  const Outcome failed = poll_until_done("live-1");
  EXPECT_EQ(failed.code, "remote.connect_failed");
  EXPECT_EQ(failed.message, session_status(s())->text);
  EXPECT_EQ(verdict(), rs::HostKeyVerdict{rs::HostKeyUntrusted{server_key()}});

  // The dialog showed another key than the one the server now presents.
  apply(msg::RequestTrustSshHostKey{id()});
  ASSERT_TRUE(s().pending_confirmation);
  s().pending_confirmation->key_fingerprint = "SHA256:shown-in-an-earlier-dialog";
  apply(msg::ConfirmPending{});
  EXPECT_EQ(s().notice,
            "The observed SSH host key changed before it was trusted. Review it again.");
  EXPECT_TRUE(pins().entries.empty());

  // Trusted by operation, the next attempt connects.
  const HostKeyIdentity key = server_key();
  EXPECT_EQ(
      start_operation(s(), invocation(ra::TrustSshHostKey{id(), {key.algorithm, key.fingerprint}})),
      Outcome::completed());
  EXPECT_EQ(pins().entries.size(), 1u);
  EXPECT_EQ(settled_status(s()), SessionStatus::connected()) << sshd->log();
}

TEST_F(SshLive, ChangedKeyIsForgottenOnlyThroughItsVerdict) {
  const HostKeyIdentity old_key = server_key();
  restart_with_new_key();
  // The old key stays pinned for the target.
  ASSERT_TRUE(rs::trust_host_key(known_hosts, "127.0.0.1", sshd->port(), old_key).has_value());
  connect(s(), id());
  EXPECT_EQ(settled_status(s())->kind, SessionStatus::Kind::Failed);
  ASSERT_EQ(verdict(), (rs::HostKeyVerdict{rs::HostKeyChanged{old_key, server_key()}}));
  EXPECT_EQ(session_actions(),
            (std::vector<std::string>{"disconnect", "send-text", "forget-host-key"}));

  // Trust is refused while the old pin exists, by operation and by dialog.
  EXPECT_EQ(
      execute_operation(
          s(), invocation(ra::TrustSshHostKey{id(), {old_key.algorithm, old_key.fingerprint}})),
      Outcome::failed("the observed SSH host key is stale; reconnect to inspect the current key"));
  apply(msg::RequestTrustSshHostKey{id()});
  EXPECT_FALSE(s().pending_confirmation);
  EXPECT_EQ(pins().entries.size(), 1u);

  // Nothing pinned any more: the session stays and says so.
  ASSERT_TRUE(rs::forget_host_key(known_hosts, "127.0.0.1", sshd->port()).has_value());
  apply(msg::RequestForgetSshHostKey{id()});
  ASSERT_TRUE(s().pending_confirmation);
  apply(msg::ConfirmPending{});
  EXPECT_EQ(s().notice, "No local SSH host-key pin was found for this target.");
  EXPECT_TRUE(s().session);

  ASSERT_TRUE(rs::trust_host_key(known_hosts, "127.0.0.1", sshd->port(), old_key).has_value());
  apply(msg::RequestForgetSshHostKey{id()});
  apply(msg::ConfirmPending{});
  EXPECT_EQ(
      s().notice,
      "Forgot the local SSH host-key pin. Reconnect to review the next key before trusting it.");
  EXPECT_FALSE(s().session);
  EXPECT_EQ(s().screen, Screen::list());
  EXPECT_TRUE(pins().entries.empty());

  // The next attempt sees the new key as first sight.
  connect(s(), id());
  settled_status(s());
  EXPECT_EQ(verdict(), rs::HostKeyVerdict{rs::HostKeyUntrusted{server_key()}});
}

TEST(DeviceLive, DemonstrationServiceDrivesASessionToDecodedPictures) {
  ScopedEnv env;
  env.set("REMOTE_LIVE_SESSIONS", std::nullopt);
  const auto samples = remote::profiles::sample_devices();
  ASSERT_FALSE(samples.empty());
  RemoteApp app{{profile("studio", K::Kova, samples[0].endpoint_id, 0, A::DeviceIdentity),
                 profile("elsewhere", K::Kova, endpoint_text(9), 0, A::DeviceIdentity)},
                {}};
  AppState& s = app.state();
  kova::callstream::DemoDeviceOptions options;
  options.devices = sample_device_endpoints();
  options.width = 64;
  options.height = 48;
  options.consent_delay_ms = 20;
  auto service = kova::callstream::make_demo_device_service(std::move(options), [] {});

  connect(s, named(s.profiles, "studio").id);
  std::optional<remote::device::DecodedFrame> picture;
  EXPECT_TRUE(eventually([&] {
    kova::shell::serve_device_streams(app, *service);
    if (!picture && s.session->device) picture = s.session->device->take_picture();
    return picture.has_value();
  }));
  EXPECT_EQ(session_status(s), SessionStatus::connected());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 64u);
  EXPECT_EQ(picture->height, 48u);

  // An endpoint the service does not answer is closed: no relay here.
  connect(s, named(s.profiles, "elsewhere").id);
  EXPECT_TRUE(eventually([&] {
    kova::shell::serve_device_streams(app, *service);
    return session_status(s)->kind != SessionStatus::Kind::Connecting;
  }));
  EXPECT_EQ(session_status(s), SessionStatus::failed(kova::callstream::no_relay_text));
  disconnect(s);
  kova::shell::serve_device_streams(app, *service);
  EXPECT_TRUE(s.platform_requests.empty());
}

// One encoded key frame of a solid picture (with its parameter sets, so it
// decodes on its own).
std::vector<std::uint8_t> solid_frame(std::uint32_t width, std::uint32_t height, std::uint8_t r,
                                      std::uint8_t g, std::uint8_t b) {
  auto encoder = kova::callstream::Encoder::create(width, height, 30, 1);
  EXPECT_TRUE(encoder.has_value());
  if (!encoder) return {};
  std::vector<std::uint8_t> rgba(std::size_t{width} * height * 4);
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    rgba[i] = r;
    rgba[i + 1] = g;
    rgba[i + 2] = b;
    rgba[i + 3] = 255;
  }
  auto bytes = encoder->encode(rgba);
  EXPECT_TRUE(bytes.has_value());
  return bytes ? *bytes : std::vector<std::uint8_t>{};
}

struct DeviceScreen : ::testing::Test {
  ScopedEnv env;
  std::unique_ptr<RemoteApp> app;
  kova::doc::Document doc;

  void SetUp() override {
    env.set("REMOTE_LIVE_SESSIONS", std::nullopt);
    const auto samples = remote::profiles::sample_devices();
    ASSERT_FALSE(samples.empty());
    app = std::make_unique<RemoteApp>(
        std::vector{profile("studio", K::Kova, samples[0].endpoint_id, 0, A::DeviceIdentity)},
        std::vector<remote::profiles::DiscoveredDevice>{});
    app->document_changed(doc);
  }
  AppState& s() { return app->state(); }
  void connect_confirmed() {
    app->apply(msg::RequestConnect{s().profiles[0].id}, doc);
    app->apply(msg::ConfirmPending{}, doc);
  }
  std::uint64_t stream() { return s().session->device->stream_request(); }
  const remote::ui::SessionView& view() { return app->view().session; }
};

// Red as the view keeps it (0xAARRGGBB), within the codec's rounding.
bool reddish(std::uint32_t argb) {
  const auto r = (argb >> 16) & 0xff, g = (argb >> 8) & 0xff, b = argb & 0xff;
  return r > 200 && g < 60 && b < 60;
}

TEST_F(DeviceScreen, TwoFramesBeforeTheDecoderWakesShowOnlyTheSecond) {
  connect_confirmed();
  app->deliver_device_event({stream(), kova::callstream::StreamStarted{64, 48}});
  // A large frame keeps the decoder busy while two small ones arrive; the
  // second replaces the first in the encoded slot before the decoder looks.
  const auto busy = solid_frame(1920, 1080, 0, 200, 0);
  const auto blue = solid_frame(64, 48, 0, 0, 255);
  const auto red = solid_frame(64, 48, 255, 0, 0);
  app->deliver_device_event({stream(), kova::callstream::StreamFrame{busy}});
  app->deliver_device_event({stream(), kova::callstream::StreamFrame{blue}});
  app->deliver_device_event({stream(), kova::callstream::StreamFrame{red}});
  std::vector<std::uint32_t> small_pictures;  // the colour of each 64 x 48 picture shown
  std::uint64_t taken = 0;
  EXPECT_TRUE(eventually([&] {
    paint(*app);
    if (view().pictures_taken != taken) {
      taken = view().pictures_taken;
      if (view().picture.width() == 64) small_pictures.push_back(view().picture.pixel(32, 24));
    }
    return !small_pictures.empty();
  }));
  ASSERT_EQ(small_pictures.size(), 1u);
  EXPECT_TRUE(reddish(small_pictures[0])) << std::hex << small_pictures[0];
  // The picture's own size now drives the pointer mapping.
  ASSERT_TRUE(view().device_frame_size);
  EXPECT_EQ(view().device_frame_size->width, 64u);
  EXPECT_EQ(s().session->device->frame_size().height, 48u);
}

TEST_F(DeviceScreen, LateEventsOfAnEarlierStreamAreIgnored) {
  kova::callstream::DemoDeviceOptions fast;
  fast.devices = sample_device_endpoints();
  fast.width = 64;
  fast.height = 48;
  fast.consent_delay_ms = 20;
  auto first = kova::callstream::make_demo_device_service(fast, [] {});
  // The second stream's device never consents while the test runs.
  auto slow_options = fast;
  slow_options.consent_delay_ms = 600'000;
  auto second = kova::callstream::make_demo_device_service(slow_options, [] {});

  connect_confirmed();
  EXPECT_TRUE(eventually([&] {
    kova::shell::serve_device_streams(*app, *first);
    paint(*app);
    return view().pictures_taken > 0;
  }));
  const std::uint64_t earlier = stream();

  // Connecting again replaces the stream without closing it: the first
  // device keeps sending, under its old number.
  connect_confirmed();
  ASSERT_NE(stream(), earlier);
  kova::shell::serve_device_streams(*app, *second);
  int late_frames = 0;
  EXPECT_TRUE(eventually([&] {
    for (auto& event : first->take_events()) {
      EXPECT_EQ(event.request, earlier);
      late_frames += std::holds_alternative<kova::callstream::StreamFrame>(event.body);
      app->deliver_device_event(event);
    }
    return late_frames >= 3;
  }));
  app->deliver_device_event({earlier, kova::callstream::StreamStarted{640, 480}});
  app->deliver_device_event({earlier, kova::callstream::StreamClosed{}});
  const auto log = paint(*app);
  EXPECT_EQ(session_status(s()), SessionStatus::connecting());
  EXPECT_TRUE(log.find("Waiting for consent…"));
  EXPECT_FALSE(view().picture.has_picture());
  EXPECT_EQ(view().pictures_taken, 0u);
  EXPECT_EQ(s().session->device->frame_size().width, 0u);
}

}  // namespace
