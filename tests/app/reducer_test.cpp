#include <gtest/gtest.h>

#include "actions/vocabulary.h"
#include "app/reducer.h"
#include "app/remote_app.h"
#include "app/remote_change.h"
#include "fixtures.h"

namespace {

using namespace remote::app;
using remote::app::testing::by_id;
using remote::app::testing::four_profiles;
using remote::app::testing::named;
using K = remote::profiles::ConnectionKind;
using A = remote::profiles::AuthMethod;
namespace profiles = remote::profiles;

// An application whose profiles are already in the document, as after the
// first synchronisation.
struct Reducer : ::testing::Test {
  RemoteApp app{four_profiles(), {{"Studio Node", std::string(64, 'a'), profiles::Presence::Online}}};
  kova::doc::Document doc;
  std::vector<std::string> log;

  void SetUp() override {
    app.document_changed(doc);  // seeds the document
    doc.commit("seed");
    app.document_changed(doc);  // adopts the document's order
    state().action_host.set_log_sink([this](std::string_view l) { log.emplace_back(l); });
  }
  AppState& state() { return app.state(); }
  void apply(const AppMessage& m) { app.apply(m, doc); }
  const profiles::ConnectionProfile& get(std::string_view name) { return named(state().profiles, name); }
  std::vector<profiles::ConnectionProfile> stored() { return by_id(profiles::load_connections(doc)); }
  std::vector<profiles::ConnectionProfile> in_memory() { return by_id(state().profiles); }
};

TEST_F(Reducer, ConstructionSelectsFirstVisibleAndStartsOnTheList) {
  EXPECT_EQ(state().selection, get("Zeta").id);  // the favourite
  EXPECT_EQ(state().screen, Screen::list());
  EXPECT_EQ(state().form, default_form());
  EXPECT_EQ(state().form.port, "22");
  EXPECT_FALSE(state().focused_field);
  EXPECT_EQ(state().session_generation, 0u);
  EXPECT_EQ(state().next_stream_request, 1u);
  EXPECT_TRUE(state().fit_to_window);
  EXPECT_FALSE(state().fullscreen);
  EXPECT_FALSE(RemoteApp().state().selection);
}

TEST_F(Reducer, TagsAreTheVariantOrder) {
  const struct {
    AppMessage message;
    std::uint8_t tag;
  } cases[] = {
      {msg::ShowConnections{}, 0},   {msg::EditConnection{}, 2},  {msg::Select{}, 5},
      {msg::ConfirmPending{}, 10},   {msg::FocusField{}, 12},     {msg::SaveForm{}, 15},
      {msg::Disconnect{}, 19},       {msg::UseDiscoveredDevice{}, 20},
      {msg::ToggleNavigation{}, 21},
  };
  for (const auto& c : cases) EXPECT_EQ(message_tag(c.message), c.tag);
}

TEST_F(Reducer, KindChangeTable) {
  const struct {
    const char* name;
    K from_kind;
    A from_auth;
    std::string port;
    K to;
    std::string want_port;
    A want_auth;
  } cases[] = {
      {"vnc keeps another kind's default", K::Ssh, A::Password, "22", K::Vnc, "22", A::Password},
      {"empty port takes the default", K::Ssh, A::Password, "", K::Vnc, "5900", A::Password},
      {"zero takes the default", K::Ssh, A::Password, " 0 ", K::Rdp, "3389", A::Password},
      {"typed port stays", K::Ssh, A::Password, "2200", K::Vnc, "2200", A::Password},
      {"kova empties the port", K::Ssh, A::PublicKey, "2222", K::Kova, "", A::DeviceIdentity},
      {"back from kova", K::Kova, A::DeviceIdentity, "", K::Ssh, "22", A::Password},
      {"public key not for vnc", K::Ssh, A::PublicKey, "22", K::Vnc, "22", A::Password},
      {"public key kept for ssh", K::Rdp, A::PublicKey, "3389", K::Ssh, "3389", A::PublicKey},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    apply(msg::NewConnectionForm{});
    state().form.kind = c.from_kind;
    state().form.auth = c.from_auth;
    state().form.port = c.port;
    apply(msg::SetFormKind{c.to});
    EXPECT_EQ(state().form.kind, c.to);
    EXPECT_EQ(state().form.port, c.want_port);
    EXPECT_EQ(state().form.auth, c.want_auth);
    EXPECT_EQ(state().inputs[3].text(), c.want_port);  // inputs refilled
  }
}

TEST_F(Reducer, FailedSaveFocusesTheFirstFieldInTroubleAndWritesNothing) {
  const struct {
    const char* name;
    profiles::ConnectionFormValues form;
    std::optional<FormField> focus;
  } cases[] = {
      {"all empty", {"", "", "", "", "", A::Password, K::Ssh}, FormField::Name},
      {"host missing", {"Box", "  ", "22", "", "", A::Password, K::Ssh}, FormField::Host},
      {"kova bad endpoint", {"Box", "not-a-key", "", "", "", A::DeviceIdentity, K::Kova}, FormField::Host},
      {"port missing", {"Box", "h", " ", "", "", A::Password, K::Ssh}, FormField::Port},
      {"port invalid: focus stays", {"Box", "h", "70000", "", "", A::Password, K::Ssh}, FormField::Group},
  };
  const auto heads = doc.heads();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    apply(msg::NewConnectionForm{});
    apply(msg::FocusField{FormField::Group});
    state().form = c.form;
    state().form_submitted = false;
    apply(msg::SaveForm{});
    EXPECT_TRUE(state().form_submitted);
    EXPECT_EQ(state().focused_field, c.focus);
    EXPECT_TRUE(state().screen.is_form());
    EXPECT_EQ(state().profiles.size(), 4u);
  }
  EXPECT_EQ(doc.heads(), heads);
}

