// Whole screens painted headless, checked through the texts they draw and
// driven through the same events a window delivers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <variant>

#include "app/session.h"
#include "fixtures.h"
#include "shell/window_frontend.h"
#include "ui/form_view.h"
#include "ui/list_view.h"
#include "ui_toolkit/frontend.h"
#include "ui_toolkit/limits.h"

namespace remote::ui {
namespace {

using namespace testing;
using kova::ui::Key;
using K = ConnectionKind;

constexpr double narrow_width = 600;

// Every review state paints at the default size and at a narrow width, and
// shows the text that tells it apart, inside the window.
TEST(ReviewStates, EachPaintsItsScreen) {
  const struct {
    const char* state;
    const char* text;
  } cases[] = {
      {"", "Remote Machines"},
      {"narrow", "≡"},
      {"narrow-open", "≡"},
      {"form", "New connection"},
      {"form-kova", "Discovered Kova devices"},
      {"session-ssh", "Back to list"},
      {"session-vnc", "Back to list"},
      {"session-rdp", "Back to list"},
      {"session-kova", "Back to list"},
      {"session-connecting", "Connecting…"},
      {"session-failed", "Connection refused"},
      {"confirm-connect", "Connect"},
      {"confirm-delete", "Delete"},
      {"confirm-ssh-trust", "Trust key"},
  };
  for (const double width : {1280.0, narrow_width}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.state) + " at " + std::to_string(width));
      Painted painted(launched(true, c.state), width, 800);
      painted.paint();
      if ((std::string_view(c.state) == "narrow") && width >= 720)
        continue;  // wide: no toggle test
      if (std::string_view(c.state) == "narrow") {
        // A closed flap shows the toggle but no rail.
        EXPECT_FALSE(painted.drew("≡"));
        continue;
      }
      const auto r = painted.text_rect(c.text);
      EXPECT_GE(r.left, 0);
      EXPECT_LE(r.right, width);
      EXPECT_LE(r.bottom, 800);
    }
  }
}

// Where the screens put their anchoring texts, wide and narrow.
TEST(ReviewStates, TextsAtTheirPlaces) {
  const struct {
    const char* state;
    double width;
    const char* text;
    double left;
    double top;
  } cases[] = {
      {"", 1280, "Remote Machines", 64 + 24, 16},
      {"form", 1280, "New connection", 64 + 24, 18},
      {"form", 1280, "Protocol", 64 + (1216 - 560) / 2.0, 72},  // the 560 column, centred
      {"form", narrow_width, "Protocol", 64 + 24, 72},          // the column fills the pane
      {"confirm-delete", 1280, "Cancel", 640 + 230 - 244 + (112 - 0) / 2.0, 0},
      {"confirm-ssh-trust", 1280, "Trust SSH key for Build Box?", 640 - 230 + 24, 400 - 112 + 28},
      {"confirm-ssh-trust", narrow_width, "Trust SSH key for Build Box?", 300 - 230 + 24,
       400 - 112 + 28},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.state) + " " + c.text);
    Painted p(launched(true, c.state), c.width, 800);
    p.paint();
    const auto r = p.text_rect(c.text);
    if (std::string_view(c.text) == "Cancel") {
      // Centred in its button, 40 high from the card's bottom - 58.
      EXPECT_NEAR(r.center_x(), c.left, 1);
      EXPECT_NEAR(r.center_y(), 400 + 112 - 38, 1);
      continue;
    }
    EXPECT_DOUBLE_EQ(r.left, c.left);
    EXPECT_DOUBLE_EQ(r.top, c.top);
  }
}

TEST(Shell, NoticeToastIsCappedAndAnchoredBottomRight) {
  for (const double width : {1280.0, 400.0}) {
    SCOPED_TRACE(width);
    Painted p(launched(true), width, 800);
    p.state().notice = "Action cancelled. No connection or profile was changed.";
    p.paint();
    const auto heading = p.text_rect("Action needs review");
    const double box_width = std::min(width - 32, 520.0);
    EXPECT_DOUBLE_EQ(heading.left, width - 16 - box_width + 12);
    EXPECT_DOUBLE_EQ(heading.top, 800 - 70 + 9);
  }
}

