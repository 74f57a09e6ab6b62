// The session client against TigerVNC's Xvnc, started by each test on a free
// loopback port, checked pixel by pixel.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>

#include <fstream>

#include "fake_server.h"
#include "real_server.h"
#include "rfb/capture.h"
#include "rfb/session.h"

namespace remote::rfb {
namespace {

using namespace std::chrono_literals;
using testing::eventually;
using testing::Xvnc;

#define REQUIRE_SERVER(server) ASSERT_EQ((server).problem(), "")

// The first picture after the first applied update.
std::optional<VncFrame> first_picture(VncSession& s) {
  std::optional<VncFrame> frame;
  eventually(
      [&] {
        if (auto f = s.take_frame(); f && f->generation >= 1) frame = f;
        return frame.has_value() || s.status().kind == SessionStatus::Kind::Failed;
      },
      20s);
  return frame;
}

// Every pixel of `f` is `colour`; reports the first that is not.
::testing::AssertionResult all_pixels(const VncFrame& f, Rgba colour) {
  for (std::size_t i = 0; i < f.pixels->size(); i += 4) {
    Rgba p{(*f.pixels)[i], (*f.pixels)[i + 1], (*f.pixels)[i + 2], (*f.pixels)[i + 3]};
    if (p != colour) {
      return ::testing::AssertionFailure() << "pixel " << i / 4 << " is " << int{p[0]} << ","
                                           << int{p[1]} << "," << int{p[2]} << "," << int{p[3]};
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(Xvnc, SecurityTypesAndPasswords) {
  const struct {
    const char* name;
    const char* types;
    const char* server_password;
    std::optional<std::string> password;
    const char* failure;  // nullptr: the root colour arrives
  } cases[] = {
      {"None", "None", "", std::nullopt, nullptr},
      {"VncAuth", "VncAuth", "sesame12", "sesame12", nullptr},
      {"VncAuth uses only 8 bytes", "VncAuth", "sesame12", "sesame12-and-more", nullptr},
      {"both offered: None wins over a wrong password", "VncAuth,None", "sesame12", "wrong",
       nullptr},
      {"wrong password", "VncAuth", "sesame12", "wrong", "Authentication failure"},
      {"no password", "VncAuth", "sesame12", std::nullopt, "Authentication failure"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Xvnc server({c.types, c.server_password, 32, 24});
    REQUIRE_SERVER(server);
    ASSERT_EQ(server.run_x_client({"xsetroot", "-solid", "#123456"}), 0) << "xsetroot failed";
    auto session = VncSession::start("127.0.0.1", server.port(), c.password);
    ASSERT_TRUE(session);
    if (c.failure == nullptr) {
      auto frame = first_picture(*session);
      ASSERT_TRUE(frame) << session->status().text;
      EXPECT_EQ(frame->width, 32);
      EXPECT_EQ(frame->height, 24);
      EXPECT_TRUE(all_pixels(*frame, {0x12, 0x34, 0x56, 0xFF}));
      EXPECT_EQ(session->status(), SessionStatus::connected());
    } else {
      EXPECT_TRUE(
          eventually([&] { return session->status().kind == SessionStatus::Kind::Failed; }, 20s));
      EXPECT_EQ(session->status().text, c.failure);
    }
  }
}

TEST(Xvnc, UpdatesPointerAndServerDeath) {
  Xvnc server({"None", "", 48, 32});
  REQUIRE_SERVER(server);
  ASSERT_EQ(server.run_x_client({"xsetroot", "-solid", "#000080"}), 0) << "xsetroot failed";
  auto session = VncSession::start("127.0.0.1", server.port(), std::nullopt);
  ASSERT_TRUE(session);
  auto frame = first_picture(*session);
  ASSERT_TRUE(frame) << session->status().text;
  EXPECT_TRUE(all_pixels(*frame, {0, 0, 0x80, 0xFF}));

  // A change on the server arrives through the incremental requests.
  ASSERT_EQ(server.run_x_client({"xsetroot", "-solid", "#ff8000"}), 0);
  std::optional<VncFrame> changed;
  EXPECT_TRUE(eventually(
      [&] {
        if (auto f = session->take_frame()) changed = f;
        return changed && all_pixels(*changed, {0xFF, 0x80, 0, 0xFF});
      },
      20s));
  EXPECT_TRUE(all_pixels(*frame, {0, 0, 0x80, 0xFF}));  // the held picture is untouched

  // Pointer events move the server's pointer.
  ASSERT_TRUE(session->send(VncPointerEvent{0, 17, 9}));
  const auto where = testing::make_temp_dir() / "where";
  EXPECT_TRUE(eventually(
      [&] {
        server.run_x_client({"xdotool", "getmouselocation", "--shell"}, where);
        std::ifstream in(where);
        std::string all((std::istreambuf_iterator<char>(in)), {});
        return all.find("X=17\nY=9\n") != std::string::npos;
      },
      20s))
      << "xdotool never saw the pointer at 17,9";
  std::filesystem::remove_all(where.parent_path());

  // A killed server's kernel ends the stream; if one of our requests was still
  // unread there, it resets the connection instead, which is a failure.
  server.kill(SIGKILL);
  EXPECT_TRUE(eventually(
      [&] {
        const SessionStatus s = session->status();
        return s == SessionStatus::ended() ||
               s == SessionStatus::failed("Connection reset by peer");
      },
      20s))
      << session->status().text;
}

TEST(X11vnc, NoneAndVncAuthentication) {
  const struct {
    const char* name;
    const char* server_password;
    std::optional<std::string> password;
    const char* failure;
  } cases[] = {
      {"None", "", std::nullopt, nullptr},
      {"VncAuth", "open-up", "open-up", nullptr},
      {"wrong password", "open-up", "closed", "password check failed!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::X11vnc server(c.server_password, 24, 16);
    REQUIRE_SERVER(server);
    ASSERT_EQ(server.run_x_client({"xsetroot", "-solid", "#a0b0c0"}), 0) << "xsetroot failed";
    auto session = VncSession::start("127.0.0.1", server.port(), c.password);
    ASSERT_TRUE(session);
    if (c.failure == nullptr) {
      // x11vnc polls the screen, so the new root colour may come a picture later.
      std::optional<VncFrame> frame;
      EXPECT_TRUE(eventually(
          [&] {
            if (auto f = session->take_frame(); f && f->generation >= 1) frame = f;
            return frame && all_pixels(*frame, {0xA0, 0xB0, 0xC0, 0xFF});
          },
          20s))
          << session->status().text;
      ASSERT_TRUE(frame);
      EXPECT_EQ(frame->width, 24);
    } else {
      EXPECT_TRUE(
          eventually([&] { return session->status().kind == SessionStatus::Kind::Failed; }, 20s));
      EXPECT_EQ(session->status().text, c.failure);
    }
  }
}

// Reads a PNG back with libpng's simplified interface.
std::optional<std::vector<std::uint8_t>> read_png(const std::filesystem::path& file,
                                                  std::uint32_t& w, std::uint32_t& h) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return std::nullopt;
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return std::nullopt;
  w = image.width;
  h = image.height;
  return pixels;
}

TEST(Xvnc, CaptureCommandWritesThePicture) {
  Xvnc server({"VncAuth", "capture1", 40, 20});
  REQUIRE_SERVER(server);
  ASSERT_EQ(server.run_x_client({"xsetroot", "-solid", "#20c040"}), 0);
  const auto dir = testing::make_temp_dir();
  const std::string out = (dir / "shot.png").string();
  const std::string port = std::to_string(server.port());
  ::setenv("REMOTE_VNC_PASSWORD", "capture1", 1);
  const std::string_view args[] = {"127.0.0.1", port, out};
  EXPECT_EQ(vnc_capture_command(args), 0);
  ::unsetenv("REMOTE_VNC_PASSWORD");
  std::uint32_t w = 0, h = 0;
  auto pixels = read_png(out, w, h);
  ASSERT_TRUE(pixels);
  EXPECT_EQ(w, 40u);
  EXPECT_EQ(h, 20u);
  for (std::size_t i = 0; i < pixels->size(); i += 4) {
    ASSERT_EQ((std::array{(*pixels)[i], (*pixels)[i + 1], (*pixels)[i + 2], (*pixels)[i + 3]}),
              (std::array<std::uint8_t, 4>{0x20, 0xC0, 0x40, 0xFF}))
        << "pixel " << i / 4;
  }
  // A failing session: the text goes to stderr and the exit status is 1.
  const std::string refused = std::to_string(testing::closed_port());
  const std::string_view bad[] = {"127.0.0.1", refused, out};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(vnc_capture_command(bad), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Connection refused\n");
  const std::string_view usage[] = {"127.0.0.1", "notaport", out};
  EXPECT_EQ(vnc_capture_command(usage), 2);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace remote::rfb
