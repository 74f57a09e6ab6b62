// A VNC session to a real Xvnc, driven through the application as the user
// drives it (connect confirmation, paints, pointer events): the picture on
// the painted screen is the server's root colour, and the pointer lands on
// the framebuffer pixel under it in both scale modes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "../rfb/real_server.h"
#include "app/reducer.h"
#include "app/session.h"
#include "fixtures.h"

namespace remote::ui::testing {
namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& done, std::chrono::seconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return done();
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
  ASSERT_EQ(server.run_x_client({"xsetroot", "-solid", "#123456"}), 0) << "xsetroot failed";
  ::setenv("REMOTE_LIVE_SESSIONS", "1", 1);

  auto desk = profile("Desk", ConnectionKind::Vnc, "127.0.0.1", server.port());
  Painted p(std::make_unique<app::RemoteApp>(std::vector{desk},
                                             std::vector<profiles::DiscoveredDevice>{}));
  auto& state = p.state();
  app::apply_message(state, app::msg::RequestConnect{desk.id}, p.document());
  app::apply_message(state, app::msg::ConfirmPending{}, p.document());
  ASSERT_EQ(state.screen.kind, app::Screen::Kind::Session);

  // The root colour reaches the painted screen, in the middle of the body.
  std::uint32_t centre = 0;
  kova::ui::Rect drawn;
  const bool shown = eventually([&] {
    const auto canvas = paint(p.app());
    if (!p.app().view().session.image_rect) return false;
    drawn = *p.app().view().session.image_rect;
    centre = canvas.pixel(static_cast<int>(drawn.center_x()), static_cast<int>(drawn.center_y()));
    return centre == 0xFF123456u;
  });
  ASSERT_TRUE(shown) << "centre pixel " << std::hex << centre << ", status "
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

}  // namespace
}  // namespace remote::ui::testing
