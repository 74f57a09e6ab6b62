// The session screen and its input: rectangle math, pointer mapping, key
// translation per session kind, the status cards' texts per status, and the
// terminal grid drawn from a session fed known bytes.
#include "ui/session_view.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/session.h"
#include "fixtures.h"
#include "ssh/session.h"
#include "ui/session_input.h"
#include "ui_toolkit/theme.h"

namespace remote::ui::testing {
namespace {

using kova::ui::Key;
using kova::ui::KeyEvent;
using kova::ui::Modifiers;
using kova::ui::Rect;

TEST(SessionView, PictureRectangleInFitAndOneToOne) {
  struct Case {
    const char* name;
    std::uint32_t w, h;
    bool fit;
    Rect expected;
  };
  const Rect body{0, 0, 1200, 800};
  const Case cases[] = {
      {"4k fit: reduced, centred vertically", 3840, 2160, true, {0, 62.5, 1200, 737.5}},
      {"4k 1:1: compressed to the body, not cropped", 3840, 2160, false, {0, 0, 1200, 800}},
      {"small 1:1: native size, centred", 800, 600, false, {200, 100, 1000, 700}},
      {"small fit: enlarged",
       800,
       600,
       true,
       {(1200 - 3200.0 / 3) / 2, 0, (1200 + 3200.0 / 3) / 2, 800}},
      {"wide 1:1: only the width is compressed", 2000, 400, false, {0, 200, 1200, 600}},
      {"zero size taken as one pixel", 0, 0, false, {599.5, 399.5, 600.5, 400.5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Rect r = picture_rect(body, c.w, c.h, c.fit);
    EXPECT_NEAR(r.left, c.expected.left, 1e-9);
    EXPECT_NEAR(r.top, c.expected.top, 1e-9);
    EXPECT_NEAR(r.right, c.expected.right, 1e-9);
    EXPECT_NEAR(r.bottom, c.expected.bottom, 1e-9);
  }
}

TEST(SessionView, PointerMapsThroughTheDrawnRectangle) {
  using Mapped = std::optional<std::pair<std::uint16_t, std::uint16_t>>;
  struct Case {
    const char* name;
    Rect drawn;
    std::uint32_t w, h;
    kova::ui::Point at;
    Mapped expected;
  };
  const Rect r{100, 50, 740, 530};  // 640 x 480 drawn
  const Case cases[] = {
      {"top-left corner", r, 1280, 960, {100, 50}, std::pair<std::uint16_t, std::uint16_t>{0, 0}},
      {"middle, scaled by two",
       r,
       1280,
       960,
       {420, 290},
       std::pair<std::uint16_t, std::uint16_t>{640, 480}},
      {"one pixel inside the right edge",
       r,
       1280,
       960,
       {739, 529},
       std::pair<std::uint16_t, std::uint16_t>{1278, 958}},
      {"a hair inside the right edge clamps to w - 1",
       r,
       1280,
       960,
       {739.9999, 529.9999},
       std::pair<std::uint16_t, std::uint16_t>{1279, 959}},
      {"exactly on the right edge", r, 1280, 960, {740, 100}, std::nullopt},
      {"exactly on the bottom edge", r, 1280, 960, {200, 530}, std::nullopt},
      {"left of the picture", r, 1280, 960, {99.9, 100}, std::nullopt},
      {"empty rectangle", Rect{10, 10, 10, 20}, 64, 48, {10, 15}, std::nullopt},
      {"no framebuffer size", r, 0, 960, {200, 100}, std::nullopt},
      {"1:1 picture",
       Rect{0, 0, 64, 48},
       64,
       48,
       {10.5, 47.9},
       std::pair<std::uint16_t, std::uint16_t>{10, 47}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(map_to_framebuffer(c.drawn, c.w, c.h, c.at), c.expected);
  }
}

TEST(SessionView, TargetSummaryPerKind) {
  struct Case {
    const char* name;
    profiles::ConnectionProfile profile;
    std::string expected;
  };
  auto with_user = profile("a", ConnectionKind::Ssh, "build.lan", 22);
  with_user.user = "ops";
  auto vnc_user = profile("b", ConnectionKind::Vnc, "desk.lan", 5901);
  vnc_user.user = "ignored";
  const Case cases[] = {
      {"ssh with user", with_user, "ops@build.lan:22"},
      {"ssh without user", profile("c", ConnectionKind::Ssh, "10.0.0.2", 2222), "10.0.0.2:2222"},
      {"vnc never shows a user", vnc_user, "desk.lan:5901"},
      {"port 0 is left out", profile("d", ConnectionKind::Rdp, "old.lan", 0), "old.lan"},
      {"device: 12 characters and an ellipsis",
       profile("e", ConnectionKind::Kova, endpoint_id(), 0),
       "Kova device " + endpoint_id().substr(0, 12) + "…"},
      {"short device host: no ellipsis", profile("f", ConnectionKind::Kova, "abc", 0),
       "Kova device abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(target_summary(c.profile), c.expected);
  }
}

KeyEvent character(char32_t c, std::string text, std::uint8_t mods = 0) {
  KeyEvent e;
  e.key = Key::Character;
  e.character = c;
  e.text = std::move(text);
  e.modifiers = Modifiers{mods};
  return e;
}
KeyEvent named(Key key, std::string text = {}, std::uint8_t mods = 0) {
  KeyEvent e;
  e.key = key;
  e.text = std::move(text);
  e.modifiers = Modifiers{mods};
  return e;
}

TEST(SessionInput, KeysForTheTerminal) {
  struct Case {
    const char* name;
    KeyEvent key;
    std::string bytes;
  };
  const Case cases[] = {
      {"Enter is a carriage return", named(Key::Enter), "\r"},
      {"Backspace is DEL", named(Key::Backspace), "\x7f"},
      {"Control+c", character(U'c', "", kova::ui::ModControl), "\x03"},
      {"Control+Shift+C", character(U'c', "", kova::ui::ModControl | kova::ui::ModShift), "\x03"},
      {"Control+1 sends its text", character(U'1', "1", kova::ui::ModControl), "1"},
      {"é sends its UTF-8", character(U'é', "é"), "\xc3\xa9"},
      {"shifted text", character(U'a', "A", kova::ui::ModShift), "A"},
      {"Alt+b is just b", character(U'b', "b", kova::ui::ModAlt), "b"},
      {"Up with Shift is still the plain sequence", named(Key::Up, "", kova::ui::ModShift),
       "\x1b[A"},
      {"Delete", named(Key::Delete), "\x1b[3~"},
      {"Home", named(Key::Home), "\x1b[H"},
      {"Escape", named(Key::Escape), "\x1b"},
      {"Page Up without text sends nothing", named(Key::PageUp), ""},
      {"F5 with text sends the text", named(Key::F5, "x"), "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(terminal::terminal_key_bytes(terminal_key(c.key)), c.bytes);
  }
}

TEST(SessionInput, KeysForVncAndDevices) {
  struct VncCase {
    const char* name;
    KeyEvent key;
    std::optional<std::uint32_t> keysym;
  };
  const VncCase vnc[] = {
      {"A by its text", character(U'a', "A", kova::ui::ModShift), 0x41},
      {"é by its Latin-1 code", character(U'é', "é"), 0xE9},
      {"Enter", named(Key::Enter), 0xFF0D},
      {"Left", named(Key::Left), 0xFF51},
      {"a character without text", character(U'c', "", kova::ui::ModControl), std::nullopt},
      {"Home without text", named(Key::Home), std::nullopt},
  };
  for (const auto& c : vnc) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(vnc_keysym(c.key), c.keysym);
  }
  struct DeviceCase {
    std::uint32_t usage;
    std::string_view code;
    std::optional<std::uint32_t> linux_code;
  };
  const DeviceCase devices[] = {
      {0x04, "KeyA", 30},         {0x1D, "KeyZ", 44},
      {0x1E, "Digit1", 2},        {0x27, "Digit0", 11},
      {0x28, "Enter", 28},        {0x29, "Escape", 1},
      {0x52, "ArrowUp", 103},     {0xE1, "ShiftLeft", 42},
      {0xE4, "ControlRight", 97}, {0x2D, "Minus", std::nullopt},
      {0, "", std::nullopt},      {0x10000, "", std::nullopt},
  };
  for (const auto& c : devices) {
    SCOPED_TRACE(c.usage);
    EXPECT_EQ(physical_code(c.usage), c.code);
    EXPECT_EQ(device::key_code(physical_code(c.usage)), c.linux_code);
  }
}

TEST(SessionInput, VncButtonMask) {
  using kova::ui::PointerButton;
  std::uint8_t mask = 0;
  mask = vnc_button_mask(mask, PointerButton::Primary, true);
  EXPECT_EQ(mask, 1);
  mask = vnc_button_mask(mask, PointerButton::Secondary, true);
  EXPECT_EQ(mask, 5);
  mask = vnc_button_mask(mask, PointerButton::Middle, true);
  EXPECT_EQ(mask, 7);
  mask = vnc_button_mask(mask, PointerButton::Primary, false);
  EXPECT_EQ(mask, 6);
  mask = vnc_button_mask(mask, PointerButton::Primary, false);
  EXPECT_EQ(mask, 6);
}

// --- Status cards ---

// One profile of each kind, the session screen of `which` showing `session`.
struct CardApp {
  std::vector<profiles::ConnectionProfile> list{
      profile("Shell box", ConnectionKind::Ssh, "shell.lan", 22),
      profile("Desk", ConnectionKind::Vnc, "desk.lan", 5901),
      profile("Old desk", ConnectionKind::Rdp, "old.lan", 3389),
      profile("Tablet", ConnectionKind::Kova, endpoint_id(), 0)};
  Painted painted{
      std::make_unique<app::RemoteApp>(list, std::vector<profiles::DiscoveredDevice>{})};

  void show(std::size_t which, std::optional<app::SessionState> session) {
    auto& s = painted.state();
    s.session = std::move(session);
    s.session_connection = list[which].id;
    s.screen = app::Screen::session(list[which].id);
  }
};

// A handle with no worker behind it: the test plays the worker's part on
// the shared cells and queues.
std::shared_ptr<ssh::SessionShared> fake_ssh(app::AppState& state, SessionStatus status) {
  auto shared = std::make_shared<ssh::SessionShared>();
  shared->status.set(std::move(status));
  state.session = app::SessionState::of(ssh::SshSession(shared, 80, 24));
  return shared;
}

TEST(SessionView, StatusCardsPerStatus) {
  using app::SessionState;
  struct Case {
    const char* name;
    std::size_t which;
    std::optional<SessionState> session;
    std::vector<std::string> texts;  // drawn, in this order top to bottom or left to right
    std::vector<std::string> absent;
  };
  const std::string real = "This is the real error — nothing is simulated.";
  std::vector<Case> cases;
  cases.push_back({"ssh connecting",
                   0,
                   SessionState::review(SessionStatus::connecting()),
                   {"SSH", "Shell box", "shell.lan:22 · SSH", "Connecting…",
                    "Negotiating the transport and authenticating…", "Back to list"},
                   {"Retry", "Edit profile", "Waiting for consent…"}});
  cases.push_back({"device connecting waits for consent",
                   3,
                   SessionState::review(SessionStatus::connecting()),
                   {"Kova", "Tablet", "Waiting for consent…",
                    "Opening an authenticated route to the exact target, then waiting for it to "
                    "share a workspace "
                    "surface…",
                    "Back to list"},
                   {"Connecting…", "Retry"}});
  cases.push_back({"ended",
                   1,
                   SessionState::review(SessionStatus::ended()),
                   {"VNC", "Session ended", "The remote closed the session.", "Back to list"},
                   {"Retry", "Edit profile"}});
  cases.push_back({"rdp unavailable offers editing",
                   2,
                   SessionState::review(
                       SessionStatus::unavailable(app::readiness_text(2, ConnectionKind::Rdp))),
                   {"RDP", "Connection not available", app::readiness_text(2, ConnectionKind::Rdp),
                    "Edit this saved profile to use SSH, VNC, or Kova device control.",
                    "Edit profile", "Back to list"},
                   {"Retry"}});
  cases.push_back({"vnc failed offers retry",
                   1,
                   SessionState::failed("Connection refused"),
                   {"Desk", "desk.lan:5901 · VNC", "Connection failed", "Connection refused", real,
                    "Retry", "Back to list"},
                   {"Edit profile", "Trust key", "Forget key"}});
  cases.push_back({"no session",
                   0,
                   std::nullopt,
                   {"Not connected", "This transport is unavailable in this build.",
                    "Your saved connection is unchanged.", "Back to list"},
                   {"Retry"}});
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    CardApp a;
    a.show(c.which, std::move(c.session));
    a.painted.paint();
    // Everything drawn, in drawing order; long details wrap over lines.
    std::string all;
    for (const auto& drawn : a.painted.log().texts)
      all += drawn.text + " ";
    std::size_t at = 0;
    for (const auto& text : c.texts) {
      const auto found = all.find(text, at);
      ASSERT_NE(found, std::string::npos) << "\"" << text << "\" is not drawn in order in: " << all;
      at = found + text.size();
    }
    for (const auto& text : c.absent)
      EXPECT_EQ(all.find(text), std::string::npos) << text;
  }
}

TEST(SessionView, RetryAndBackButtonsAct) {
  ::setenv("REMOTE_LIVE_SESSIONS", "1", 1);  // a VNC profile may be connected again
  CardApp a;
  a.show(1, app::SessionState::failed("Connection refused"));
  a.painted.paint();
  EXPECT_LT(a.painted.text_rect("Retry").right, a.painted.text_rect("Back to list").left);
  a.painted.click_text("Retry");
  ASSERT_TRUE(a.painted.state().pending_confirmation);
  EXPECT_EQ(a.painted.state().pending_confirmation->kind, app::PendingConfirmation::Kind::Connect);
  a.painted.state().pending_confirmation.reset();
  a.painted.paint();
  a.painted.click_text("Back to list");
  EXPECT_EQ(a.painted.state().screen.kind, app::Screen::Kind::List);
  EXPECT_FALSE(a.painted.state().session);
  ::unsetenv("REMOTE_LIVE_SESSIONS");
}

TEST(SessionView, HostKeyButtonsReplaceRetry) {
  struct Case {
    const char* name;
    ssh::HostKeyVerdict verdict;
    const char* button;
    app::PendingConfirmation::Kind opens;
  };
  const ssh::HostKeyIdentity id{"ssh-ed25519", "SHA256:abc"};
  const Case cases[] = {
      {"first sight", ssh::HostKeyUntrusted{id}, "Trust key",
       app::PendingConfirmation::Kind::TrustSshHostKey},
      {"changed key", ssh::HostKeyChanged{id, id}, "Forget key",
       app::PendingConfirmation::Kind::ForgetSshHostKey},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CardApp a;
    a.show(0, std::nullopt);
    auto shared = fake_ssh(a.painted.state(), SessionStatus::failed("host key rejected"));
    shared->verdict.set(c.verdict);
    a.painted.paint();
    EXPECT_TRUE(a.painted.drew("Connection failed"));
    EXPECT_FALSE(a.painted.drew("Retry"));
    EXPECT_LT(a.painted.text_rect(c.button).right, a.painted.text_rect("Back to list").left);
    a.painted.click_text(c.button);
    ASSERT_TRUE(a.painted.state().pending_confirmation);
    EXPECT_EQ(a.painted.state().pending_confirmation->kind, c.opens);
  }
}

TEST(SessionView, DeletedConnectionShowsOnlyItsMessage) {
  CardApp a;
  a.show(1, app::SessionState::review(SessionStatus::connecting()));
  a.painted.state().profiles.erase(a.painted.state().profiles.begin() + 1);
  const auto& log = a.painted.paint();
  EXPECT_TRUE(a.painted.drew("Connection no longer exists."));
  EXPECT_FALSE(a.painted.drew("Connecting…"));
  EXPECT_FALSE(a.painted.drew("Back to list"));
  EXPECT_EQ(a.painted.text_rect("Connection no longer exists.").left, 64 + 24);
  (void)log;
}

// --- The terminal ---

TEST(SessionView, TerminalGridDrawnFromShellOutput) {
  CardApp a;
  a.show(0, std::nullopt);
  auto shared = fake_ssh(a.painted.state(), SessionStatus::connected());
  ASSERT_TRUE(shared->output.push("plain \x1b[1;31mred bold\x1b[0m tail\r\n"));
  ASSERT_TRUE(shared->output.push("\x1b[32mgreen\x1b[0m"));
  a.painted.paint();
  const auto palette = kova::ui::TerminalPalette::dark();
  const double x0 = 64 + 16;
  const double y0 = 48 + 16;
  struct Expect {
    const char* text;
    unsigned row, column;
    kova::ui::Color color;
    int weight;
  };
  const Expect runs[] = {
      {"plain", 0, 0, palette.foreground, 0},
      {"red bold", 0, 6, palette.indexed[1], 3},
      {"tail", 0, 15, palette.foreground, 0},
      {"green", 1, 0, palette.indexed[2], 0},
  };
  for (const auto& e : runs) {
    SCOPED_TRACE(e.text);
    const auto* drawn = a.painted.log().find(e.text);
    ASSERT_NE(drawn, nullptr);
    EXPECT_NEAR(drawn->rect.left, x0 + 8.4 * e.column, 1e-6);
    EXPECT_NEAR(drawn->rect.top, y0 + 21.0 * e.row, 1e-6);
    EXPECT_EQ(drawn->color, e.color);
    EXPECT_EQ(drawn->weight, e.weight);
    EXPECT_EQ(drawn->size, 14);
  }
  // Header: the name, the summary and the disconnect button; no scale chips.
  EXPECT_TRUE(a.painted.drew("Shell box"));
  EXPECT_TRUE(a.painted.drew("· shell.lan:22 · shell"));
  EXPECT_TRUE(a.painted.drew("Disconnect"));
  EXPECT_FALSE(a.painted.drew("Fullscreen"));
  // Output arriving later is taken at the next paint.
  ASSERT_TRUE(shared->output.push(" more"));
  a.painted.paint();
  ASSERT_TRUE(a.painted.drew("more"));
  EXPECT_NEAR(a.painted.text_rect("more").left, x0 + 8.4 * 6, 1e-6);
  EXPECT_NEAR(a.painted.text_rect("more").top, y0 + 21.0, 1e-6);
}

TEST(SessionInput, TypedKeysReachTheShellOnlyWhileConnected) {
  CardApp a;
  a.show(0, std::nullopt);
  auto shared = fake_ssh(a.painted.state(), SessionStatus::connecting());
  a.painted.type("x");
  EXPECT_FALSE(shared->input.try_pop()) << "a key reached a shell that is still connecting";

  shared->status.set(SessionStatus::connected());
  a.painted.type("ls");
  a.painted.key(Key::Enter);
  a.painted.key(Key::Escape);
  a.painted.character(U'c', "", {kova::ui::ModControl});
  a.painted.character(U'n', "", {kova::ui::ModControl});  // a shortcut: never sent
  std::vector<std::string> sent;
  while (auto input = shared->input.try_pop())
    sent.push_back(input->bytes);
  EXPECT_EQ(sent, (std::vector<std::string>{"l", "s", "\r", "\x1b", "\x03"}));
  EXPECT_EQ(a.painted.state().screen.kind, app::Screen::Kind::Form);
}

TEST(SessionInput, EscapeInFullScreenLeavesItInsteadOfReachingTheShell) {
  CardApp a;
  a.show(0, std::nullopt);
  auto shared = fake_ssh(a.painted.state(), SessionStatus::connected());
  a.painted.state().fullscreen = true;
  a.painted.paint();
  EXPECT_TRUE(a.painted.drew("Esc to exit fullscreen"));
  EXPECT_FALSE(a.painted.drew("Disconnect"));
  a.painted.key(Key::Escape);
  EXPECT_FALSE(a.painted.state().fullscreen);
  EXPECT_FALSE(shared->input.try_pop());
  EXPECT_EQ(a.painted.state().screen.kind, app::Screen::Kind::Session);
  a.painted.key(Key::Escape);
  ASSERT_TRUE(shared->input.try_pop());
}

}  // namespace
}  // namespace remote::ui::testing