TEST_F(Reducer, SavingAnEditKeepsIdentityFavouritePresenceAndLastUse) {
  const auto zeta = get("Zeta");
  apply(msg::EditConnection{zeta.id});
  EXPECT_EQ(state().screen, Screen::form_edit(zeta.id));
  EXPECT_EQ(state().focused_field, FormField::Name);
  EXPECT_EQ(state().form.port, "2222");
  state().form.name = "  Zeta Prime  ";
  state().form.port = "2223";
  apply(msg::SaveForm{});

  const auto& saved = get("Zeta Prime");
  EXPECT_EQ(saved.id, zeta.id);
  EXPECT_EQ(saved.name, "Zeta Prime");
  EXPECT_EQ(saved.port, 2223);
  EXPECT_TRUE(saved.favorite);
  EXPECT_EQ(saved.presence, zeta.presence);
  EXPECT_EQ(saved.last_used, zeta.last_used);
  EXPECT_EQ(stored(), in_memory());
  EXPECT_EQ(state().screen, Screen::list());
  EXPECT_EQ(state().selection, zeta.id);
  EXPECT_FALSE(state().focused_field);
  EXPECT_TRUE(log.empty());
}

TEST_F(Reducer, SavingANewConnectionAppendsSelectsAndReturns) {
  apply(msg::NewConnectionForm{});
  state().form.name = "Delta";
  state().form.host = "delta.lab";
  apply(msg::SaveForm{});
  ASSERT_EQ(state().profiles.size(), 5u);
  const auto& delta = state().profiles.back();
  EXPECT_EQ(delta.last_used, "Never");
  EXPECT_EQ(delta.presence, profiles::Presence::Unknown);
  EXPECT_EQ(state().selection, delta.id);
  EXPECT_EQ(state().screen, Screen::list());
  EXPECT_EQ(stored(), in_memory());
}

