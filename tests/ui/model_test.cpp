// The pure pieces of the screens: texts, statuses, ordering, hit testing,
// shortcuts, tab order and which problems a form shows.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fixtures.h"
#include "profiles/validate.h"
#include "ui/form_view.h"
#include "ui/input.h"
#include "ui/list_model.h"
#include "ui/view.h"

namespace remote::ui {
namespace {

using namespace testing;
using K = ConnectionKind;
using A = AuthMethod;

struct LiveSessions {
  explicit LiveSessions(bool on) {
    if (on)
      ::setenv("REMOTE_LIVE_SESSIONS", "1", 1);
    else
      ::unsetenv("REMOTE_LIVE_SESSIONS");
  }
  ~LiveSessions() { ::unsetenv("REMOTE_LIVE_SESSIONS"); }
};

TEST(Abbreviate, CutsAfterTwelveCodePoints) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"abcdefghijkl", "abcdefghijkl"},
      {"abcdefghijklm", "abcdefghijkl…"},
      {"ééééééééééééé", "éééééééééééé…"},  // counted by code point, not byte
      {"\xff\xfe", "\xff\xfe"},            // broken UTF-8 advances byte by byte
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(abbreviate(c.in), c.out);
  }
}

TEST(TargetText, ByKind) {
  auto ssh = profile("a", K::Ssh, "box", 22);
  ssh.user = "root";
  auto ssh_no_user = profile("a", K::Ssh, "box", 0);
  auto vnc = profile("a", K::Vnc, "10.0.0.2", 5900);
  vnc.user = "ignored";
  const auto kova = profile("a", K::Kova, std::string(64, 'a'), 0, A::DeviceIdentity);
  const struct {
    const ConnectionProfile& p;
    const char* out;
  } cases[] = {{ssh, "root@box:22"},
               {ssh_no_user, "box"},
               {vnc, "10.0.0.2:5900"},
               {kova, "Kova device aaaaaaaaaaaa…"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(target_text(c.p), c.out);
  }
}

TEST(ConnectStatus, AvailabilityThenProblems) {
  const auto kova_ok = profile("k", K::Kova, endpoint_id(), 0, A::DeviceIdentity);
  const auto kova_password = profile("k", K::Kova, endpoint_id(), 0, A::Password);
  const auto rdp = profile("r", K::Rdp, "host", 3389);
  const auto ssh = profile("s", K::Ssh, "host", 22);
  const auto vnc_key = profile("v", K::Vnc, "host", 5900, A::PublicKey);
  const struct {
    const ConnectionProfile& p;
    bool live;
    ConnectStatus status;
  } cases[] = {
      {kova_ok, false, ConnectStatus::Connectable},
      {kova_password, false, ConnectStatus::FixProfile},
      {rdp, true, ConnectStatus::NotSupported},
      {ssh, false, ConnectStatus::NeedsAccess},
      {ssh, true, ConnectStatus::Connectable},
      {vnc_key, true, ConnectStatus::FixProfile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.p.name + (c.live ? " live" : ""));
    LiveSessions live(c.live);
    EXPECT_EQ(connect_status(c.p), c.status);
  }
}

TEST(Summary, ShortFormOnlyWhenAllCanConnect) {
  LiveSessions live(false);
  auto kova = profile("k", K::Kova, endpoint_id(), 0, A::DeviceIdentity);
  kova.presence = profiles::Presence::Online;
  const std::vector<ConnectionProfile> mixed{kova, profile("s", K::Ssh, "h", 22),
                                             profile("v", K::Vnc, "h", 5900)};
  EXPECT_EQ(summary_text(mixed), "3 saved · 1 online · 1 connectable here");
  EXPECT_EQ(summary_text(std::span(mixed).first(1)), "1 saved · 1 online");
  EXPECT_EQ(summary_text({}), "0 saved · 0 online");
}

TEST(VisibleRows, FavouritesFirstThenNameAndSearch) {
  app::AppState state;
  state.profiles = {profile("aardvark", K::Ssh, "h1", 22),
                    profile("beta", K::Ssh, "h2", 22, A::Password, true),
                    profile("Alpha", K::Vnc, "h3", 5900, A::Password, true)};
  ViewState view;
  const auto names = [&] {
    std::vector<std::string> out;
    for (const auto i : visible_rows(state, view).rows)
      out.push_back(state.profiles[i].name);
    return out;
  };
  EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "beta", "aardvark"}));
  state.search_text = "  VNC ";
  EXPECT_EQ(names(), (std::vector<std::string>{"Alpha"}));
  // The cache follows changes made in place.
  state.search_text.clear();
  state.profiles[0].favorite = true;
  EXPECT_EQ(names(), (std::vector<std::string>{"aardvark", "Alpha", "beta"}));
}

