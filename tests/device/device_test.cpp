#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/input.h"
#include "device/mailbox.h"
#include "device/session.h"
#include "media/decoder.h"

namespace {

using namespace remote::device;
using remote::SessionStatus;
using namespace std::chrono_literals;

TEST(DeviceKeys, ForwardsDigitsLettersAndTheListedKeysOnly) {
  struct Case {
    std::string_view key;
    std::optional<std::uint32_t> code;
  };
  const Case cases[] = {
      {"Digit1", 2},       {"Digit9", 10},     {"Digit0", 11},       {"KeyQ", 16},
      {"KeyP", 25},        {"KeyA", 30},       {"KeyL", 38},         {"KeyZ", 44},
      {"KeyM", 50},        {"Escape", 1},      {"Backspace", 14},    {"Tab", 15},
      {"Enter", 28},       {"ControlLeft", 29}, {"ShiftLeft", 42},   {"ShiftRight", 54},
      {"AltLeft", 56},     {"Space", 57},      {"ControlRight", 97}, {"AltRight", 100},
      {"ArrowUp", 103},    {"ArrowLeft", 105}, {"ArrowRight", 106},  {"ArrowDown", 108},
      {"Minus", {}},       {"F1", {}},         {"keya", {}},         {"Key", {}},
      {"KeyAA", {}},       {"Digit", {}},      {"DigitA", {}},       {"MetaLeft", {}},
      {"", {}},            {"Numpad1", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key));
    EXPECT_EQ(key_code(c.key), c.code);
  }
}

TEST(DevicePointer, MapsInsideThePictureAndClamps) {
  const PictureRect picture{100, 50, 1060, 590};  // 960 x 540 on screen
  const FrameSize full_hd{1920, 1080};
  auto middle = map_pointer(580, 320, picture, full_hd);
  ASSERT_TRUE(middle.has_value());
  EXPECT_DOUBLE_EQ(middle->x, 960);
  EXPECT_DOUBLE_EQ(middle->y, 540);
  auto fraction = map_pointer(100.25, 50, picture, full_hd);
  ASSERT_TRUE(fraction.has_value());
  EXPECT_DOUBLE_EQ(fraction->x, 0.5);  // fractions are not truncated
  EXPECT_EQ(map_pointer(100, 50, picture, full_hd), (PointerMove{0, 0}));
  EXPECT_FALSE(map_pointer(1060, 100, picture, full_hd));  // right edge is outside
  EXPECT_FALSE(map_pointer(200, 590, picture, full_hd));   // bottom edge is outside
  EXPECT_FALSE(map_pointer(99.9, 100, picture, full_hd));
  EXPECT_FALSE(map_pointer(100, 50, PictureRect{100, 50, 100, 590}, full_hd));
  auto last = map_pointer(1059.999, 589.999, picture, full_hd);
  ASSERT_TRUE(last.has_value());
  EXPECT_LE(last->x, 1919);
  EXPECT_LE(last->y, 1079);
  EXPECT_EQ(map_pointer(500, 300, picture, FrameSize{0, 0}), (PointerMove{0, 0}));
}

TEST(DeviceHost, OnlyAnExactEndpointIdIsAHost) {
  auto key = kova::p2p::EndpointKey::from_secret({});
  EXPECT_TRUE(parse_device_host(key.to_string()).has_value());
  for (std::string_view bad : {"not-a-key", "", "studio.local"}) {
    auto parsed = parse_device_host(bad);
    ASSERT_FALSE(parsed.has_value());
    EXPECT_EQ(parsed.error(), "Kova host must be an exact certified device endpoint id");
  }
  EXPECT_FALSE(parse_device_host(" " + key.to_string()).has_value());
}

TEST(TokenChannel, CapacityOneAndEndsNoticeEachOther) {
  auto [sender, receiver] = token_channel();
  EXPECT_EQ(sender.try_send(), TrySend::Sent);
  EXPECT_EQ(sender.try_send(), TrySend::Full);
  EXPECT_TRUE(receiver.receive());
  {
    auto [lone_sender, lone_receiver] = token_channel();
    { TokenReceiver gone = std::move(lone_receiver); }
    EXPECT_EQ(lone_sender.try_send(), TrySend::Closed);
  }
  EXPECT_EQ(sender.try_send(), TrySend::Sent);
  { TokenSender gone = std::move(sender); }
  EXPECT_TRUE(receiver.receive());   // the pending token is still delivered
  EXPECT_FALSE(receiver.receive());  // then the closed channel ends the loop
}

