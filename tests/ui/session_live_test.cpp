// A VNC session to a real Xvnc, driven through the application as the user
// drives it (connect confirmation, paints, pointer events): the picture on
// the painted screen is the server's known desktop, and the pointer lands on
// the framebuffer pixel under it in both scale modes. And the picture of a
// session (from a scripted server) never shows in the session after it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <thread>

#include "../rfb/fake_server.h"
#include "../rfb/real_server.h"
#include "app/reducer.h"
#include "app/session.h"
#include "fixtures.h"
#include "support/eventually.h"
#include "x_key_witness.h"

namespace remote::ui::testing {
namespace {

using namespace std::chrono_literals;

using kova::testing::eventually;

// Connect, confirmed, as the user does it from the list.
void connect(Painted& p, const profiles::ConnectionProfile& to) {
  app::apply_message(p.state(), app::msg::RequestConnect{to.id}, p.document());
  app::apply_message(p.state(), app::msg::ConfirmPending{}, p.document());
}

// Paints one frame into a fresh canvas and gives back that canvas.
kova::ui::Canvas paint(app::RemoteApp& app) {
  auto canvas = kova::ui::Canvas::create({1280, 800}, 1);
  EXPECT_TRUE(canvas.has_value());
  kova::ui::Painter painter(*canvas);
  app.paint(painter);
  return std::move(*canvas);
}

std::string pointer_at(const rfb::testing::Xvnc& server) {
  const auto dir = rfb::testing::make_temp_dir();
  server.run_x_client({"xdotool", "getmouselocation", "--shell"}, dir / "where");
  std::ifstream in(dir / "where");
  std::string all((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove_all(dir);
  return all;
}

TEST(SessionLive, VncPictureAndPointerThroughTheApp) {
  rfb::testing::Xvnc::Options options;
  options.width = 64;
  options.height = 48;
  rfb::testing::Xvnc server(options);
  ASSERT_TRUE(server.problem().empty()) << server.problem();
  // A known picture: the left half of the desktop #123456, the right half
  // #c08040 (a 64 x 48 bitmap whose rows are 32 set bits, then 32 clear).
  const auto files = rfb::testing::make_temp_dir();
  {
    std::ofstream xbm(files / "halves.xbm");
    xbm << "#define halves_width 64\n#define halves_height 48\nstatic unsigned char "
           "halves_bits[] = {\n";
    for (int row = 0; row < 48; ++row)
      xbm << "0xff,0xff,0xff,0xff,0x00,0x00,0x00,0x00" << (row < 47 ? ",\n" : "};\n");
  }
  ASSERT_EQ(server.run_x_client({"xsetroot", "-bitmap", (files / "halves.xbm").string(), "-fg",
                                 "#123456", "-bg", "#c08040"}),
            0)
      << "xsetroot failed";
  std::filesystem::remove_all(files);
  ::setenv("REMOTE_LIVE_SESSIONS", "1", 1);

  auto desk = profile("Desk", ConnectionKind::Vnc, "127.0.0.1", server.port());
  Painted p(std::make_unique<app::RemoteApp>(std::vector{desk},
                                             std::vector<profiles::DiscoveredDevice>{}));
  auto& state = p.state();
  connect(p, desk);
  ASSERT_EQ(state.screen.kind, app::Screen::Kind::Session);

  // The server's picture reaches the painted screen: a quarter across the
  // drawn picture the left colour, three quarters across the right one.
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  kova::ui::Rect drawn;
  const bool shown = eventually([&] {
    const auto canvas = paint(p.app());
    if (!p.app().view().session.image_rect) return false;
    drawn = *p.app().view().session.image_rect;
    const int y = static_cast<int>(drawn.center_y());
    left = canvas.pixel(static_cast<int>(drawn.left + drawn.width() / 4), y);
    right = canvas.pixel(static_cast<int>(drawn.left + drawn.width() * 3 / 4), y);
    return left == 0xFF123456u && right == 0xFFC08040u;
  });
  ASSERT_TRUE(shown) << std::hex << "left " << left << ", right " << right << ", status "
                     << static_cast<int>(app::session_status(state)->kind);
  // Fit mode: 64 x 48 enlarged into the 1216 x 752 body below the header.
  EXPECT_NEAR(drawn.height(), 752, 1e-6);
  EXPECT_NEAR(drawn.width(), 752 * 64.0 / 48, 1e-6);
  EXPECT_TRUE(p.drew("Scale: Fit") || (p.paint(), p.drew("Scale: Fit")));

  // A quarter across and three quarters down the drawn picture is (16, 36).
  p.app().handle_event(kova::ui::PointerMoveEvent{
      {drawn.left + drawn.width() * 0.25 + 0.01, drawn.top + drawn.height() * 0.75 + 0.01}});
  EXPECT_TRUE(eventually([&] {
    return pointer_at(server).find("X=16\nY=36\n") != std::string::npos;
  })) << pointer_at(server);

  // 1:1: the picture at its own size, centred; one pixel maps to one pixel.
  p.click_text("Scale: Fit");
  EXPECT_FALSE(state.fit_to_window);
  paint(p.app());
  ASSERT_TRUE(p.app().view().session.image_rect);
  drawn = *p.app().view().session.image_rect;
  EXPECT_NEAR(drawn.width(), 64, 1e-6);
  EXPECT_NEAR(drawn.height(), 48, 1e-6);
  p.app().handle_event(kova::ui::PointerMoveEvent{{drawn.left + 10.5, drawn.top + 47.2}});
  EXPECT_TRUE(eventually([&] {
    return pointer_at(server).find("X=10\nY=47\n") != std::string::npos;
  })) << pointer_at(server);

  // A typed key reaches the server: an X client there sees it pressed.
  KeyWitness keys(server.display());
  ASSERT_TRUE(keys.problem().empty()) << keys.problem();
  p.character(U'q', "q");
  EXPECT_EQ(keys.next_key_press(20s), std::optional<std::uint32_t>(0x71))
      << "the key never reached the X server";

  // Full screen drops the header; Disconnect ends it and returns to the list.
  p.paint();
  p.click_text("Fullscreen");
  EXPECT_TRUE(state.fullscreen);
  EXPECT_TRUE(p.drew("Esc to exit fullscreen"));
  EXPECT_FALSE(p.drew("Disconnect"));
  p.key(kova::ui::Key::Escape);
  EXPECT_FALSE(state.fullscreen);
  p.click_text("Disconnect");
  EXPECT_EQ(state.screen.kind, app::Screen::Kind::List);
  EXPECT_FALSE(state.session);
  ::unsetenv("REMOTE_LIVE_SESSIONS");
}

// The server goes away (or stalls) under a connected session: the window
// keeps answering, and the server sees the client leave without the user
// interface ever waiting for the worker.
TEST(SessionLive, VanishingOrStalledServerNeverHoldsTheWindow) {
  ::setenv("REMOTE_LIVE_SESSIONS", "1", 1);
  struct Case {
    const char* name;
    bool vanish;  // else: stall inside an update the worker is reading
  };
  for (const Case c : {Case{"server vanishes", true}, Case{"worker stuck in a read", false}}) {
    SCOPED_TRACE(c.name);
    std::promise<bool> left;
    rfb::testing::FakeServer server([&](rfb::testing::Peer& peer) {
      rfb::testing::handshake_none(peer, 4, 4);
      if (c.vanish) {
        left.set_value(true);
        peer.close();  // end of stream, with every request read
        return;
      }
      // A rectangle announced but never sent: the worker blocks in its read.
      peer.send(rfb::testing::Wire().u8(0).update(1).rect(0, 0, 4, 4, 0));
      left.set_value(peer.client_closes_within(20s));
    });
    auto desk = profile("Desk", ConnectionKind::Vnc, "127.0.0.1", server.port());
    Painted p(std::make_unique<app::RemoteApp>(std::vector{desk},
                                               std::vector<profiles::DiscoveredDevice>{}));
    auto& state = p.state();
    connect(p, desk);
    if (c.vanish) {
      ASSERT_TRUE(eventually([&] {
        return app::session_status(state)->kind != SessionStatus::Kind::Connecting &&
               app::session_status(state)->kind != SessionStatus::Kind::Connected;
      }));
      p.paint();
      EXPECT_TRUE(p.drew("Session ended")) << app::session_status(state)->text;
      EXPECT_TRUE(p.drew("The remote closed the session."));
      p.click_text("Back to list");
    } else {
      ASSERT_TRUE(
          eventually([&] { return app::session_status(state) == SessionStatus::connected(); }));
      p.paint();
      p.click_text("Disconnect");
    }
    EXPECT_EQ(state.screen.kind, app::Screen::Kind::List);
    EXPECT_FALSE(state.session);
    EXPECT_TRUE(p.drew("Desk"));
    // Only now may the server end; a user interface that had waited for the
    // stuck worker would not have got here before the server gave up.
    EXPECT_TRUE(left.get_future().get());
  }
  ::unsetenv("REMOTE_LIVE_SESSIONS");
}

// Keys and pointer events while the session is still being set up go
// nowhere: the server, once connected, receives no input at all.
TEST(SessionLive, InputBeforeTheSessionIsConnectedIsDropped) {
  ::setenv("REMOTE_LIVE_SESSIONS", "1", 1);
  std::promise<void> go;
  std::promise<std::vector<std::uint8_t>> input;
  rfb::testing::FakeServer server([&](rfb::testing::Peer& peer) {
    go.get_future().wait_for(20s);
    rfb::testing::handshake_none(peer, 4, 4);
    input.set_value(peer.next_input_message());  // empty: the client left first
  });
  auto desk = profile("Desk", ConnectionKind::Vnc, "127.0.0.1", server.port());
  Painted p(std::make_unique<app::RemoteApp>(std::vector{desk},
                                             std::vector<profiles::DiscoveredDevice>{}));
  auto& state = p.state();
  connect(p, desk);
  p.paint();
  ASSERT_TRUE(p.drew("Connecting…"));
  p.type("xy");
  p.key(kova::ui::Key::Enter);
  p.click(200, 150);  // above the card, where the picture will be
  go.set_value();
  ASSERT_TRUE(eventually([&] { return app::session_status(state) == SessionStatus::connected(); }));
  p.paint();
  p.click_text("Disconnect");
  EXPECT_TRUE(input.get_future().get().empty()) << "input reached the server";
  ::unsetenv("REMOTE_LIVE_SESSIONS");
}

// A server that shows a solid red 64 x 48 desktop and keeps the session
// open until the client goes.
std::unique_ptr<rfb::testing::FakeServer> red_desktop() {
  return std::make_unique<rfb::testing::FakeServer>([](rfb::testing::Peer& peer) {
    rfb::testing::handshake_none(peer, 64, 48);
    rfb::testing::Wire update;
    update.u8(0).update(1).rect(0, 0, 64, 48, 0);
    for (int i = 0; i < 64 * 48; ++i)
      update.pixel(255, 0, 0);
    peer.send(update);
    peer.client_closes_within(20s);
  });
}

// Whether any pixel of the canvas is the red desktop's.
bool shows_red(const kova::ui::Canvas& canvas) {
  for (int y = 0; y < 800; y += 4)
    for (int x = 0; x < 1280; x += 4)
      if (canvas.pixel(x, y) == 0xFFFF0000u) return true;
  return false;
}

TEST(SessionLive, APictureNeverOutlivesItsSession) {
  const auto desk = profile("Desk", ConnectionKind::Vnc, "127.0.0.1", 1);
  const auto shell = profile("Shell", ConnectionKind::Ssh, "127.0.0.1", 1);
  const auto tablet =
      profile("Tablet", ConnectionKind::Kova, endpoint_id(), 0, AuthMethod::DeviceIdentity);
  struct Case {
    const char* name;
    bool exhausts_identity;  // the VNC session takes the last generation
    std::function<void(Painted&)> next;
    const char* drawn;  // a text the next paint must show
  };
  const Case cases[] = {
      {"a connected device session", false,
       [&](Painted& p) {
         connect(p, tablet);
         app::deliver_device_event(p.state(), {p.state().session->device->stream_request(),
                                               kova::callstream::StreamStarted{64, 48}});
       },
       "Connected — waiting for the first framebuffer update…"},
      {"the same VNC connection again", false, [&](Painted& p) { connect(p, desk); },
       "Connecting…"},
      {"an SSH session", false,
       [&](Painted& p) {
         ::unsetenv("REMOTE_LIVE_SESSIONS");  // shown as unavailable, started nowhere
         connect(p, shell);
       },
       "Connection not available"},
      {"disconnect", false, [](Painted& p) { p.click_text("Disconnect"); }, "Desk"},
      {"disconnect with the identity exhausted", true,
       [](Painted& p) { p.click_text("Disconnect"); }, "Desk"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::setenv("REMOTE_LIVE_SESSIONS", "1", 1);
    const auto server = red_desktop();
    auto vnc = desk;
    vnc.port = server->port();
    Painted p(std::make_unique<app::RemoteApp>(std::vector{vnc, shell, tablet},
                                               std::vector<profiles::DiscoveredDevice>{}));
    if (c.exhausts_identity) p.state().session_generation = ~std::uint64_t{0} - 1;
    connect(p, vnc);
    ASSERT_TRUE(eventually([&] { return shows_red(paint(p.app())); }));
    p.paint();  // records the header's texts for the clicks

    c.next(p);
    const auto canvas = paint(p.app());
    EXPECT_FALSE(shows_red(canvas));
    EXPECT_FALSE(p.app().view().session.picture.has_picture());
    EXPECT_FALSE(p.app().view().session.image_rect);
    p.paint();
    EXPECT_TRUE(p.drew(c.drawn)) << c.drawn;
  }
  ::unsetenv("REMOTE_LIVE_SESSIONS");
}

}  // namespace
}  // namespace remote::ui::testing