TEST(ListScreen, HeaderAndRowsWhereTheyBelong) {
  ::unsetenv("REMOTE_LIVE_SESSIONS");
  Painted p(launched(true), 1280, 800);
  p.paint();
  const auto title = p.text_rect("Remote Machines");
  EXPECT_DOUBLE_EQ(title.left, 64 + 24);
  EXPECT_DOUBLE_EQ(title.top, 16);
  const auto button = p.text_rect("+ New connection");
  EXPECT_LE(button.right, 1280 - 24);
  EXPECT_FALSE(p.log().find_all_containing("saved · ").empty());
  // Every row of an SSH or VNC profile says why it cannot connect here.
  EXPECT_FALSE(p.log().find_all_containing("Needs access").empty());
  EXPECT_FALSE(p.drew("No machines yet"));
}

TEST(ListScreen, ShortHeaderBelow520) {
  for (const double pane : {519.0, 520.0}) {
    SCOPED_TRACE(pane);
    // The narrow layout keeps a 64 strip for the toggle.
    Painted p(launched(true), pane + 64, 800);
    p.paint();
    EXPECT_EQ(p.drew("Remote"), pane < 520);
    EXPECT_EQ(p.drew("+ New"), pane < 520);
    EXPECT_EQ(p.drew("Remote Machines"), pane >= 520);
    EXPECT_EQ(p.drew("+ New connection"), pane >= 520);
  }
}

TEST(ListScreen, EmptyStates) {
  Painted empty(launched(false), 1280, 800);
  empty.paint();
  EXPECT_TRUE(empty.drew("No machines yet"));
  EXPECT_TRUE(empty.drew("+ New connection"));
  Painted none_match(launched(true), 1280, 800);
  none_match.state().search_text = "no such machine";
  none_match.paint();
  EXPECT_TRUE(none_match.drew("No machines match your search."));
  EXPECT_EQ(none_match.app().view().list_scroll_max, 0);
}

TEST(ListScreen, OnlyRowsInViewAreDrawnAndWheelScrollsTo144) {
  std::vector<ConnectionProfile> many;
  for (int i = 0; i < 200; ++i)
    many.push_back(profile("machine " + std::to_string(1000 + i), K::Ssh, "h", 22));
  Painted p(std::make_unique<app::RemoteApp>(many, std::vector<profiles::DiscoveredDevice>{}), 1280,
            800);
  p.paint();
  const auto rows = p.log().find_all_containing("machine ");
  EXPECT_GT(rows.size(), 3u);
  EXPECT_LT(rows.size(), 15u);
  EXPECT_TRUE(p.drew("machine 1000"));
  p.app().handle_event(kova::ui::WheelEvent{0, -3, kova::ui::WheelUnit::Lines});
  EXPECT_DOUBLE_EQ(p.app().view().list_scroll, 144);
  p.app().handle_event(kova::ui::WheelEvent{0, -100000, kova::ui::WheelUnit::Lines});
  EXPECT_DOUBLE_EQ(p.app().view().list_scroll, p.app().view().list_scroll_max);
  p.paint();
  EXPECT_TRUE(p.drew("machine 1199"));
  EXPECT_FALSE(p.drew("machine 1000"));
}

