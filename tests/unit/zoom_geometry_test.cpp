#include "magnifier/zoom_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace huevex {
namespace {

TEST(PlanCopy, WholeSquaresForEachBoxSize) {
  const struct {
    double w, h;
    ZoomCopy want;  // for the point (500, 400)
  } cases[] = {
      {139, 71, {494, 397, 14, 8, 140, 80}},  // one more pixel each way, cut by the box
      {140, 70, {493, 397, 14, 7, 140, 70}},  // fits exactly
      {141, 73, {493, 397, 15, 8, 150, 80}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlanCopy({500, 400}, c.w, c.h, 10.0f), c.want) << c.w << "x" << c.h;
  }
}

TEST(PlanCopy, UsesThePointUnchangedNegativesIncluded) {
  EXPECT_EQ(PlanCopy({-5, -3}, 139, 71, 10.0f), (ZoomCopy{-11, -6, 14, 8, 140, 80}));
  EXPECT_EQ(PlanCopy({0, 0}, 139, 71, 10.0f), (ZoomCopy{-6, -3, 14, 8, 140, 80}));
}

TEST(PlanCopy, BadArithmeticRaisesTheRunTimeError) {
  EXPECT_THROW(PlanCopy({0, 0}, 139, 71, 0.0f), RuntimeError);           // division by zero
  EXPECT_THROW(PlanCopy({0, 0}, 3e9, 71, 10.0f), RuntimeError);          // past 32 bits
  EXPECT_THROW(PlanCopy({0, 0}, 139, 71, std::nanf("")), RuntimeError);  // no number
}

struct GridCase {
  double w, h;
  int vertical, horizontal;  // line counts
  int last_x, last_y;        // the last line of each kind
  Bar top, left, bottom, right;
};

TEST(PlanGrid, LinesAndAMarkerAroundTheCursorsSquare) {
  const GridCase cases[] = {
      {139, 71, 14, 8, 130, 70, {55, 25, 18, 5}, {55, 25, 5, 18}, {55, 40, 18, 5}, {70, 25, 5, 18}},
      {140, 70, 15, 8, 140, 70, {65, 25, 18, 5}, {65, 25, 5, 18}, {65, 40, 18, 5}, {80, 25, 5, 18}},
      {141, 73, 15, 8, 140, 70, {65, 25, 18, 5}, {65, 25, 5, 18}, {65, 40, 18, 5}, {80, 25, 5, 18}},
  };
  for (const GridCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h);
    const std::vector<Bar> bars = PlanGrid(c.w, c.h, 10.0f);
    ASSERT_EQ(bars.size(), static_cast<size_t>(c.vertical + c.horizontal + 4));
    const int h = static_cast<int>(c.h), w = static_cast<int>(c.w);
    for (int i = 0; i < c.vertical; ++i) EXPECT_EQ(bars[i], (Bar{10 * i, 0, 1, h}));
    for (int i = 0; i < c.horizontal; ++i) {
      EXPECT_EQ(bars[c.vertical + i], (Bar{0, 10 * i, w, 1}));
    }
    EXPECT_EQ(bars[c.vertical - 1].x, c.last_x);
    EXPECT_EQ(bars[c.vertical + c.horizontal - 1].y, c.last_y);
    const size_t m = bars.size() - 4;
    EXPECT_EQ(bars[m], c.top);
    EXPECT_EQ(bars[m + 1], c.left);
    EXPECT_EQ(bars[m + 2], c.bottom);
    EXPECT_EQ(bars[m + 3], c.right);
  }
}

TEST(PlanGrid, TheMarkersHoleIsExactlyTheCursorsSquare) {
  // Box 139 x 71: the cursor's pixel lands at (60..69, 30..39).
  const std::vector<Bar> bars = PlanGrid(139, 71, 10.0f);
  const auto painted = [&](int x, int y) {
    for (size_t i = bars.size() - 4; i < bars.size(); ++i) {
      const Bar& b = bars[i];
      if (x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height) return true;
    }
    return false;
  };
  for (int y = 20; y < 50; ++y) {
    for (int x = 50; x < 80; ++x) {
      const bool hole = x >= 60 && x <= 69 && y >= 30 && y <= 39;
      const bool frame = x >= 55 && x <= 74 && y >= 25 && y <= 44;
      const bool corner = x >= 73 && y >= 43;  // the small unpainted corner
      EXPECT_EQ(painted(x, y), frame && !hole && !corner) << x << "," << y;
    }
  }
}

TEST(PlanGrid, NothingBelowZoomThreeAndRangeErrorsAbove16Bits) {
  EXPECT_TRUE(PlanGrid(139, 71, 2.99f).empty());
  EXPECT_TRUE(PlanGrid(139, 71, std::nanf("")).empty());
  EXPECT_FALSE(PlanGrid(139, 71, 3.0f).empty());
  EXPECT_THROW(PlanGrid(32767.5, 71, 10.0f), RuntimeError);
  EXPECT_THROW(PlanGrid(139, -32769, 10.0f), RuntimeError);
}

TEST(PlanGrid, TheCounterAddsUpInSinglePrecision) {
  // A step of 3.3 in single precision reaches 33.0 as 32.999996, so the line
  // floors to 32, and the end 33 still admits it.
  const std::vector<Bar> bars = PlanGrid(33, 10, 3.3f);
  std::vector<int> xs;
  for (const Bar& b : bars) {
    if (b.width == 1 && b.y == 0 && b.height == 10) xs.push_back(b.x);
  }
  EXPECT_EQ(xs, (std::vector<int>{0, 3, 6, 9, 13, 16, 19, 23, 26, 29, 32}));
}

}  // namespace
}  // namespace huevex