TEST_F(Reducer, BlurRuleMarksOnlyNameHostAndPortOnTheForm) {
  const struct {
    const char* name;
    bool on_form;
    FormField left;
    bool name_touched, host_touched, port_touched;
  } cases[] = {
      {"name", true, FormField::Name, true, false, false},
      {"host", true, FormField::Host, false, true, false},
      {"port", true, FormField::Port, false, false, true},
      {"user", true, FormField::User, false, false, false},
      {"search on list", false, FormField::Search, false, false, false},
      {"name on list", false, FormField::Name, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    apply(msg::NewConnectionForm{});
    if (!c.on_form) state().screen = Screen::list();
    apply(msg::FocusField{c.left});
    state().name_touched = state().host_touched = state().port_touched = false;
    EXPECT_TRUE(state().inputs[static_cast<std::size_t>(c.left)].focused());
    apply(msg::FocusField{c.left == FormField::Group ? FormField::User : FormField::Group});
    EXPECT_FALSE(state().inputs[static_cast<std::size_t>(c.left)].focused());
    EXPECT_EQ(state().name_touched, c.name_touched);
    EXPECT_EQ(state().host_touched, c.host_touched);
    EXPECT_EQ(state().port_touched, c.port_touched);
  }
}

TEST_F(Reducer, MessagesForUnknownIdsChangeNothing) {
  const auto unknown = profiles::ConnectionId::random();
  const auto before_profiles = state().profiles;
  apply(msg::EditConnection{unknown});
  apply(msg::ToggleFavorite{unknown});
  apply(msg::Connect{unknown});
  EXPECT_EQ(state().screen, Screen::list());
  EXPECT_EQ(state().profiles, before_profiles);
  apply(msg::Select{unknown});
  EXPECT_EQ(state().selection, unknown);  // stored unchecked
}

TEST_F(Reducer, ToggleFavoriteChangesListAndDocument) {
  const auto id = get("Alpha").id;
  apply(msg::ToggleFavorite{id});
  EXPECT_TRUE(get("Alpha").favorite);
  EXPECT_TRUE(profiles::find_connection(doc, id)->favorite);
  apply(msg::ToggleFavorite{id});
  EXPECT_FALSE(profiles::find_connection(doc, id)->favorite);
}

TEST_F(Reducer, UseDiscoveredDevice) {
  apply(msg::NewConnectionForm{});
  const auto form = state().form;
  apply(msg::UseDiscoveredDevice{1});  // equal to the list length
  EXPECT_EQ(state().form, form);
  apply(msg::UseDiscoveredDevice{0});
  EXPECT_EQ(state().form.name, "Studio Node");
  EXPECT_EQ(state().form.host, std::string(64, 'a'));
  EXPECT_EQ(state().form.kind, K::Kova);
  EXPECT_EQ(state().form.auth, A::DeviceIdentity);
  EXPECT_EQ(state().form.port, "");
  EXPECT_EQ(state().inputs[1].text(), "Studio Node");
  EXPECT_EQ(state().focused_field, FormField::Name);
}

TEST_F(Reducer, TogglesAndAuthChange) {
  apply(msg::ToggleScale{});
  apply(msg::ToggleFullscreen{});
  EXPECT_FALSE(state().fit_to_window);
  EXPECT_TRUE(state().fullscreen);
  apply(msg::SetFormAuth{A::DeviceIdentity});  // no check
  EXPECT_EQ(state().form.auth, A::DeviceIdentity);
  state().needs_redraw = false;
  apply(msg::Back{});
  EXPECT_TRUE(state().needs_redraw);
}

TEST_F(Reducer, UnreadyConnectShowsUnavailableAndLeavingKeepsTheSession) {
  ::unsetenv("REMOTE_LIVE_SESSIONS");
  const auto gamma = get("Gamma").id;
  apply(msg::RequestConnect{gamma});  // RDP: nothing to confirm
  EXPECT_FALSE(state().pending_confirmation);
  EXPECT_EQ(state().screen, Screen::session(gamma));
  EXPECT_EQ(state().session_generation, 1u);
  EXPECT_EQ(get("Gamma").last_used, "2h ago");
  ASSERT_TRUE(state().session);
  EXPECT_EQ(state().session->kind, SessionState::Kind::Unavailable);
  apply(msg::ShowConnections{});
  EXPECT_TRUE(state().session);
  EXPECT_EQ(state().session_connection, gamma);
  apply(msg::Disconnect{});
  EXPECT_FALSE(state().session);
  EXPECT_FALSE(state().session_connection);
  EXPECT_EQ(state().session_generation, 2u);
  EXPECT_EQ(state().screen, Screen::list());
}

TEST_F(Reducer, DeleteConfirmationFlow) {
  const auto zeta = get("Zeta").id;
  apply(msg::RequestDelete{profiles::ConnectionId::random()});
  EXPECT_EQ(state().notice, "That saved connection no longer exists.");
  apply(msg::RequestDelete{zeta});
  EXPECT_FALSE(state().notice);
  ASSERT_TRUE(state().pending_confirmation);
  EXPECT_EQ(state().pending_confirmation->signature, "SSH|zeta.lab|2222|admin|Public key");
  apply(msg::ConfirmPending{});
  EXPECT_FALSE(state().pending_confirmation);
  EXPECT_EQ(state().profiles.size(), 3u);
  EXPECT_FALSE(profiles::find_connection(doc, zeta));
  EXPECT_EQ(state().selection, get("Alpha").id);  // was selected: moves to the first visible
}

TEST_F(Reducer, ConfirmationRechecks) {
  const auto alpha = get("Alpha").id;
  apply(msg::RequestDelete{alpha});
  auto* p = find_profile(state(), alpha);
  p->name = "Renamed";  // not part of the signature
  p->port = 2200;       // part of it
  apply(msg::ConfirmPending{});
  EXPECT_EQ(state().notice,
            "This connection changed while confirmation was open. Review the current profile, "
            "then try again.");
  EXPECT_EQ(state().profiles.size(), 4u);

  apply(msg::RequestDelete{alpha});
  std::erase_if(state().profiles, [&](const auto& q) { return q.id == alpha; });
  apply(msg::ConfirmPending{});
  EXPECT_EQ(state().notice, "The saved connection was removed before confirmation.");

  apply(msg::CancelPending{});  // nothing pending: still says so
  EXPECT_EQ(state().notice, "Action cancelled. No connection or profile was changed.");
  apply(msg::RequestTrustSshHostKey{get("Zeta").id});
  EXPECT_FALSE(state().pending_confirmation);  // no host key is waiting
  EXPECT_EQ(state().notice,
            "No new SSH host key is waiting for trust. Changed keys must be forgotten before they "
            "can be reviewed again.");
}

TEST(RemoteChange, RegistryDecodesAndLabelsRemoteActions) {
  kova::shell::App shell_app;
  install_registry(shell_app);
  const auto& reg = shell_app.action_registry();
  EXPECT_TRUE(reg.contains("remote.action"));
  const auto bad = reg.decode("remote.action", R"({"DeleteConnection":{"id":"nope"}})");
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().text(), "invalid value for `id`: expected a formatted UUID string");

  const auto id = remote::profiles::ConnectionId::random();
  const auto ok = reg.decode("remote.action", R"({"DeleteConnection":{"id":")" + id.to_string() + "\"}}");
  ASSERT_TRUE(ok);
  EXPECT_EQ((*ok)->variant_name(), "DeleteConnection");

  const auto ctx = remote_action_context(remote::actions::UpsertConnection{});
  EXPECT_EQ(ctx.app_id, "org.kova.Remote");
  EXPECT_EQ(ctx.app_name, "Remote");
  EXPECT_EQ(ctx.label, "Upsert connection");
  EXPECT_EQ(remote_action_context(remote::actions::SetFavorite{}).label, "Set favorite");
}

}  // namespace