TEST(HitTest, NewestContainingRegionWinsAndEdgesAreHalfOpen) {
  ViewState view;
  register_region(view, Rect{0, 0, 100, 100}, app::msg::ShowConnections{});
  register_region(view, Rect{10, 10, 20, 20}, app::msg::Back{});
  register_region(view, Rect{50, 50, 60, 60}, std::nullopt);
  const struct {
    Point at;
    int tag;  // -1: no region, -2: region without a message
  } cases[] = {{{15, 15}, 16}, {{20, 15}, 0},   {{10, 10}, 16},
               {{55, 55}, -2}, {{100, 50}, -1}, {{0, 0}, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.at.x) + "," + std::to_string(c.at.y));
    const auto* r = hit_test(view.regions, c.at);
    const int tag = !r ? -1 : !r->message ? -2 : app::message_tag(*r->message);
    EXPECT_EQ(tag, c.tag);
  }
}

TEST(Shortcuts, ControlOrSuperWithLowerCasedCharacter) {
  app::AppState list;
  app::AppState session;
  session.screen = app::Screen::session(profiles::ConnectionId::random());
  const auto key = [](char32_t c, std::uint8_t mods) {
    kova::ui::KeyEvent e;
    e.key = kova::ui::Key::Character;
    e.character = c;
    e.modifiers.bits = mods;
    return e;
  };
  using S = std::optional<Shortcut>;
  const struct {
    const char* name;
    const app::AppState& state;
    kova::ui::KeyEvent key;
    S expected;
  } cases[] = {
      {"ctrl n", list, key(U'n', kova::ui::ModControl), Shortcut::NewConnection},
      {"ctrl shift N", list, key(U'N', kova::ui::ModControl | kova::ui::ModShift),
       Shortcut::NewConnection},
      {"super f", list, key(U'f', kova::ui::ModSuper), Shortcut::FocusSearch},
      {"ctrl w on list", list, key(U'w', kova::ui::ModControl), std::nullopt},
      {"ctrl w in session", session, key(U'w', kova::ui::ModControl), Shortcut::Disconnect},
      {"plain n", list, key(U'n', 0), std::nullopt},
      {"alt n", list, key(U'n', kova::ui::ModAlt), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(shortcut_for(c.state, c.key), c.expected);
  }
}

TEST(TabOrder, FollowsTheKindsFieldsAndWraps) {
  using F = app::FormField;
  const struct {
    K kind;
    std::optional<F> from;
    F to;
  } cases[] = {{K::Ssh, std::nullopt, F::Name}, {K::Ssh, F::Group, F::Name},
               {K::Ssh, F::Port, F::User},      {K::Vnc, F::Port, F::Group},
               {K::Vnc, F::User, F::Host},      {K::Kova, F::Host, F::Name},
               {K::Kova, F::Name, F::Host},     {K::Rdp, F::Search, F::Host}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    EXPECT_EQ(next_field(c.kind, c.from), c.to);
  }
}

TEST(VisibleProblems, OnlyWhatTheUserHasEarned) {
  app::AppState s;
  s.screen = app::Screen::form_new();
  s.form = app::default_form();
  s.form.port = "99999";
  s.form.auth = A::DeviceIdentity;  // not allowed for SSH: a save-only message
  const auto problems = [&] { return visible_problems(s); };
  EXPECT_TRUE(problems().empty());
  s.name_touched = true;
  EXPECT_EQ(problems(), (std::vector<std::string>{"Name is required"}));
  s.host_touched = true;
  s.port_touched = true;
  const auto touched = problems();
  ASSERT_EQ(touched.size(), 3u);
  EXPECT_EQ(touched[1], "Host is required");
  EXPECT_EQ(touched[2].substr(0, 4), "Port");
  s.form_submitted = true;
  EXPECT_EQ(problems(), profiles::validate_form(s.form));
  EXPECT_EQ(problems().size(), 4u);
}

TEST(Tooltips, TextsByMessage) {
  app::AppState s;
  auto fav = profile("f", K::Ssh, "h", 22, A::Password, true);
  s.profiles = {fav};
  EXPECT_EQ(tooltip_text(s, app::msg::NewConnectionForm{}), "Add connection (Ctrl+N)");
  EXPECT_EQ(tooltip_text(s, app::msg::ShowConnections{}), "Connections");
  EXPECT_EQ(tooltip_text(s, app::msg::ToggleFavorite{fav.id}), "Remove from favourites");
  EXPECT_EQ(tooltip_text(s, app::msg::ToggleFavorite{profiles::ConnectionId::random()}),
            std::nullopt);
  EXPECT_EQ(tooltip_text(s, app::msg::SaveForm{}), std::nullopt);
}

}  // namespace
}  // namespace remote::ui