TEST(Slot, KeepsOnlyTheNewest) {
  Slot<int> slot;
  EXPECT_FALSE(slot.take());
  slot.put(1);
  slot.put(2);
  EXPECT_EQ(slot.take(), 2);
  EXPECT_FALSE(slot.take());
}

std::vector<std::uint8_t> encoded_frame(std::uint8_t shade) {
  auto encoder = kova::callstream::Encoder::create(64, 48, 30, 1);
  std::vector<std::uint8_t> rgba(64 * 48 * 4, shade);
  return *encoder->encode(rgba);
}

std::optional<DecodedFrame> wait_for_picture(DeviceSession& session) {
  for (int i = 0; i < 500; ++i) {
    if (auto picture = session.take_picture()) return picture;
    std::this_thread::sleep_for(10ms);
  }
  return std::nullopt;
}

TEST(DeviceSession, EventsDriveTheStatusAndFramesReachTheView) {
  auto session = DeviceSession::start(42);
  ASSERT_TRUE(session.has_value());
  EXPECT_EQ(session->stream_request(), 42u);
  EXPECT_EQ(session->status(), SessionStatus::connecting());
  session->handle(Started{1920, 1080});
  EXPECT_EQ(session->status(), SessionStatus::connected());
  EXPECT_EQ(session->frame_size().width, 1920u);

  session->handle(Frame{encoded_frame(200)});
  auto picture = wait_for_picture(*session);
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->width, 64u);
  EXPECT_EQ(session->frame_size().width, 64u);  // the picture's size is recorded
  EXPECT_NEAR(picture->pixels[0], 200, 12);

  session->handle(Frame{std::vector<std::uint8_t>(100, 0x33)});  // undecodable
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(session->take_picture().has_value());
  EXPECT_EQ(session->status(), SessionStatus::connected());

  session->handle(OtherEvent{});
  EXPECT_EQ(session->status(), SessionStatus::connecting());
}

TEST(DeviceSession, AGivenBackPictureCarriesTheNextOne) {
  auto session = DeviceSession::start(3);
  ASSERT_TRUE(session.has_value());
  session->handle(Frame{encoded_frame(40)});
  auto first = wait_for_picture(*session);
  ASSERT_TRUE(first.has_value());
  const std::uint8_t* storage = first->pixels.data();
  session->recycle(std::move(*first));
  session->handle(Frame{encoded_frame(220)});
  auto second = wait_for_picture(*session);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->pixels.data(), storage);
  EXPECT_NEAR(second->pixels[0], 220, 12);
}

TEST(DeviceSession, ClosedReasonsGiveTheirTextsAndAStartRevivesTheSession) {
  struct Case {
    Closed closed;
    const char* text;
  };
  const Case cases[] = {
      {{Closed::Reason::RevokedByTarget, ""}, "Target revoked workspace control"},
      {{Closed::Reason::TargetDisconnected, ""}, "Target disconnected"},
      {{Closed::Reason::RelayDisconnected, ""}, "Encrypted relay disconnected"},
      {{Closed::Reason::WorkspaceControlClosed, ""}, "Workspace control closed"},
      {{Closed::Reason::Other, "device rebooted"}, "device rebooted"},
  };
  auto session = DeviceSession::start(1);
  ASSERT_TRUE(session.has_value());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    session->handle(c.closed);
    EXPECT_EQ(session->status(), SessionStatus::failed(c.text));
  }
  session->handle(Started{10, 10});
  EXPECT_EQ(session->status(), SessionStatus::connected());
}

TEST(DeviceSession, AbsurdStartedSizesAreOnlyRememberedUntilAPictureArrives) {
  // A started event's size is never used to reserve memory: it only scales
  // the pointer until the first decoded picture brings its own size.
  const FrameSize sizes[] = {{0, 0}, {0xFFFFFFFF, 1}, {1, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF}};
  auto session = DeviceSession::start(5);
  ASSERT_TRUE(session.has_value());
  const PictureRect drawn{0, 0, 100, 100};
  for (const FrameSize size : sizes) {
    SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
    session->handle(Started{size.width, size.height});
    EXPECT_EQ(session->status(), SessionStatus::connected());
    EXPECT_EQ(session->frame_size().width, size.width);
    const auto corner = map_pointer(99.99, 99.99, drawn, session->frame_size());
    ASSERT_TRUE(corner.has_value());
    EXPECT_LE(corner->x, size.width == 0 ? 0.0 : size.width - 1.0);
    EXPECT_LE(corner->y, size.height == 0 ? 0.0 : size.height - 1.0);
  }
  session->handle(Frame{encoded_frame(90)});
  ASSERT_TRUE(wait_for_picture(*session).has_value());
  EXPECT_EQ(session->frame_size().width, 64u);
}

}  // namespace
