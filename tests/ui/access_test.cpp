// The accessibility tree of each screen, checked against the painted hit
// regions, and the semantic actions with their effects and refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/session.h"
#include "fixtures.h"
#include "profiles/validate.h"
#include "ui/access_tree.h"
#include "ui/form_view.h"

namespace remote::ui {
namespace {

using namespace testing;
using kova::ui::AccessAction;
using kova::ui::AccessNode;
using kova::ui::AccessRole;
using K = ConnectionKind;

// Sets or clears REMOTE_LIVE_SESSIONS for one test and puts it back.
class LiveSessions {
 public:
  explicit LiveSessions(bool on) {
    if (const char* old = std::getenv("REMOTE_LIVE_SESSIONS")) old_ = old;
    if (on)
      ::setenv("REMOTE_LIVE_SESSIONS", "1", 1);
    else
      ::unsetenv("REMOTE_LIVE_SESSIONS");
  }
  ~LiveSessions() {
    if (old_)
      ::setenv("REMOTE_LIVE_SESSIONS", old_->c_str(), 1);
    else
      ::unsetenv("REMOTE_LIVE_SESSIONS");
  }
  LiveSessions(const LiveSessions&) = delete;
  LiveSessions& operator=(const LiveSessions&) = delete;

 private:
  std::optional<std::string> old_;
};

std::vector<std::string> child_ids(const AccessNode& n) {
  std::vector<std::string> out;
  for (const auto& c : n.children)
    out.push_back(c.id.empty() ? "<" + c.label + ">" : c.id);
  return out;
}

const AccessNode& only(const AccessNode& root, std::string_view id) {
  static const AccessNode missing;
  const auto nodes = kova::ui::find_access_nodes(root, id);
  EXPECT_EQ(nodes.size(), 1u) << id;
  return nodes.empty() ? missing : *nodes.front();
}

// The rectangle of the newest painted region for `message`, found the way
// a click test would.
std::optional<kova::ui::Rect> painted_rect(const ViewState& view, const app::AppMessage& message) {
  for (auto it = view.regions.rbegin(); it != view.regions.rend(); ++it)
    if (it->message && same_message(*it->message, message)) return it->rect;
  return std::nullopt;
}

// The screen group: the root's second child.
const AccessNode& screen(const AccessNode& root) {
  return root.children.at(1);
}

struct App {
  explicit App(std::vector<profiles::ConnectionProfile> profiles, double width = 1280,
               std::vector<profiles::DiscoveredDevice> devices = {})
      : painted(std::make_unique<app::RemoteApp>(std::move(profiles), std::move(devices)), width,
                800) {
    painted.paint();
  }
  explicit App(std::unique_ptr<app::RemoteApp> app, double width = 1280)
      : painted(std::move(app), width, 800) {
    painted.paint();
  }
  app::AppState& s() { return painted.state(); }
  ViewState& view() { return painted.app().view(); }
  AccessNode tree() { return build_access_tree(s(), view()); }
  bool act(std::string_view id, AccessAction action,
           std::optional<std::string> value = std::nullopt) {
    const bool handled =
        perform_semantic_action(s(), view(), painted.document(), id, action, value);
    painted.paint();
    return handled;
  }
  Painted painted;
};

std::string row_id(const profiles::ConnectionProfile& p, std::string_view verb) {
  return "remote.connection:" + p.id.to_string() + ":" + std::string(verb);
}

TEST(AccessTree, ListRowsCarryLabelsValuesStatesAndPaintedBounds) {
  const LiveSessions live(true);
  auto build = profile("Build Box", K::Ssh, "build.lan", 22, AuthMethod::Password, true);
  build.user = "ci";
  build.presence = profiles::Presence::Online;
  auto lab = profile("Lab desktop", K::Vnc, "lab.lan", 5901);
  lab.presence = profiles::Presence::Offline;
  auto broken = profile("Broken", K::Vnc, "x.lan", 5900, AuthMethod::PublicKey);
  auto old = profile("Old RDP", K::Rdp, "w.lan", 3389);
  App a({lab, build, broken, old});
  a.s().selection = lab.id;
  a.painted.paint();
  const AccessNode root = a.tree();

  EXPECT_EQ(root.role, AccessRole::Window);
  EXPECT_EQ(root.label, "Remote");
  EXPECT_EQ(root.bounds, a.s().content_rect);
  EXPECT_EQ(child_ids(root.children.at(0)),
            (std::vector<std::string>{"remote.nav.list", "remote.connection.new"}));
  const AccessNode& group = screen(root);
  EXPECT_EQ(group.label, "Connections");
  EXPECT_EQ(child_ids(group),
            (std::vector<std::string>{"remote.list.heading", "remote.connection.new",
                                      "remote.field:search", "remote.list"}));
  const AccessNode& search = only(root, "remote.field:search");
  EXPECT_EQ(search.role, AccessRole::TextInput);
  EXPECT_EQ(search.description, "Shortcut: slash or Control F");
  EXPECT_EQ(search.value, "");
  EXPECT_EQ(search.states.focused, false);

  // Favourites first, then by name.
  const AccessNode& list = only(root, "remote.list");
  EXPECT_EQ(child_ids(list),
            (std::vector<std::string>{row_id(build, "select"), row_id(broken, "select"),
                                      row_id(lab, "select"), row_id(old, "select")}));
  const struct {
    const profiles::ConnectionProfile& p;
    std::string label;
    std::string value;
    bool selected;
    std::vector<std::string> children;
  } rows[] = {
      {build,
       "Build Box, SSH, online, ready to connect, last used 2h ago",
       "ci@build.lan:22",
       false,
       {row_id(build, "favorite"), row_id(build, "edit"), row_id(build, "connect")}},
      {broken,
       "Broken, VNC, status unknown, " +
           profiles::profile_problem(K::Vnc, "x.lan", AuthMethod::PublicKey).value() +
           ", last used 2h ago",
       "x.lan:5900",
       false,
       {row_id(broken, "favorite"), row_id(broken, "edit")}},
      {lab,
       "Lab desktop, VNC, offline, ready to connect, last used 2h ago",
       "lab.lan:5901",
       true,
       {row_id(lab, "favorite"), row_id(lab, "edit"), row_id(lab, "connect")}},
      {old,
       "Old RDP, RDP, status unknown, " + app::readiness_text(2, K::Rdp) + ", last used 2h ago",
       "w.lan:3389",
       false,
       {row_id(old, "favorite"), row_id(old, "edit")}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.p.name);
    const AccessNode& item = only(root, row_id(r.p, "select"));
    EXPECT_EQ(item.role, AccessRole::ListItem);
    EXPECT_EQ(item.label, r.label);
    EXPECT_EQ(item.value, r.value);
    EXPECT_EQ(item.states.selected, r.selected);
    EXPECT_EQ(child_ids(item), r.children);
    EXPECT_EQ(item.bounds, painted_rect(a.view(), app::msg::Select{r.p.id}));
    const AccessNode& star = item.children.at(0);
    EXPECT_EQ(star.role, AccessRole::ToggleButton);
    EXPECT_EQ(star.label, r.p.favorite ? "Remove from favourites" : "Add to favourites");
    EXPECT_EQ(star.states.toggled, r.p.favorite);
    EXPECT_EQ(star.bounds, painted_rect(a.view(), app::msg::ToggleFavorite{r.p.id}));
    EXPECT_EQ(item.children.at(1).bounds, painted_rect(a.view(), app::msg::EditConnection{r.p.id}));
    if (item.children.size() == 3) {
      EXPECT_EQ(item.children.at(2).label, "Connect");
      EXPECT_EQ(item.children.at(2).bounds,
                painted_rect(a.view(), app::msg::RequestConnect{r.p.id}));
    }
  }
  // Every bound is a painted region, and in the wide layout both "new"
  // nodes take the newest one (the rail's, drawn last).
  EXPECT_TRUE(search.bounds.has_value());
  EXPECT_EQ(search.bounds, painted_rect(a.view(), app::msg::FocusField{app::FormField::Search}));
  const auto news = kova::ui::find_access_nodes(root, "remote.connection.new");
  ASSERT_EQ(news.size(), 2u);
  EXPECT_EQ(news[0]->label, "Add connection");
  EXPECT_EQ(news[1]->label, "New connection");
  EXPECT_TRUE(news[0]->bounds.has_value());
  EXPECT_EQ(news[0]->bounds, news[1]->bounds);
  EXPECT_EQ(news[0]->bounds, painted_rect(a.view(), app::msg::NewConnectionForm{}));
}

TEST(AccessTree, RowsWithoutLiveAccessOfferNoConnect) {
  const LiveSessions live(false);
  const auto build = profile("Build Box", K::Ssh, "build.lan", 22);
  App a({build});
  const AccessNode root = a.tree();
  const AccessNode& item = only(root, row_id(build, "select"));
  EXPECT_EQ(child_ids(item),
            (std::vector<std::string>{row_id(build, "favorite"), row_id(build, "edit")}));
  EXPECT_NE(item.label.find(app::readiness_text(1, K::Ssh)), std::string::npos) << item.label;
}

TEST(AccessTree, RowsScrolledOutOfViewHaveNoBounds) {
  std::vector<profiles::ConnectionProfile> many;
  for (int i = 0; i < 40; ++i)
    many.push_back(profile("host " + std::to_string(100 + i), K::Vnc, "h.lan", 5900));
  App a(many);
  const AccessNode root = a.tree();
  EXPECT_TRUE(only(root, row_id(many.front(), "select")).bounds.has_value());
  EXPECT_FALSE(only(root, row_id(many.back(), "select")).bounds.has_value());
  EXPECT_EQ(only(root, "remote.list").children.size(), many.size());
}

TEST(AccessTree, EmptyListSaysWhy) {
  const struct {
    const char* name;
    bool with_profile;
    std::string search;
    std::string text;
  } cases[] = {
      {"no profiles", false, "",
       "No machines yet. Add a connection to reach it over SSH, VNC, or the Kova relay."},
      {"no match", true, "zzz", "No machines match your search."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<profiles::ConnectionProfile> ps;
    if (c.with_profile) ps.push_back(profile("Box", K::Ssh, "b.lan", 22));
    App a(ps);
    a.s().search_text = c.search;
    const AccessNode root = a.tree();
    EXPECT_TRUE(only(root, "remote.list").children.empty());
    EXPECT_EQ(only(root, "remote.list.empty").label, c.text);
    EXPECT_EQ(only(root, "remote.field:search").value, c.search);
  }
}

TEST(AccessTree, NarrowNavigationFollowsTheFlap) {
  const struct {
    const char* review;
    std::vector<std::string> ids;
    std::string toggle_label;
    bool expanded;
  } cases[] = {
      {"narrow", {"remote.nav.toggle"}, "Open navigation", false},
      {"narrow-open",
       {"remote.nav.toggle", "remote.nav.list", "remote.connection.new"},
       "Close navigation",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.review);
    App a(launched(false, c.review), 600);
    const AccessNode root = a.tree();
    EXPECT_EQ(child_ids(root.children.at(0)), c.ids);
    const AccessNode& toggle = only(root, "remote.nav.toggle");
    EXPECT_EQ(toggle.label, c.toggle_label);
    EXPECT_EQ(toggle.description, "Show Connections and Add connection");
    EXPECT_EQ(toggle.states.expanded, c.expanded);
    EXPECT_EQ(toggle.bounds, toggle_rect(a.s()));
  }
}

TEST(AccessTree, FormOfEachKind) {
  const std::string device = endpoint_id();
  const std::vector<profiles::DiscoveredDevice> devices{
      {"Studio", device, profiles::Presence::Online},
      {"Garage", "ab", profiles::Presence::Offline}};
  auto rdp = profile("Old", K::Rdp, "w.lan", 3389);
  const struct {
    const char* name;
    std::function<void(App&)> open;
    std::string title;
    std::vector<std::string> ids;
    std::vector<std::string> input_labels;
    std::vector<std::string> auth_ids;
  } cases[] = {
      {"ssh",
       [](App& a) { a.act("remote.connection.new", AccessAction::Activate); },
       "New connection",
       {"remote.form.heading", "remote.form.protocol", "remote.field:name", "remote.field:host",
        "remote.field:port", "remote.field:user", "remote.field:group",
        "remote.form.authentication", "remote.form.actions"},
       {"Connection name", "Host name or IP address", "Port", "User name", "Group"},
       {"remote.auth:password", "remote.auth:public-key"}},
      {"vnc",
       [](App& a) {
         a.act("remote.connection.new", AccessAction::Activate);
         a.act("remote.kind:VNC", AccessAction::Activate);
       },
       "New connection",
       {"remote.form.heading", "remote.form.protocol", "remote.field:name", "remote.field:host",
        "remote.field:port", "remote.field:group", "remote.form.authentication",
        "remote.form.actions"},
       {"Connection name", "Host name or IP address", "Port", "Group"},
       {"remote.auth:password"}},
      {"kova",
       [](App& a) {
         a.act("remote.connection.new", AccessAction::Activate);
         a.act("remote.kind:Kova", AccessAction::Toggle);
       },
       "New connection",
       {"remote.form.heading", "remote.form.protocol", "remote.form.devices",
        "remote.form.kova-authentication", "remote.field:name", "remote.field:host",
        "remote.form.actions"},
       {"Connection name", "Device node"},
       {}},
      {"rdp edit",
       [&rdp](App& a) { a.act(row_id(rdp, "edit"), AccessAction::Activate); },
       "Edit connection",
       {"remote.form.heading", "remote.form.protocol", "remote.form.legacy-rdp",
        "remote.field:name", "remote.field:host", "remote.field:port", "remote.field:user",
        "remote.field:group", "remote.form.authentication", "remote.form.actions"},
       {"Connection name", "Host name or IP address", "Port", "User name", "Group"},
       {"remote.auth:password"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    App a({rdp}, 1280, devices);
    c.open(a);
    const AccessNode root = a.tree();
    const AccessNode& form = screen(root);
    EXPECT_EQ(form.label, c.title);
    EXPECT_EQ(only(root, "remote.form.heading").label, c.title);
    EXPECT_EQ(child_ids(form), c.ids);
    std::vector<std::string> labels;
    for (const auto& n : form.children) {
      if (n.role != AccessRole::TextInput) continue;
      labels.push_back(n.label);
      const auto field = n.id == "remote.field:name"   ? app::FormField::Name
                         : n.id == "remote.field:host" ? app::FormField::Host
                         : n.id == "remote.field:port" ? app::FormField::Port
                         : n.id == "remote.field:user" ? app::FormField::User
                                                       : app::FormField::Group;
      EXPECT_EQ(n.value, model_text(a.s(), field)) << n.id;
      EXPECT_EQ(n.states.focused, a.s().focused_field == field) << n.id;
      EXPECT_EQ(n.bounds, painted_rect(a.view(), app::msg::FocusField{field})) << n.id;
    }
    EXPECT_EQ(labels, c.input_labels);
    // The kind options: every offered kind, the form's selected, bounds of
    // the painted segments.
    const AccessNode& kinds = only(root, "remote.form.protocol");
    EXPECT_EQ(child_ids(kinds),
              (std::vector<std::string>{"remote.kind:SSH", "remote.kind:VNC", "remote.kind:Kova"}));
    for (const auto& option : kinds.children) {
      EXPECT_EQ(option.role, AccessRole::Option);
      const auto kind =
          profiles::kind_from_text(option.id.substr(std::string_view("remote.kind:").size()));
      EXPECT_EQ(option.label, profiles::kind_label(kind));
      EXPECT_EQ(option.states.selected, a.s().form.kind == kind);
      EXPECT_EQ(option.bounds, painted_rect(a.view(), app::msg::SetFormKind{kind}));
    }
    if (!c.auth_ids.empty()) {
      const AccessNode& auths = only(root, "remote.form.authentication");
      EXPECT_EQ(child_ids(auths), c.auth_ids);
      EXPECT_EQ(auths.children.front().states.selected,
                a.s().form.auth == profiles::AuthMethod::Password);
      EXPECT_TRUE(auths.children.front().bounds.has_value());
    }
    const AccessNode& actions = only(root, "remote.form.actions");
    std::vector<std::string> buttons{"remote.form.cancel", "remote.form.save"};
    if (a.s().screen.edited()) buttons.push_back(row_id(rdp, "delete"));
    EXPECT_EQ(child_ids(actions), buttons);
    EXPECT_EQ(actions.children.at(0).bounds, painted_rect(a.view(), app::msg::Back{}));
    EXPECT_EQ(actions.children.at(1).label, "Save connection");
    EXPECT_EQ(actions.children.at(1).bounds, painted_rect(a.view(), app::msg::SaveForm{}));
  }
}

TEST(AccessTree, DevicesAndProblemsOnTheForm) {
  const std::string device = endpoint_id();
  App a({}, 1280,
        {{"Studio", device, profiles::Presence::Online},
         {"Garage", "ab", profiles::Presence::Offline}});
  a.act("remote.connection.new", AccessAction::Activate);
  a.act("remote.device:0", AccessAction::Activate);
  AccessNode root = a.tree();
  const AccessNode& list = only(root, "remote.form.devices");
  ASSERT_EQ(child_ids(list), (std::vector<std::string>{"remote.device:0", "remote.device:1"}));
  EXPECT_EQ(list.children[0].label, "Studio");
  EXPECT_EQ(list.children[0].value, device);
  EXPECT_EQ(list.children[0].description, "Online");
  EXPECT_EQ(list.children[0].states.selected, true);
  EXPECT_EQ(list.children[1].description, "Offline");
  EXPECT_EQ(list.children[1].states.selected, false);
  EXPECT_EQ(list.children[1].bounds, painted_rect(a.view(), app::msg::UseDiscoveredDevice{1}));
  EXPECT_EQ(kova::ui::find_access_node(root, "remote.form.problems"), nullptr);

  // A failed save shows every problem, joined into one sentence list.
  a.act("remote.field:name", AccessAction::SetValue, "");
  a.act("remote.field:host", AccessAction::SetValue, "");
  a.act("remote.form.save", AccessAction::Activate);
  root = a.tree();
  std::string joined;
  for (const auto& p : profiles::validate_form(a.s().form))
    joined += (joined.empty() ? "" : ". ") + p;
  EXPECT_EQ(only(root, "remote.form.problems").label, joined);
}

TEST(AccessTree, SessionScreen) {
  const auto ssh = profile("Build Box", K::Ssh, "build.lan", 22);
  const auto vnc = profile("Lab", K::Vnc, "lab.lan", 5900);
  const struct {
    const char* name;
    const profiles::ConnectionProfile& p;
    SessionStatus status;
    bool fullscreen;
    std::vector<std::string> ids;
    std::string status_text;
    std::string last_label;
  } cases[] = {
      {"connecting",
       ssh,
       SessionStatus::connecting(),
       false,
       {"remote.session.heading", "remote.session.status", "remote.session.disconnect"},
       "Connecting",
       "Back to list"},
      {"ssh connected",
       ssh,
       SessionStatus::connected(),
       false,
       {"remote.session.heading", "remote.session.status", "remote.session.surface",
        "remote.session.disconnect"},
       "Connected",
       "Disconnect"},
      {"vnc connected fullscreen",
       vnc,
       SessionStatus::connected(),
       true,
       {"remote.session.heading", "remote.session.status", "remote.session.surface",
        "remote.session.scale", "remote.session.fullscreen", "remote.session.disconnect"},
       "Connected",
       "Disconnect"},
      {"ended",
       vnc,
       SessionStatus::ended(),
       false,
       {"remote.session.heading", "remote.session.status", "remote.session.disconnect"},
       "Session ended",
       "Back to list"},
      {"failed",
       vnc,
       SessionStatus::failed("Connection refused"),
       false,
       {"remote.session.heading", "remote.session.status", row_id(vnc, "connect"),
        "remote.session.disconnect"},
       "Connection failed: Connection refused",
       "Back to list"},
      {"unavailable",
       ssh,
       SessionStatus::unavailable("no access"),
       false,
       {"remote.session.heading", "remote.session.status", row_id(ssh, "edit"),
        "remote.session.disconnect"},
       "Not available: no access",
       "Back to list"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    App a({ssh, vnc});
    a.s().session = app::SessionState::review(c.status);
    a.s().session_connection = c.p.id;
    a.s().screen = app::Screen::session(c.p.id);
    a.s().fullscreen = c.fullscreen;
    a.painted.paint();
    const AccessNode root = a.tree();
    const AccessNode& group = screen(root);
    EXPECT_EQ(group.label, "Remote session");
    EXPECT_EQ(child_ids(group), c.ids);
    EXPECT_EQ(only(root, "remote.session.heading").label, c.p.name);
    EXPECT_EQ(only(root, "remote.session.status").label, c.status_text);
    const AccessNode& last = group.children.back();
    EXPECT_EQ(last.label, c.last_label);
    EXPECT_EQ(last.bounds, painted_rect(a.view(), app::msg::Disconnect{}));
    if (const auto* surface = kova::ui::find_access_node(root, "remote.session.surface")) {
      const bool terminal = c.p.kind == K::Ssh;
      EXPECT_EQ(surface->role, terminal ? AccessRole::Terminal : AccessRole::Canvas);
      EXPECT_EQ(surface->label,
                terminal ? "Interactive SSH terminal" : "Interactive remote desktop");
      EXPECT_EQ(surface->description, "Keyboard and pointer input are sent to the remote machine");
    }
    if (const auto* scale = kova::ui::find_access_node(root, "remote.session.scale")) {
      EXPECT_EQ(scale->label, "Scale remote desktop to fit");
      EXPECT_EQ(scale->states.toggled, true);
      EXPECT_EQ(only(root, "remote.session.fullscreen").label, "Exit fullscreen");
    }
  }
}

TEST(AccessTree, SessionOfARemovedProfile) {
  const auto ssh = profile("Build Box", K::Ssh, "build.lan", 22);
  App a(std::vector<profiles::ConnectionProfile>{});
  a.s().session = app::SessionState::review(SessionStatus::connecting());
  a.s().screen = app::Screen::session(ssh.id);
  EXPECT_EQ(only(a.tree(), "remote.session.heading").label, "Remote session");
}

TEST(AccessTree, ConfirmationDialogAndNotice) {
  const auto box = profile("Build Box", K::Ssh, "build.lan", 22);
  using Kind = app::PendingConfirmation::Kind;
  const struct {
    const char* name;
    Kind kind;
    bool profile_exists;
    std::string label;
    std::string description;
    std::string confirm;
  } cases[] = {
      {"connect", Kind::Connect, true, "Connect to Build Box?",
       "The target and access are rechecked before a remote session opens.", "Connect"},
      {"delete of a removed profile", Kind::Delete, false, "Delete this saved connection?",
       "This removes the shared saved profile, not the remote machine.", "Delete"},
      {"trust", Kind::TrustSshHostKey, true, "Trust SSH key for Build Box?",
       "Verify ssh-ed25519 SHA256:abc out of band. This device-private trust is checked again "
       "before connecting.",
       "Trust key"},
      {"forget", Kind::ForgetSshHostKey, true, "Forget SSH key for Build Box?",
       "Remove this device-private pin, then reconnect to inspect a replacement key before "
       "trusting it.",
       "Forget key"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    App a(c.profile_exists ? std::vector{box} : std::vector<profiles::ConnectionProfile>{});
    a.s().pending_confirmation =
        app::PendingConfirmation{c.kind, box.id, "sig", "ssh-ed25519", "SHA256:abc"};
    a.s().notice = "Something happened.";
    a.painted.paint();
    const AccessNode root = a.tree();
    ASSERT_EQ(root.children.size(), 4u);
    const AccessNode& dialog = root.children[2];
    EXPECT_EQ(dialog.role, AccessRole::Dialog);
    EXPECT_EQ(dialog.label, c.label);
    EXPECT_EQ(dialog.description, c.description);
    EXPECT_EQ(dialog.bounds, a.s().content_rect);
    ASSERT_EQ(child_ids(dialog), (std::vector<std::string>{"remote.confirmation.cancel",
                                                           "remote.confirmation.confirm"}));
    EXPECT_EQ(dialog.children[0].label, "Cancel");
    EXPECT_EQ(dialog.children[0].bounds, painted_rect(a.view(), app::msg::CancelPending{}));
    EXPECT_EQ(dialog.children[1].label, c.confirm);
    EXPECT_EQ(dialog.children[1].bounds, painted_rect(a.view(), app::msg::ConfirmPending{}));
    EXPECT_EQ(root.children[3].id, "remote.action.notice");
    EXPECT_EQ(root.children[3].label, "Something happened.");
  }
}

// One semantic action from a given start: whether it is handled and what it
// leaves behind.
TEST(SemanticAction, EffectsAndRefusals) {
  const LiveSessions live(false);
  auto box = profile("Build Box", K::Ssh, "build.lan", 22);
  auto lab = profile("Lab", K::Vnc, "lab.lan", 5900);
  auto kova = profile("Studio", K::Kova, endpoint_id(), 0, AuthMethod::DeviceIdentity);
  const std::vector<profiles::DiscoveredDevice> devices{
      {"Studio", endpoint_id(), profiles::Presence::Online}};
  using Setup = std::function<void(App&)>;
  using Check = std::function<void(App&)>;
  const Setup on_list = [](App&) {};
  const Setup ssh_form = [](App& a) { a.act("remote.connection.new", AccessAction::Activate); };
  const Setup vnc_form = [](App& a) {
    a.act("remote.connection.new", AccessAction::Activate);
    a.act("remote.kind:VNC", AccessAction::Activate);
  };
  const Setup confirming = [&kova](App& a) {
    a.act(row_id(kova, "connect"), AccessAction::Activate);
  };
  const Setup searching_lab = [](App& a) {
    a.act("remote.field:search", AccessAction::SetValue, "lab");
  };
  const Check nothing = [](App&) {};
  const struct {
    const char* name;
    Setup setup;
    std::string id;
    AccessAction action;
    std::optional<std::string> value;
    bool handled;
    Check check;
  } cases[] = {
      {"port keeps digits and takes focus", ssh_form, "remote.field:port", AccessAction::SetValue,
       "ab12c", true,
       [](App& a) {
         EXPECT_EQ(a.s().form.port, "12");
         EXPECT_EQ(a.s().inputs[3].text(), "12");
         EXPECT_EQ(a.s().focused_field, app::FormField::Port);
       }},
      {"name value", ssh_form, "remote.field:name", AccessAction::SetValue, "Box\nTwo", true,
       [](App& a) {
         EXPECT_EQ(a.s().form.name, a.s().inputs[1].text());
         EXPECT_EQ(a.s().focused_field, app::FormField::Name);
       }},
      {"search moves the selection", on_list, "remote.field:search", AccessAction::SetValue, "lab",
       true,
       [&lab](App& a) {
         EXPECT_EQ(a.s().search_text, "lab");
         EXPECT_EQ(a.s().selection, lab.id);
         EXPECT_EQ(a.view().list_scroll, 0.0);
         EXPECT_EQ(a.s().focused_field, app::FormField::Search);
       }},
      {"search with no match clears the selection", on_list, "remote.field:search",
       AccessAction::SetValue, "zzz", true,
       [](App& a) { EXPECT_EQ(a.s().selection, std::nullopt); }},
      {"focus a field",
       ssh_form,
       "remote.field:user",
       AccessAction::Focus,
       {},
       true,
       [](App& a) { EXPECT_EQ(a.s().focused_field, app::FormField::User); }},
      {"set value without a value",
       ssh_form,
       "remote.field:user",
       AccessAction::SetValue,
       {},
       false,
       nothing},
      {"toggle a field", ssh_form, "remote.field:user", AccessAction::Toggle, {}, false, nothing},
      {"unknown field", ssh_form, "remote.field:password", AccessAction::Focus, {}, false, nothing},
      {"kind VNC",
       ssh_form,
       "remote.kind:VNC",
       AccessAction::Toggle,
       {},
       true,
       [](App& a) {
         EXPECT_EQ(a.s().form.kind, K::Vnc);
         EXPECT_EQ(a.s().form.port, "22");  // a typed port survives the kind change
       }},
      {"kind misspelt", ssh_form, "remote.kind:vnc", AccessAction::Activate, {}, false, nothing},
      {"kind RDP is not offered",
       ssh_form,
       "remote.kind:RDP",
       AccessAction::Activate,
       {},
       false,
       nothing},
      {"kind focused", ssh_form, "remote.kind:VNC", AccessAction::Focus, {}, false, nothing},
      {"public key on SSH",
       ssh_form,
       "remote.auth:public-key",
       AccessAction::Activate,
       {},
       true,
       [](App& a) { EXPECT_EQ(a.s().form.auth, AuthMethod::PublicKey); }},
      {"public key on VNC",
       vnc_form,
       "remote.auth:public-key",
       AccessAction::Activate,
       {},
       false,
       nothing},
      {"unknown slug",
       ssh_form,
       "remote.auth:Password",
       AccessAction::Activate,
       {},
       false,
       nothing},
      {"device",
       ssh_form,
       "remote.device:0",
       AccessAction::Focus,
       {},
       true,
       [&devices](App& a) {
         EXPECT_EQ(a.s().form.kind, K::Kova);
         EXPECT_EQ(a.s().form.host, devices[0].endpoint_id);
       }},
      {"device not decimal",
       ssh_form,
       "remote.device:+0",
       AccessAction::Activate,
       {},
       false,
       nothing},
      {"device index too large to read",
       ssh_form,
       "remote.device:99999999999999999999999",
       AccessAction::Activate,
       {},
       false,
       nothing},
      {"select hidden, scroll into view",
       searching_lab,
       row_id(box, "select"),
       AccessAction::ScrollIntoView,
       {},
       false,
       [&lab](App& a) { EXPECT_EQ(a.s().selection, lab.id); }},
      {"select hidden, activate",
       searching_lab,
       row_id(box, "select"),
       AccessAction::Activate,
       {},
       true,
       [&box](App& a) { EXPECT_EQ(a.s().selection, box.id); }},
      {"select toggled", on_list, row_id(box, "select"), AccessAction::Toggle, {}, false, nothing},
      {"favourite",
       on_list,
       row_id(lab, "favorite"),
       AccessAction::Toggle,
       {},
       true,
       [&lab](App& a) { EXPECT_TRUE(app::find_profile(a.s(), lab.id)->favorite); }},
      {"edit",
       on_list,
       row_id(lab, "edit"),
       AccessAction::Activate,
       {},
       true,
       [&lab](App& a) { EXPECT_EQ(a.s().screen, app::Screen::form_edit(lab.id)); }},
      {"edit focused", on_list, row_id(lab, "edit"), AccessAction::Focus, {}, false, nothing},
      {"connect asks first",
       on_list,
       row_id(kova, "connect"),
       AccessAction::Activate,
       {},
       true,
       [](App& a) { EXPECT_TRUE(a.s().pending_confirmation.has_value()); }},
      {"delete asks first",
       on_list,
       row_id(lab, "delete"),
       AccessAction::Activate,
       {},
       true,
       [](App& a) {
         ASSERT_TRUE(a.s().pending_confirmation.has_value());
         EXPECT_EQ(a.s().pending_confirmation->kind, app::PendingConfirmation::Kind::Delete);
       }},
      {"unknown verb", on_list, row_id(lab, "open"), AccessAction::Activate, {}, false, nothing},
      {"id not a UUID",
       on_list,
       "remote.connection:build-box:edit",
       AccessAction::Activate,
       {},
       false,
       nothing},
      {"no verb",
       on_list,
       "remote.connection:" + lab.id.to_string(),
       AccessAction::Activate,
       {},
       false,
       nothing},
      {"new while confirming",
       confirming,
       "remote.connection.new",
       AccessAction::Activate,
       {},
       false,
       [](App& a) { EXPECT_EQ(a.s().screen, app::Screen::list()); }},
      {"field while confirming", confirming, "remote.field:search", AccessAction::SetValue, "x",
       false, [](App& a) { EXPECT_EQ(a.s().search_text, ""); }},
      {"cancel",
       confirming,
       "remote.confirmation.cancel",
       AccessAction::Activate,
       {},
       true,
       [](App& a) {
         EXPECT_FALSE(a.s().pending_confirmation.has_value());
         EXPECT_EQ(a.s().notice, "Action cancelled. No connection or profile was changed.");
       }},
      {"cancel focused",
       confirming,
       "remote.confirmation.cancel",
       AccessAction::Focus,
       {},
       false,
       [](App& a) { EXPECT_TRUE(a.s().pending_confirmation.has_value()); }},
      {"confirm without a dialog",
       on_list,
       "remote.confirmation.confirm",
       AccessAction::Activate,
       {},
       false,
       nothing},
      {"new",
       on_list,
       "remote.connection.new",
       AccessAction::Activate,
       {},
       true,
       [](App& a) { EXPECT_EQ(a.s().screen, app::Screen::form_new()); }},
      {"cancel the form",
       ssh_form,
       "remote.form.cancel",
       AccessAction::Activate,
       {},
       true,
       [](App& a) { EXPECT_EQ(a.s().screen, app::Screen::list()); }},
      {"list",
       ssh_form,
       "remote.nav.list",
       AccessAction::Activate,
       {},
       true,
       [](App& a) { EXPECT_EQ(a.s().screen, app::Screen::list()); }},
      {"scale toggles",
       on_list,
       "remote.session.scale",
       AccessAction::Toggle,
       {},
       true,
       [](App& a) { EXPECT_FALSE(a.s().fit_to_window); }},
      {"fullscreen",
       on_list,
       "remote.session.fullscreen",
       AccessAction::Activate,
       {},
       true,
       [](App& a) { EXPECT_TRUE(a.s().fullscreen); }},
      {"fullscreen toggled",
       on_list,
       "remote.session.fullscreen",
       AccessAction::Toggle,
       {},
       false,
       [](App& a) { EXPECT_FALSE(a.s().fullscreen); }},
      {"heading", on_list, "remote.list.heading", AccessAction::Activate, {}, false, nothing},
      {"unknown id", on_list, "remote.nothing", AccessAction::Activate, {}, false, nothing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    App a({box, lab, kova}, 1280, devices);
    c.setup(a);
    const auto before_profiles = a.s().profiles;
    EXPECT_EQ(a.act(c.id, c.action, c.value), c.handled);
    c.check(a);
    if (!c.handled) {
      EXPECT_EQ(a.s().profiles, before_profiles);
    }
  }
}

TEST(SemanticAction, NavigationToggleInTheNarrowLayout) {
  App a(launched(false, "narrow"), 600);
  EXPECT_TRUE(a.act("remote.nav.toggle", AccessAction::Activate));
  EXPECT_EQ(only(a.tree(), "remote.nav.toggle").states.expanded, true);
  EXPECT_FALSE(a.act("remote.nav.toggle", AccessAction::Toggle));
}

TEST(SemanticAction, ScrollIntoViewBringsTheRowOnScreen) {
  std::vector<profiles::ConnectionProfile> many;
  for (int i = 0; i < 40; ++i)
    many.push_back(profile("host " + std::to_string(100 + i), K::Vnc, "h.lan", 5900));
  App a(many);
  const std::string last = row_id(many.back(), "select");
  EXPECT_FALSE(only(a.tree(), last).bounds.has_value());
  EXPECT_TRUE(a.act(last, AccessAction::ScrollIntoView));
  EXPECT_EQ(a.s().selection, many.back().id);
  EXPECT_GT(a.view().list_scroll, 0);
  const auto bounds = only(a.tree(), last).bounds;
  ASSERT_TRUE(bounds.has_value());
  EXPECT_LE(bounds->bottom, a.s().content_rect.bottom);
}

// Clicking a node's bounds and activating it end in the same state.
TEST(SemanticAction, ActivatingMatchesClicking) {
  const LiveSessions live(true);
  const auto box = profile("Build Box", K::Ssh, "build.lan", 22);
  const auto lab = profile("Lab", K::Vnc, "lab.lan", 5900);
  for (const std::string& id :
       {row_id(lab, "select"), row_id(lab, "favorite"), row_id(lab, "edit"), row_id(box, "connect"),
        std::string("remote.nav.list"), std::string("remote.connection.new")}) {
    SCOPED_TRACE(id);
    App clicked({box, lab});
    App acted({box, lab});
    const AccessNode root = clicked.tree();
    const AccessNode* node = kova::ui::find_access_node(root, id);
    ASSERT_NE(node, nullptr);
    const auto bounds = node->bounds;
    ASSERT_TRUE(bounds.has_value());
    clicked.painted.click(bounds->center_x(), bounds->center_y());
    EXPECT_TRUE(acted.act(id, AccessAction::Activate));
    EXPECT_EQ(clicked.s().screen, acted.s().screen);
    EXPECT_EQ(clicked.s().selection, acted.s().selection);
    EXPECT_EQ(clicked.s().profiles, acted.s().profiles);
    EXPECT_EQ(clicked.s().pending_confirmation.has_value(),
              acted.s().pending_confirmation.has_value());
  }
}

TEST(SemanticAction, RemoteAppParsesActionNamesAndValues) {
  App a(std::vector<profiles::ConnectionProfile>{});
  kova::actions::params::ActionArgs args;
  args.set_text("value", "x9y8");
  EXPECT_TRUE(a.painted.app().semantic_action("remote.connection.new", "activate", {}));
  EXPECT_TRUE(a.painted.app().semantic_action("remote.field:port", "set-value", args));
  EXPECT_EQ(a.s().form.port, "98");
  EXPECT_FALSE(a.painted.app().semantic_action("remote.form.save", "press", {}));
  kova::ui::AccessNode root;
  EXPECT_TRUE(a.painted.app().accessibility_tree(root));
  EXPECT_EQ(root.label, "Remote");
}

}  // namespace
}  // namespace remote::ui