TEST(ListScreen, KeyboardSelectionAndStarClick) {
  std::vector<ConnectionProfile> list{profile("a", K::Ssh, "h", 22), profile("b", K::Ssh, "h", 22),
                                      profile("c", K::Ssh, "h", 22)};
  auto app = std::make_unique<app::RemoteApp>(list, std::vector<profiles::DiscoveredDevice>{});
  app->state().selection.reset();
  Painted p(std::move(app), 1280, 800);
  p.paint();
  p.key(Key::Down);
  EXPECT_EQ(p.state().selection, list[1].id);
  p.key(Key::Down);
  p.key(Key::Down);
  EXPECT_EQ(p.state().selection, list[2].id);
  p.key(Key::Up);
  EXPECT_EQ(p.state().selection, list[1].id);
  // The star toggles the favourite without selecting its row.
  const auto name = p.text_rect("a");
  p.click(name.right + 16, name.top + 8);
  EXPECT_TRUE(p.state().profiles[0].favorite);
  EXPECT_EQ(p.state().selection, list[1].id);
}

TEST(ListScreen, KeyboardSelectionScrollsIntoViewAndEmptySpaceBlurs) {
  std::vector<ConnectionProfile> many;
  for (int i = 0; i < 40; ++i)
    many.push_back(profile("row " + std::to_string(100 + i), K::Ssh, "h", 22));
  Painted p(std::make_unique<app::RemoteApp>(many, std::vector<profiles::DiscoveredDevice>{}), 1280,
            800);
  p.paint();
  for (int i = 0; i < 20; ++i)
    p.key(Key::Down);
  EXPECT_GT(p.app().view().list_scroll, 0);
  const auto selected = p.text_rect("row 120");
  EXPECT_GE(selected.top, p.app().view().list_top);
  EXPECT_LE(selected.bottom, 800);
  p.character(U'/', "/");
  ASSERT_EQ(p.state().focused_field, app::FormField::Search);
  // The gap between the header and the search field holds no region.
  p.click(700, 5);
  EXPECT_FALSE(p.state().focused_field.has_value());
}

TEST(ListScreen, SlashFocusesSearchAndEscapeClearsIt) {
  Painted p(launched(true), 1280, 800);
  p.paint();
  p.character(U'/', "/");
  EXPECT_EQ(p.state().focused_field, app::FormField::Search);
  p.type("lab");
  EXPECT_EQ(p.state().search_text, "lab");
  p.key(Key::Escape);
  EXPECT_EQ(p.state().search_text, "");
  EXPECT_FALSE(p.state().focused_field.has_value());
}

TEST(FormScreen, CreateThroughClicksAndTyping) {
  Painted p(launched(false), 1280, 800);
  p.paint();
  p.click_text("+ New connection");
  ASSERT_TRUE(p.state().screen.is_form());
  EXPECT_EQ(p.state().focused_field, app::FormField::Name);
  p.type("Build box");
  p.key(Key::Tab);
  p.type("build.lab");
  p.key(Key::Tab);
  // The port keeps digits only.
  p.type("a2");
  EXPECT_EQ(p.state().form.port, "222");
  p.click_text("Save");
  ASSERT_EQ(p.state().profiles.size(), 1u);
  EXPECT_EQ(p.state().profiles[0].name, "Build box");
  EXPECT_EQ(p.state().profiles[0].port, 222);
  EXPECT_EQ(p.state().screen.kind, app::Screen::Kind::List);
}

TEST(FormScreen, ProblemsAppearAfterLeavingFields) {
  Painted p(launched(false, "form"), 1280, 800);
  p.app().apply(app::msg::NewConnectionForm{}, p.document());
  p.paint();
  EXPECT_TRUE(p.drew("Enter a name and target to save this connection."));
  p.key(Key::Tab);
  EXPECT_TRUE(p.drew("Name is required"));
  p.key(Key::Enter);
  EXPECT_FALSE(p.log().find_all_containing("Host is required").empty());
}

