#include <gtest/gtest.h>

#include "ui_toolkit/tooltip.h"

namespace kova::ui {
namespace {

using namespace std::chrono_literals;
using Clock = TooltipHost::Clock;

const TooltipTarget nav{{0, 0, 40, 40}, "Open navigation"};
const TooltipTarget add{{0, 50, 40, 90}, "Add connection (Ctrl+N)"};

TEST(TooltipHost, ShowsAfterTheDelay) {
  TooltipHost host;
  Clock::time_point t0{};
  EXPECT_TRUE(host.set_target(nav, t0));
  EXPECT_TRUE(host.pending());
  EXPECT_EQ(host.due(), t0 + TooltipHost::show_delay);
  EXPECT_FALSE(host.advance(t0 + TooltipHost::show_delay - 1ms));
  EXPECT_EQ(host.shown(), nullptr);
  // Moving inside the same target keeps the timing.
  EXPECT_FALSE(host.set_target(nav, t0 + 400ms));
  EXPECT_TRUE(host.advance(t0 + TooltipHost::show_delay));
  ASSERT_NE(host.shown(), nullptr);
  EXPECT_EQ(host.shown()->text, "Open navigation");
  EXPECT_FALSE(host.pending());
  EXPECT_FALSE(host.advance(t0 + 10s));
  // Leaving every target hides it.
  EXPECT_TRUE(host.set_target(std::nullopt, t0 + 11s));
  EXPECT_EQ(host.shown(), nullptr);
  EXPECT_FALSE(host.pending());
  EXPECT_FALSE(host.set_target(std::nullopt, t0 + 12s));
}

TEST(TooltipHost, DismissedTargetStaysQuietUntilLeft) {
  TooltipHost host;
  Clock::time_point t0{};
  host.set_target(nav, t0);
  host.advance(t0 + 1s);
  EXPECT_TRUE(host.dismiss());
  EXPECT_EQ(host.shown(), nullptr);
  EXPECT_FALSE(host.dismiss());
  EXPECT_FALSE(host.set_target(nav, t0 + 2s));
  EXPECT_FALSE(host.pending());
  EXPECT_TRUE(host.set_target(add, t0 + 3s));
  EXPECT_TRUE(host.pending());
  EXPECT_EQ(host.shown(), nullptr) << "a dismissal ends the warm hand-over";
  host.set_target(std::nullopt, t0 + 4s);
  EXPECT_TRUE(host.set_target(nav, t0 + 5s)) << "leaving the target re-arms it";
}

TEST(TooltipHost, NeighbourShowsAtOnceWhileWarm) {
  TooltipHost host;
  Clock::time_point t0{};
  host.set_target(nav, t0);
  host.advance(t0 + 1s);
  EXPECT_TRUE(host.set_target(add, t0 + 1100ms));
  ASSERT_NE(host.shown(), nullptr);
  EXPECT_EQ(host.shown()->text, add.text);
  // After a longer gap the delay applies again.
  host.set_target(std::nullopt, t0 + 2s);
  host.set_target(nav, t0 + 3s);
  EXPECT_EQ(host.shown(), nullptr);
  EXPECT_TRUE(host.pending());
}

}  // namespace
}  // namespace kova::ui
