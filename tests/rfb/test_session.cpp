// The session worker against the scripted loopback server: status, frames,
// input, update requests, failures and the end of the worker.
#include <gtest/gtest.h>

#include <future>

#include "fake_server.h"
#include "rfb/session.h"

namespace remote::rfb {
namespace {

using namespace std::chrono_literals;
using testing::eventually;
using testing::FakeServer;
using testing::handshake_none;
using testing::Peer;
using testing::Wire;

using Kind = SessionStatus::Kind;

VncSession start(const FakeServer& server, std::optional<std::string> password = std::nullopt) {
  auto s = VncSession::start("127.0.0.1", server.port(), std::move(password));
  EXPECT_TRUE(s.has_value());
  return std::move(*s);
}

Rgba pixel(const VncFrame& f, std::size_t x, std::size_t y) {
  Rgba p;
  std::copy_n(f.pixels->data() + (y * f.width + x) * 4, 4, p.begin());
  return p;
}

bool status_is(const VncSession& s, const SessionStatus& expected) {
  return s.status() == expected;
}

TEST(Session, PicturesInputAndEnd) {
  std::promise<void> frame_checked;
  FakeServer server([&](Peer& peer) {
    handshake_none(peer, 4, 2);
    // RRE background red with one blue pixel, then a CopyRect of the top-left
    // 2x1 to the second row, then one Raw pixel.
    peer.send(Wire()
                  .u8(0)
                  .update(3)
                  .rect(0, 0, 4, 2, 2)
                  .u32(1)
                  .pixel(255, 0, 0)
                  .pixel(0, 0, 255)
                  .u16(1)
                  .u16(0)
                  .u16(1)
                  .u16(1)
                  .rect(0, 1, 2, 1, 1)
                  .u16(0)
                  .u16(0)
                  .rect(3, 1, 1, 1, 0)
                  .pixel(0, 255, 0));
    EXPECT_EQ(peer.next_update_request()[1], 1);  // incremental from now on
    EXPECT_EQ(peer.next_input_message(), (Wire().u8(4).u8(1).u16(0).u32(0x41).bytes));
    EXPECT_EQ(peer.next_input_message(), (Wire().u8(4).u8(0).u16(0).u32(0x41).bytes));
    EXPECT_EQ(peer.next_input_message(), (Wire().u8(5).u8(5).u16(3).u16(1).bytes));
    frame_checked.get_future().wait_for(10s);
    // Bell, ServerCutText and colour-map entries change nothing.
    peer.send(
        Wire().u8(2).u8(3).zeros(3).u32(10).text("0123456789").u8(1).u8(0).u16(0).u16(2).zeros(12));
    peer.send(Wire().u8(0).update(1).rect(0, 0, 1, 1, 0).pixel(1, 2, 3));
    peer.next_update_request();
    peer.close();
  });
  VncSession session = start(server);
  std::optional<VncFrame> first;
  ASSERT_TRUE(eventually([&] {
    if (auto f = session.take_frame(); f && f->generation == 1) first = f;
    return first.has_value();
  }));
  EXPECT_EQ(session.status(), SessionStatus::connected());
  EXPECT_EQ(session.frame_size(), (std::pair<std::uint16_t, std::uint16_t>(4, 2)));
  EXPECT_FALSE(session.take_frame());  // nothing new
  const Rgba red{255, 0, 0, 255}, blue{0, 0, 255, 255}, green{0, 255, 0, 255};
  const Rgba expected[2][4] = {{red, blue, red, red}, {red, blue, red, green}};
  for (std::size_t y = 0; y < 2; ++y) {
    for (std::size_t x = 0; x < 4; ++x)
      EXPECT_EQ(pixel(*first, x, y), expected[y][x]);
  }

  ASSERT_TRUE(session.send(VncKeyEvent{true, 0x41}));
  ASSERT_TRUE(session.send(VncKeyEvent{false, 0x41}));
  ASSERT_TRUE(session.send(VncPointerEvent{5, 3, 1}));
  frame_checked.set_value();

  std::optional<VncFrame> second;
  ASSERT_TRUE(eventually([&] {
    if (auto f = session.take_frame()) second = f;
    return second && second->generation == 2;
  }));
  EXPECT_EQ(pixel(*second, 0, 0), (Rgba{1, 2, 3, 255}));
  EXPECT_EQ(pixel(*first, 0, 0), red);  // the held snapshot never changes
  ASSERT_TRUE(eventually([&] { return status_is(session, SessionStatus::ended()); }));
  EXPECT_EQ(session.send(VncKeyEvent{true, 1}).error(), input_closed_text);
  EXPECT_EQ(session.take_frame(), std::nullopt);
  EXPECT_EQ(session.frame_size(), (std::pair<std::uint16_t, std::uint16_t>(4, 2)));
}

// The framebuffer is copied before an update only while the view still holds
// the previous picture; otherwise the update paints in place.
TEST(Session, CopyOnWriteOnlyWhileThePictureIsHeld) {
  std::promise<void> second, third;
  FakeServer server([&](Peer& peer) {
    handshake_none(peer, 2, 1);
    const auto update = [&](std::uint8_t v) {
      peer.send(Wire().u8(0).update(1).rect(0, 0, 2, 1, 0).pixel(v, v, v).pixel(v, v, v));
      peer.next_update_request();
    };
    update(1);
    second.get_future().wait_for(10s);
    update(2);
    third.get_future().wait_for(10s);
    update(3);
    peer.client_closes_within(10s);
  });
  VncSession session = start(server);
  const auto take_generation = [&](std::uint64_t g) {
    std::optional<VncFrame> frame;
    EXPECT_TRUE(eventually([&] {
      if (auto f = session.take_frame()) frame = f;
      return frame && frame->generation == g;
    }));
    return frame;
  };
  const PixelBuffer* first_buffer = take_generation(1)->pixels.get();  // dropped at once
  second.set_value();
  const auto held = take_generation(2);
  ASSERT_TRUE(held);
  EXPECT_EQ(held->pixels.get(), first_buffer);  // painted in place
  third.set_value();
  const auto latest = take_generation(3);
  ASSERT_TRUE(latest);
  EXPECT_NE(latest->pixels.get(), held->pixels.get());  // copied: the view held gen 2
  EXPECT_EQ(pixel(*held, 1, 0), (Rgba{2, 2, 2, 255}));
  EXPECT_EQ(pixel(*latest, 1, 0), (Rgba{3, 3, 3, 255}));
}

TEST(Session, FailureTexts) {
  const auto v38 = Wire().text("RFB 003.008\n");
  const struct {
    const char* name;
    std::function<void(Peer&)> script;
    SessionStatus expected;
  } cases[] = {
      {"closed during handshake",
       [&](Peer& p) {
         p.send(v38);
         p.recv(12);
       },
       SessionStatus::failed("failed to fill whole buffer")},
      {"bad version", [](Peer& p) { p.send("RFB 003.889\n"); },
       SessionStatus::failed("bad ProtocolVersion")},
      {"3.7 auth failure closes",
       [&](Peer& p) {
         p.send("RFB 003.007\n");
         p.recv(12);
         p.send(Wire().u8(1).u8(2));
         p.recv(1);
         p.send(Wire().zeros(16));
         p.recv(16);
         p.send(Wire().u32(1));
       },
       SessionStatus::failed("authentication failed")},
      {"3.3 rejection",
       [](Peer& p) {
         p.send("RFB 003.003\n");
         p.recv(12);
         p.send(Wire().u32(0).u32(4).text("busy"));
       },
       SessionStatus::failed("unhandled security type 0")},
      {"oversized framebuffer",
       [&](Peer& p) {
         p.send(v38);
         p.recv(12);
         p.send(Wire().u8(1).u8(1).u32(0));
         p.recv(2);
         p.send(testing::server_init(4097, 4096));
       },
       SessionStatus::failed("RFB framebuffer dimensions exceed the 16 megapixel limit")},
      {"unknown message",
       [](Peer& p) {
         handshake_none(p, 2, 2);
         p.send(Wire().u8(7));
         p.client_closes_within(10s);
       },
       SessionStatus::failed("unknown server message 7")},
      {"too many rectangles",
       [](Peer& p) {
         handshake_none(p, 2, 2);
         p.send(Wire().u8(0).update(4097));
         p.client_closes_within(10s);
       },
       SessionStatus::failed("RFB update has too many rectangles")},
      {"raw too large",
       [](Peer& p) {
         handshake_none(p, 2, 2);
         p.send(Wire().u8(0).update(1).rect(0, 0, 4097, 4096, 0));
         p.client_closes_within(10s);
       },
       SessionStatus::failed("RFB raw rectangle is too large")},
      {"closed mid-update after connecting",
       [](Peer& p) {
         handshake_none(p, 2, 2);
         // Long enough for a periodic update request to arrive unread.
         std::this_thread::sleep_for(700ms);
         p.send(Wire().u8(0).update(1).rect(0, 0, 2, 2, 0).pixel(1, 1, 1));
       },
       SessionStatus::ended()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server(c.script);
    VncSession session = start(server);
    EXPECT_TRUE(eventually([&] { return status_is(session, c.expected); }))
        << static_cast<int>(session.status().kind) << " " << session.status().text;
  }
}

TEST(Session, ConnectionRefused) {
  auto session = VncSession::start("127.0.0.1", testing::closed_port(), std::nullopt);
  ASSERT_TRUE(session);
  EXPECT_TRUE(
      eventually([&] { return status_is(*session, SessionStatus::failed("Connection refused")); }));
}

TEST(Session, VncAuthenticationOnOlderVersions) {
  for (const char* version : {"RFB 003.003\n", "RFB 003.007\n"}) {
    SCOPED_TRACE(version);
    const bool v33 = version[10] == '3';
    FakeServer server([&](Peer& p) {
      p.send(version);
      p.recv(12);
      if (v33) {
        p.send(Wire().u32(2));
      } else {
        p.send(Wire().u8(2).u8(16).u8(2));
        EXPECT_EQ(p.recv(1), std::vector<std::uint8_t>{2});
      }
      p.send(Wire().zeros(16));
      // DES-ECB of two zero blocks under the bit-reversed key of "password".
      EXPECT_EQ(p.recv(16),
                (Wire().u32(0xff97502e).u32(0x9422f089).u32(0xff97502e).u32(0x9422f089).bytes));
      p.send(Wire().u32(0));
      EXPECT_EQ(p.recv(1), std::vector<std::uint8_t>{1});
      p.send(testing::server_init(1, 1));
      p.recv(20 + 16 + 10);
      p.client_closes_within(10s);
    });
    VncSession session = start(server, "password");
    EXPECT_TRUE(eventually([&] { return status_is(session, SessionStatus::connected()); }));
  }
}

TEST(Session, SilentServerStillGetsUpdateRequests) {
  std::promise<int> requests;
  FakeServer server([&](Peer& p) {
    handshake_none(p, 2, 2);
    for (int i = 0; i < 2; ++i) {
      auto m = p.next_update_request();
      EXPECT_EQ(m, (Wire().u8(3).u8(1).u16(0).u16(0).u16(2).u16(2).bytes));
    }
    requests.set_value(p.update_requests);
  });
  VncSession session = start(server);
  auto got = requests.get_future();
  ASSERT_EQ(got.wait_for(20s), std::future_status::ready);
  EXPECT_EQ(got.get(), 3);  // the full request and two incremental ones
}

TEST(Session, FullInputQueueRefusesWithoutBlocking) {
  std::promise<void> queued;
  std::promise<int> keys;
  FakeServer server([&](Peer& p) {
    // The worker does not look at the queue before the handshake is done, so
    // a silent server lets the queue fill up.
    queued.get_future().wait_for(10s);
    handshake_none(p, 2, 2);
    int n = 0;
    while (n < 256 && !p.next_input_message().empty())
      ++n;
    keys.set_value(n);
    p.client_closes_within(10s);
  });
  VncSession session = start(server);
  EXPECT_EQ(session.frame_size(), std::nullopt);  // nothing published yet
  EXPECT_EQ(session.take_frame(), std::nullopt);
  EXPECT_EQ(session.status(), SessionStatus::connecting());
  int accepted = 0;
  int busy = 0;
  for (int i = 0; i < 300; ++i) {
    auto r = session.send(VncKeyEvent{true, 0x61});
    if (r) {
      ++accepted;
    } else {
      EXPECT_EQ(r.error(), input_busy_text);
      ++busy;
    }
  }
  EXPECT_EQ(accepted, 256);
  EXPECT_EQ(busy, 44);
  queued.set_value();
  // Every accepted key reaches the server once the session is up.
  auto n = keys.get_future();
  ASSERT_EQ(n.wait_for(20s), std::future_status::ready);
  EXPECT_EQ(n.get(), 256);
}

TEST(Session, DroppingTheHandleEndsTheWorker) {
  const struct {
    const char* name;
    bool connect_first;
    std::vector<std::uint8_t> stall_after;  // sent after the handshake
  } cases[] = {
      {"during a silent handshake", false, {}},
      {"in the message loop", true, {}},
      {"inside a stalled update", true, Wire().u8(0).update(1).rect(0, 0, 2, 2, 0).bytes},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::promise<bool> closed;
    std::promise<void> ready;
    FakeServer server([&](Peer& p) {
      if (c.connect_first) handshake_none(p, 2, 2);
      p.send(c.stall_after);
      ready.set_value();
      closed.set_value(p.client_closes_within(10s));
    });
    {
      VncSession session = start(server);
      ASSERT_EQ(ready.get_future().wait_for(10s), std::future_status::ready);
      if (c.connect_first) {
        ASSERT_TRUE(eventually([&] { return status_is(session, SessionStatus::connected()); }));
      }
    }
    EXPECT_TRUE(closed.get_future().get());
  }
}

}  // namespace
}  // namespace remote::rfb