TEST(FormScreen, FieldsPerKind) {
  const struct {
    const char* name;
    K kind;
    std::vector<const char*> shown;
    std::vector<const char*> hidden;
  } cases[] = {
      {"ssh",
       K::Ssh,
       {"Host", "User", "Password", "Public key"},
       {"Device node", "Legacy RDP profile"}},
      {"vnc", K::Vnc, {"Host", "Group"}, {"User", "Discovered Kova devices"}},
      {"kova", K::Kova, {"Device node", "Discovered Kova devices"}, {"User", "Password", "Host"}},
      {"rdp", K::Rdp, {"Legacy RDP profile", "User", "Password"}, {"Public key"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Painted p(launched(true), 1280, 900);
    p.app().apply(app::msg::NewConnectionForm{}, p.document());
    p.state().form.kind = c.kind;
    if (c.kind == K::Kova) p.app().apply(app::msg::SetFormKind{K::Kova}, p.document());
    p.paint();
    for (const char* t : c.shown)
      EXPECT_TRUE(p.drew(t)) << t;
    for (const char* t : c.hidden)
      EXPECT_FALSE(p.drew(t)) << t;
    EXPECT_FALSE(p.drew("Delete"));
  }
}

TEST(Dialog, OnlyItsButtonsReactAndEnterConfirms) {
  Painted p(launched(true, "confirm-delete"), 1280, 800);
  p.paint();
  const auto count = p.state().profiles.size();
  ASSERT_TRUE(p.state().pending_confirmation.has_value());
  EXPECT_FALSE(p.drew("≡"));  // no rail under a dialog
  p.click(300, 300);          // the list behind the scrim
  p.character(U'n', "", kova::ui::Modifiers{kova::ui::ModControl});
  EXPECT_EQ(p.state().screen.kind, app::Screen::Kind::List);
  EXPECT_TRUE(p.state().pending_confirmation.has_value());
  const auto title = p.log().find_all_containing("Delete ");
  ASSERT_FALSE(title.empty());
  EXPECT_DOUBLE_EQ(title.front()->rect.top, 400 - 112 + 28);
  p.key(Key::Enter);
  EXPECT_EQ(p.state().profiles.size(), count - 1);
}

TEST(Dialog, CancelButtonLeavesTheNotice) {
  Painted p(launched(true, "confirm-connect"), 1280, 800);
  p.paint();
  p.click_text("Cancel");
  EXPECT_FALSE(p.state().pending_confirmation.has_value());
  p.paint();
  EXPECT_TRUE(p.drew("Action needs review"));
  EXPECT_TRUE(p.drew("Action cancelled. No connection or profile was changed."));
}

TEST(Shell, NarrowToggleOpensAndOutsideClickCloses) {
  Painted p(launched(true), 719, 800);
  p.paint();
  EXPECT_FALSE(p.drew("≡"));
  p.click(12 + 20, 12 + 20);
  EXPECT_TRUE(p.drew("≡"));
  p.click(500, 500);
  EXPECT_FALSE(p.drew("≡"));
  Painted wide(launched(true), 720, 800);
  wide.paint();
  EXPECT_TRUE(wide.drew("≡"));
}

TEST(Shell, ControlFFromFormReturnsToSearch) {
  Painted p(launched(true, "form"), 1280, 800);
  p.paint();
  p.character(U'f', "", kova::ui::Modifiers{kova::ui::ModControl});
  EXPECT_EQ(p.state().screen.kind, app::Screen::Kind::List);
  EXPECT_EQ(p.state().focused_field, app::FormField::Search);
}

// Hostile names are drawn clipped to their row; odd window sizes paint.
TEST(BadInput, HostileNamesAndWindowSizes) {
  const std::string names[] = {std::string(10000, 'W'), "\u202Eevil\u202C name",
                               "🙂🙃🫠 emoji", std::string("ctl\x01\x1b[31m\n\tname")};
  std::vector<ConnectionProfile> list;
  for (const auto& n : names)
    list.push_back(profile(n, K::Ssh, n, 22));
  for (const auto size :
       {kova::ui::Size{1, 1}, kova::ui::Size{8000, 800}, kova::ui::Size{1280, 800}}) {
    SCOPED_TRACE(size.width);
    Painted p(std::make_unique<app::RemoteApp>(list, std::vector<profiles::DiscoveredDevice>{}),
              size.width, size.height);
    p.paint();
    for (const auto& t : p.log().texts)
      EXPECT_LE(t.rect.right, size.width + 0.5) << t.text.substr(0, 40);
  }
}

// The rectangle of the last paint's region that focuses `field`.
std::optional<kova::ui::Rect> field_region(Painted& p, app::FormField field) {
  for (const auto& r : p.app().view().regions) {
    const auto* focus = r.message ? std::get_if<app::msg::FocusField>(&*r.message) : nullptr;
    if (focus && focus->field == field) return r.rect;
  }
  return std::nullopt;
}

std::optional<kova::ui::Rect> save_region(Painted& p) {
  for (const auto& r : p.app().view().regions)
    if (r.message && std::holds_alternative<app::msg::SaveForm>(*r.message)) return r.rect;
  return std::nullopt;
}

kova::ui::WheelEvent wheel_lines(double lines) {
  return kova::ui::WheelEvent{0, lines, kova::ui::WheelUnit::Lines};
}

// The window hears where the caret is when focus enters or leaves a field
// and when the caret moves, not at every frame; without a focused field
// text input is off, so keys reach the shortcuts.
TEST(InputMethod, CaretAreaReachesTheWindowOnlyWhenItChanges) {
  auto created = kova::ui::HeadlessFrontend::create({1280, 800}, 2);
  ASSERT_TRUE(created);
  kova::ui::HeadlessFrontend& window = **created;
  kova::shell::UiFrontendAdapter adapter(std::move(*created));
  Painted p(launched(true), 1280, 800);
  const auto press = [&](Key key, kova::ui::Modifiers mods = {}) {
    kova::ui::KeyEvent e;
    e.key = key;
    e.modifiers = mods;
    p.app().handle_event(e);
  };
  const auto character = [&](char c, kova::ui::Modifiers mods = {}) {
    kova::ui::KeyEvent e;
    e.key = Key::Character;
    e.character = static_cast<char32_t>(c);
    if (mods.bits == 0) e.text = std::string(1, c);
    e.modifiers = mods;
    p.app().handle_event(e);
  };
  enum class Expect { Off, On, Moved, Same };
  const struct {
    const char* what;
    std::function<void()> act;
    Expect expect;
  } steps[] = {
      {"first frame, nothing focused", [] {}, Expect::Off},
      {"a frame without change", [] {}, Expect::Same},
      {"slash focuses the search field", [&] { character('/'); }, Expect::On},
      {"typing moves the caret", [&] { character('a'); character('b'); }, Expect::Moved},
      {"the pointer moving leaves it", [&] { p.app().handle_event(kova::ui::PointerMoveEvent{{700, 500}}); },
       Expect::Same},
      {"escape leaves the field", [&] { press(Key::Escape); }, Expect::Off},
      {"a new form focuses its name", [&] { character('n', kova::ui::Modifiers{kova::ui::ModControl}); },
       Expect::On},
      {"tab moves to the host", [&] { press(Key::Tab); }, Expect::Moved},
      {"cancel leaves the form", [&] { press(Key::Escape); }, Expect::Off},
  };
  std::size_t seen = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    adapter.draw(p.app());
    const auto& changes = window.text_input_changes();
    if (step.expect == Expect::Same) {
      EXPECT_EQ(changes.size(), seen);
      continue;
    }
    ASSERT_EQ(changes.size(), seen + 1);
    seen = changes.size();
    if (step.expect == Expect::Off) {
      EXPECT_FALSE(changes.back().has_value());
      continue;
    }
    ASSERT_TRUE(changes.back().has_value());
    if (step.expect == Expect::Moved) {
      ASSERT_GE(seen, 2u);
      EXPECT_NE(changes[seen - 2], changes.back());
    }
    // The caret sits inside the focused field, in logical pixels.
    ASSERT_TRUE(p.state().focused_field.has_value());
    const auto field = field_region(p, *p.state().focused_field);
    ASSERT_TRUE(field.has_value());
    EXPECT_TRUE(field->contains({changes.back()->left, changes.back()->top}));
    EXPECT_LE(changes.back()->bottom, field->bottom);
  }
}

TEST(FormScreen, ScrollOffsetForAFieldBroughtIntoView) {
  using kova::ui::Rect;
  const struct {
    double scroll;
    Rect field;
    double viewport;
    double expected;
  } cases[] = {
      {0, {0, 100, 10, 140}, 300, 0},      // in view: unchanged
      {0, {0, 400, 10, 440}, 300, 156},    // below: its bottom + 16 at the viewport's bottom
      {200, {0, 100, 10, 140}, 300, 72},   // above: 28 above it (its label) at the top
      {100, {0, 10, 10, 50}, 300, 0},      // never above the form's top
      {0, {0, 400, 10, 440}, 20, 372},     // taller than the viewport: its label's top wins
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_DOUBLE_EQ(form_scroll_for(c.scroll, c.field, c.viewport), c.expected);
  }
}

// A new form at a window size, painted once.
std::unique_ptr<Painted> new_form(double width, double height) {
  auto p = std::make_unique<Painted>(launched(false), width, height);
  p->app().apply(app::msg::NewConnectionForm{}, p->document());
  p->paint();
  return p;
}

// A form taller than the window scrolls with the wheel, its offset clamped
// to the form's end, and its regions follow what is drawn.
TEST(FormScreen, ScrollsByWheelWhenTheWindowIsShorter) {
  const auto tall = new_form(1280, 2000);
  ASSERT_TRUE(save_region(*tall).has_value());
  const double save_top = save_region(*tall)->top;
  const double form_end = save_region(*tall)->bottom + 24;
  for (const double height : {800.0, 400.0, 240.0}) {
    SCOPED_TRACE(height);
    auto form = new_form(1280, height);
    Painted& p = *form;
    const double max = std::max(form_end - height, 0.0);
    EXPECT_DOUBLE_EQ(p.app().view().form_scroll_max, max);
    p.app().handle_event(wheel_lines(-1000));
    EXPECT_DOUBLE_EQ(p.app().view().form_scroll, max);
    p.paint();
    ASSERT_TRUE(save_region(p).has_value());
    EXPECT_DOUBLE_EQ(save_region(p)->top, save_top - max);
    EXPECT_LE(save_region(p)->bottom, height);
    // The drawn button is the clicked one.
    p.click(save_region(p)->center_x(), save_region(p)->center_y());
    EXPECT_TRUE(p.state().form_submitted) << "an empty form fails to save";
    p.app().handle_event(wheel_lines(3));
    EXPECT_DOUBLE_EQ(p.app().view().form_scroll, std::max(max - 144, 0.0));
    // A taller window clamps the offset at the next paint.
    p.resize(1280, 2000);
    p.paint();
    EXPECT_DOUBLE_EQ(p.app().view().form_scroll, 0);
    EXPECT_DOUBLE_EQ(save_region(p)->top, save_top + 0);
  }
}

// Tab to a field below the fold scrolls it into view, with its label; the
// wrap back to the first field scrolls back up.
TEST(FormScreen, TabBringsTheFocusedFieldIntoView) {
  using F = app::FormField;
  for (const double height : {300.0, 180.0}) {
    SCOPED_TRACE(height);
    auto form = new_form(1280, height);
    Painted& p = *form;
    p.state().focused_field.reset();
    for (const F expected : {F::Name, F::Host, F::Port, F::User, F::Group, F::Name}) {
      p.key(Key::Tab);
      ASSERT_EQ(p.state().focused_field, expected);
      const auto r = field_region(p, expected);
      ASSERT_TRUE(r.has_value());
      EXPECT_GE(r->top, 0);
      EXPECT_LE(r->bottom, height);
    }
    EXPECT_LE(p.app().view().form_scroll, p.app().view().form_scroll_max);
  }
}

// The Kova card keeps a margin around its sentence when a narrow column
// wraps it, and the lines below move down instead of crowding it.
TEST(FormScreen, KovaCardGrowsWithItsWrappedSentence) {
  for (const double width : {1280.0, 600.0, 420.0}) {
    SCOPED_TRACE(width);
    auto form = new_form(width, 900);
    Painted& p = *form;
    p.app().apply(app::msg::SetFormKind{K::Kova}, p.document());
    p.paint();
    const auto label = p.log().find_all_containing("Authentication");
    ASSERT_FALSE(label.empty());
    const auto sentence = p.text_rect(
        "Authenticated by Kova device identity over the P2P fabric — no password needed.");
    const auto hint = p.text_rect("Enter a name and target to save this connection.");
    EXPECT_GE(sentence.top - label.front()->rect.bottom, 12);
    EXPECT_GE(hint.top - sentence.bottom, 16);
  }
}

// Every field filled with hostile text stays inside its own field, on every
// window size, and a huge paste is cut at the input's bound.
TEST(BadInput, HostileFormTextsStayInTheirFields) {
  using F = app::FormField;
  const std::string texts[] = {std::string(10000, 'W'), "\u202Eevil\u202C \u05e9\u05dc\u05d5\u05dd",
                               "🙂🙃🫠👩‍👩‍👧 emoji", std::string("ctl\x01\x1b[31m\n\tname")};
  for (const auto size : {kova::ui::Size{1, 1}, kova::ui::Size{600, 800}, kova::ui::Size{8000, 800}}) {
    for (const auto& text : texts) {
      SCOPED_TRACE(std::to_string(size.width) + " " + text.substr(0, 12));
      auto form = new_form(size.width, size.height);
      Painted& p = *form;
      p.state().focused_field.reset();  // every input shows its model text
      for (auto* t : {&p.state().form.name, &p.state().form.host, &p.state().form.user,
                      &p.state().form.group})
        *t = text;
      p.paint();
      for (const F f : {F::Name, F::Host, F::User, F::Group}) {
        const auto field = field_region(p, f);
        if (!field) continue;
        for (const auto& drawn : p.log().texts) {
          if (drawn.rect.empty() || !drawn.rect.intersects(*field)) continue;
          EXPECT_GE(drawn.rect.left, field->left);
          EXPECT_LE(drawn.rect.right, field->right);
        }
      }
      for (const auto& drawn : p.log().texts) {
        if (drawn.rect.empty()) continue;  // wholly clipped away
        EXPECT_LE(drawn.rect.right, size.width + 0.5);
      }
    }
  }
  auto form = new_form(1280, 800);
  Painted& p = *form;
  kova::ui::MemoryClipboard clipboard;
  clipboard.set_text(std::string(kova::ui::max_clipboard_bytes, 'x'));
  p.app().set_clipboard(clipboard);
  p.paint();
  ASSERT_EQ(p.state().focused_field, F::Name);
  p.character(U'v', "", kova::ui::Modifiers{kova::ui::ModControl});
  EXPECT_EQ(p.state().form.name.size(), kova::ui::max_text_input_bytes);
}

// Every review state paints at the extreme window sizes, with regions that
// hit tests can use.
TEST(BadInput, EveryReviewStateAtExtremeSizes) {
  for (const char* state : {"", "narrow-open", "form", "form-kova", "session-ssh", "session-failed",
                            "confirm-ssh-trust"}) {
    for (const auto size : {kova::ui::Size{1, 1}, kova::ui::Size{8000, 800}, kova::ui::Size{8000, 1}}) {
      SCOPED_TRACE(std::string(state) + " " + std::to_string(size.width) + "x" +
                   std::to_string(size.height));
      Painted p(launched(true, state), size.width, size.height);
      p.paint();
      for (const auto& r : p.app().view().regions)
        EXPECT_TRUE(std::isfinite(r.rect.left) && std::isfinite(r.rect.top) &&
                    std::isfinite(r.rect.right) && std::isfinite(r.rect.bottom));
    }
  }
}

}  // namespace
}  // namespace remote::ui
