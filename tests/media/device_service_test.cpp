#include "media/device_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "media/decoder.h"

namespace {

using namespace kova::callstream;
using namespace std::chrono_literals;

EndpointBytes endpoint(std::uint8_t fill) {
  EndpointBytes bytes{};
  bytes.fill(fill);
  return bytes;
}

struct Fixture {
  std::atomic<int> wakes{0};
  std::unique_ptr<DeviceStreamService> service = make_demo_device_service(
      DemoDeviceOptions{{endpoint(1)}, 64, 48, 30, 50}, [this] { wakes.fetch_add(1); });

  // Collects events until `done` holds or a generous deadline passes.
  template <typename Done>
  std::vector<StreamEvent> collect(Done done) {
    std::vector<StreamEvent> all;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done(all) && std::chrono::steady_clock::now() < deadline) {
      for (auto& event : service->take_events()) all.push_back(std::move(event));
      std::this_thread::sleep_for(5ms);
    }
    return all;
  }
};

template <typename T>
int count_of(const std::vector<StreamEvent>& events) {
  return static_cast<int>(std::count_if(events.begin(), events.end(), [](const StreamEvent& e) {
    return std::holds_alternative<T>(e.body);
  }));
}

TEST(DemoDeviceService, KnownDeviceConsentsStartsAndStreamsDecodablePictures) {
  Fixture f;
  f.service->submit(OpenStream{endpoint(1), 7});
  auto events = f.collect([](const auto& all) { return count_of<StreamFrame>(all) >= 2; });
  ASSERT_GE(events.size(), 3u);
  EXPECT_TRUE(std::holds_alternative<StreamWaiting>(events[0].body));
  ASSERT_TRUE(std::holds_alternative<StreamStarted>(events[1].body));
  EXPECT_EQ(std::get<StreamStarted>(events[1].body).width, 64u);
  EXPECT_EQ(std::get<StreamStarted>(events[1].body).height, 48u);
  Decoder decoder;
  int pictures = 0;
  for (const auto& event : events) {
    EXPECT_EQ(event.request, 7u);
    if (auto* frame = std::get_if<StreamFrame>(&event.body)) {
      auto picture = decoder.decode(frame->bytes);
      if (picture) {
        ++pictures;
        EXPECT_EQ(picture->width, 64u);
      }
    }
  }
  EXPECT_GE(pictures, 1);
  EXPECT_GT(f.wakes.load(), 0);
  f.service->submit(CloseStream{7});
}

TEST(DemoDeviceService, UnknownEndpointIsClosedBecauseNoRelayIsConfigured) {
  Fixture f;
  f.service->submit(OpenStream{endpoint(2), 3});
  auto events = f.service->take_events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].request, 3u);
  auto* closed = std::get_if<StreamClosed>(&events[0].body);
  ASSERT_NE(closed, nullptr);
  EXPECT_EQ(closed->reason, CloseReason::Other);
  EXPECT_EQ(closed->text, no_relay_text);
}

TEST(DemoDeviceService, CloseStopsTheStreamAndPendingFramesAreCoalesced) {
  Fixture f;
  f.service->submit(OpenStream{endpoint(1), 9});
  // Let several frames be produced without taking them: only one may wait.
  f.collect([](const auto& all) { return count_of<StreamStarted>(all) == 1; });
  std::this_thread::sleep_for(300ms);
  auto pending = f.service->take_events();
  EXPECT_LE(count_of<StreamFrame>(pending), 1);
  f.service->submit(CloseStream{9});
  std::this_thread::sleep_for(200ms);
  f.service->take_events();
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(f.service->take_events().empty());
}

TEST(DemoDeviceService, DroppingTheServiceWhileStreamingIsSafe) {
  Fixture f;
  f.service->submit(OpenStream{endpoint(1), 1});
  f.service->submit(OpenStream{endpoint(1), 2});
  f.collect([](const auto& all) { return count_of<StreamFrame>(all) >= 1; });
  f.service.reset();
  // Stream threads notice on their own; give them time to wind down under the sanitizers.
  std::this_thread::sleep_for(200ms);
}

}  // namespace
