#include <gtest/gtest.h>

#include <cstdlib>

#include "app/commands.h"
#include "app/remote_app.h"
#include "app/session.h"
#include "profiles/connections_document.h"
#include "profiles/sample.h"

namespace {

using namespace remote::app;
using K = remote::profiles::ConnectionKind;

// The application as the shell starts it: made, then handed its document.
struct Launched {
  std::unique_ptr<kova::doc::Document> document = std::make_unique<kova::doc::Document>();
  std::unique_ptr<RemoteApp> app;
  RemoteApp* operator->() const { return app.get(); }
};

Launched launched(const char* sample, std::optional<std::string> review,
                  std::unique_ptr<kova::doc::Document> document = nullptr) {
  if (sample)
    ::setenv("KOVA_REMOTE_SAMPLE", sample, 1);
  else
    ::unsetenv("KOVA_REMOTE_SAMPLE");
  kova::shell::LaunchOptions options;
  options.review_state = std::move(review);
  Launched out;
  if (document) out.document = std::move(document);
  out.app = make_remote_app(options);
  out.app->document_changed(*out.document);
  return out;
}

TEST(Factory, SampleModeOnlyForExactlyOne) {
  const struct {
    const char* value;
    bool sample;
  } cases[] = {{"1", true},   {"1 ", false}, {"true", false},
               {"01", false}, {"", false},   {nullptr, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    const auto app = launched(c.value, std::nullopt);
    EXPECT_EQ(app->state().profiles.size(), c.sample ? 8u : 0u);
    EXPECT_EQ(app->state().discovered_devices.size(), c.sample ? 4u : 0u);
    if (c.sample) {
      ASSERT_TRUE(app->state().selection);
      EXPECT_EQ(app->state().profiles.front().name, "Build Box");
      EXPECT_EQ(*app->state().selection, app->state().profiles.front().id);
    }
  }
}

TEST(Factory, NormalModeKeepsOnlyLayoutRequests) {
  EXPECT_FALSE(launched(nullptr, "confirm-delete")->state().pending_confirmation);
  EXPECT_EQ(launched(nullptr, "narrow-open")->state().layout_request, LayoutRequest::NarrowOpen);
  EXPECT_EQ(launched(nullptr, "narrow")->state().layout_request, LayoutRequest::NarrowClosed);
  EXPECT_EQ(launched(nullptr, "form")->state().screen, Screen::list());
}

TEST(Factory, SampleReviewStates) {
  ::unsetenv("REMOTE_LIVE_SESSIONS");
  const auto kind_of = [](const AppState& s, const ConnectionId& id) {
    return find_profile(s, id)->kind;
  };
  const struct {
    const char* name;
    std::function<void(const AppState&)> check;
  } cases[] = {
      {"form", [](const AppState& s) { EXPECT_EQ(s.screen, Screen::form_new()); }},
      {"form-kova",
       [](const AppState& s) {
         EXPECT_EQ(s.form.kind, K::Kova);
         EXPECT_EQ(s.inputs[2].placeholder(), "certified Kova endpoint id");
       }},
      {"session-rdp",
       [&](const AppState& s) {
         ASSERT_EQ(s.screen.kind, Screen::Kind::Session);
         EXPECT_EQ(kind_of(s, s.screen.connection), K::Rdp);
         EXPECT_EQ(session_status(s),
                   SessionStatus::unavailable("RDP profiles are preserved, but "
                                              "this Kova build has no RDP client backend."));
       }},
      {"session-ssh",  // live sessions not granted: shown as unavailable
       [&](const AppState& s) {
         EXPECT_EQ(kind_of(s, s.screen.connection), K::Ssh);
         EXPECT_EQ(session_status(s)->kind, SessionStatus::Kind::Unavailable);
       }},
      {"session-kova",
       [&](const AppState& s) {
         EXPECT_EQ(kind_of(s, *s.session_connection), K::Kova);
         EXPECT_EQ(session_status(s), SessionStatus::connecting());
       }},
      {"session-failed",
       [&](const AppState& s) {
         EXPECT_EQ(kind_of(s, *s.session_connection), K::Vnc);
         EXPECT_EQ(session_status(s), SessionStatus::failed("Connection refused"));
       }},
      {"confirm-connect",
       [&](const AppState& s) {
         ASSERT_TRUE(s.pending_confirmation);
         EXPECT_EQ(s.pending_confirmation->kind, PendingConfirmation::Kind::Connect);
         EXPECT_EQ(find_profile(s, s.pending_confirmation->connection)->name, "Studio Node");
       }},
      {"confirm-delete",
       [](const AppState& s) {
         ASSERT_TRUE(s.pending_confirmation);
         EXPECT_EQ(s.pending_confirmation->connection, s.profiles.front().id);
       }},
      {"confirm-ssh-trust",
       [](const AppState& s) {
         ASSERT_TRUE(s.pending_confirmation);
         EXPECT_EQ(s.pending_confirmation->key_algorithm, "ssh-ed25519");
         EXPECT_EQ(s.pending_confirmation->key_fingerprint,
                   "SHA256:DemoFingerprintForVisualReviewOnly");
         EXPECT_FALSE(s.session);
       }},
      {"unknown-name", [](const AppState& s) { EXPECT_EQ(s.screen, Screen::list()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto app = launched("1", c.name);
    c.check(app->state());
  }
}

// A second sample run finds the samples of the first in its document, under
// other ids: the review state opens the document's rows, not ghosts.
TEST(Factory, ReviewStatesOpenTheConnectionsOfAnEarlierSampleRun) {
  ::unsetenv("REMOTE_LIVE_SESSIONS");
  const auto earlier_run = remote::profiles::sample_profiles();
  const auto earlier = [&] {
    auto document = std::make_unique<kova::doc::Document>();
    for (const auto& p : earlier_run)
      remote::profiles::write_profile(*document, p);
    return document;
  };
  const auto saved_kind = [&](const std::optional<ConnectionId>& id) -> std::optional<K> {
    for (const auto& p : earlier_run)
      if (id && p.id == *id) return p.kind;
    return std::nullopt;
  };
  const auto failed = launched("1", "session-failed", earlier());
  EXPECT_EQ(failed->state().profiles, remote::profiles::load_connections(*earlier()));
  EXPECT_EQ(saved_kind(failed->state().session_connection), K::Vnc);
  EXPECT_EQ(session_status(failed->state()), SessionStatus::failed("Connection refused"));

  const auto ssh = launched("1", "session-ssh", earlier());
  EXPECT_EQ(saved_kind(ssh->state().screen.connection), K::Ssh);
  EXPECT_EQ(session_status(ssh->state())->kind, SessionStatus::Kind::Unavailable);

  const auto confirm = launched("1", "confirm-connect", earlier());
  ASSERT_TRUE(confirm->state().pending_confirmation);
  EXPECT_EQ(saved_kind(confirm->state().pending_confirmation->connection), K::Kova);
}

TEST(Factory, LaunchDescription) {
  const auto desc = launch_description();
  EXPECT_EQ(desc.app_id, "so.kova.remote");
  EXPECT_EQ(desc.review_states.size(), 13u);
  EXPECT_EQ(desc.review_states.front(), "narrow");
  EXPECT_EQ(desc.review_states.back(), "confirm-ssh-trust");
  EXPECT_EQ(desc.default_size, (kova::shell::WindowSize{1280, 800}));
  EXPECT_EQ(desc.secondary_callback(), 1);
  EXPECT_EQ(desc.option_flags, (std::array<bool, 4>{true, false, true, true}));
  const auto app = desc.construct();
  EXPECT_EQ(app->type_name(), "remote::app::RemoteApp");
  EXPECT_EQ(app->display_name(), "RemoteApp");
  EXPECT_EQ(app->operation_namespaces(), std::vector<std::string>{"remote.operation"});
  EXPECT_TRUE(app->awaiting_document());
}

}  // namespace
