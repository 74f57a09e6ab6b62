#include <gtest/gtest.h>

#include <cmath>

#include "ui_toolkit/flap.h"

namespace kova::ui {
namespace {

constexpr bool narrow = true;
constexpr bool wide = false;

TEST(FlapState, FirstLayoutJumpsToTheAutomaticTarget) {
  struct Case {
    const char* name;
    bool narrow;
    double position;
  };
  for (const Case& c : {Case{"719 wide starts hidden", narrow, 0}, Case{"720 wide starts open", wide, 1}}) {
    SCOPED_TRACE(c.name);
    FlapState f;
    f.on_layout(c.narrow);
    EXPECT_EQ(f.position, c.position);
    EXPECT_EQ(f.is_open(c.narrow), c.position == 1);
    EXPECT_FALSE(f.moving(c.narrow, false));
  }
}

TEST(FlapState, CrossingTheBreakpointReturnsToAutomatic) {
  FlapState f;
  f.on_layout(narrow);
  f.toggle(narrow);
  EXPECT_EQ(f.mode, FlapMode::Open);
  EXPECT_TRUE(f.moving(narrow, false));
  f.on_layout(wide);
  EXPECT_EQ(f.mode, FlapMode::Automatic);
  EXPECT_TRUE(f.is_open(wide));
  f.on_layout(narrow);
  EXPECT_FALSE(f.is_open(narrow));
  // Staying on one side keeps an explicit choice.
  f.toggle(narrow);
  f.on_layout(narrow);
  EXPECT_EQ(f.mode, FlapMode::Open);
  f.toggle(narrow);
  EXPECT_EQ(f.mode, FlapMode::Closed);
}

TEST(FlapState, ReducedMotionJumpsWithoutFrames) {
  FlapState f;
  f.on_layout(wide);
  f.close();
  EXPECT_FALSE(f.moving(wide, true));
  EXPECT_FALSE(f.animate(wide, 0.016, true));
  EXPECT_EQ(f.position, 0);
  f.toggle(wide);
  EXPECT_FALSE(f.animate(wide, 0.016, true));
  EXPECT_EQ(f.position, 1);
}

TEST(FlapState, AnimationStepIsCappedAndSettles) {
  struct Case {
    const char* name;
    double dt;
    double expected;
  };
  const double capped = 1 - std::exp(-1.4);
  const Case cases[] = {
      {"a frame", 1.0 / 60, 1 - std::exp(-14.0 / 60)},
      {"a stalled frame of five seconds", 5.0, capped},
      {"exactly the cap", 0.1, capped},
      {"a clock that went backwards", -3, 0},
      {"not a number", std::nan(""), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FlapState f;
    f.on_layout(narrow);
    f.toggle(narrow);
    f.animate(narrow, c.dt, false);
    EXPECT_NEAR(f.position, c.expected, 1e-12);
  }
  FlapState f;
  f.on_layout(narrow);
  f.toggle(narrow);
  int frames = 0;
  while (f.animate(narrow, 1.0 / 60, false)) {
    ASSERT_LT(++frames, 200);
    ASSERT_LT(f.position, 1);
  }
  EXPECT_EQ(f.position, 1);
  EXPECT_FALSE(f.moving(narrow, false));
}

TEST(FlapState, EasedFractionsRunFromZeroToOne) {
  FlapState f;
  double last_reveal = -1;
  double last_slide = -1;
  for (int i = 0; i <= 100; ++i) {
    f.position = i / 100.0;
    EXPECT_GE(f.reveal(), last_reveal);
    EXPECT_GE(f.slide(), last_slide);
    EXPECT_GE(f.slide(), f.reveal() - 1e-12) << "the rail leads the content";
    last_reveal = f.reveal();
    last_slide = f.slide();
  }
  f.position = 0;
  EXPECT_EQ(f.reveal(), 0);
  EXPECT_EQ(f.slide(), 0);
  f.position = 1;
  EXPECT_EQ(f.reveal(), 1);
  EXPECT_EQ(f.slide(), 1);
}

}  // namespace
}  // namespace kova::ui
