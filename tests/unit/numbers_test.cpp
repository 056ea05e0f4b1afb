#include "shell/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace huevex {
namespace {

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour) {
  const struct {
    double in, out;
  } cases[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},   {3.5, 4},          {-0.5, 0},  {-1.5, -2},
               {-2.5, -2}, {26.5, 26},  {41.5, 42}, {27.5, 28},        {42.5, 42}, {0.49, 0},
               {0.51, 1},  {-0.51, -1}, {69.5, 70}, {1e15 + 0.5, 1e15}};
  for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
}

TEST(Floor, IsTheGreatestIntegerNotAbove) {
  EXPECT_EQ(Floor(6.95), 6);
  EXPECT_EQ(Floor(-0.5), -1);
  EXPECT_EQ(Floor(-7), -7);
  EXPECT_EQ(Floor(7), 7);
}

TEST(Narrowing, RoundsThenChecksTheRange) {
  EXPECT_EQ(CInt(32767.49), 32767);
  EXPECT_EQ(CInt(-32768.5), -32768);  // the tie goes to -32768, which fits
  EXPECT_EQ(CInt(139.0), 139);
  EXPECT_EQ(CLng(-2147483648.5), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(CLng(2147483646.5), 2147483646);
}

TEST(Narrowing, OutOfRangeRaisesOverflow) {
  const double too_big[] = {32767.5, 40000, -32768.6, -32769};
  for (double v : too_big) {
    try {
      CInt(v);
      ADD_FAILURE() << v << " fitted";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number, err::kOverflow);
      EXPECT_EQ(e.description, "Overflow");
    }
  }
  EXPECT_THROW(CLng(2147483647.5), RuntimeError);
  EXPECT_THROW(CLng(-2147483649.0), RuntimeError);
  EXPECT_THROW(CLng(std::numeric_limits<double>::infinity()), RuntimeError);
  EXPECT_THROW(CLng(std::nan("")), RuntimeError);
}

TEST(CheckedArithmetic, TrapsOverflowAndBadDivisions) {
  EXPECT_EQ(AddLong(200, 50), 250);
  EXPECT_EQ(AddLong(std::numeric_limits<std::int32_t>::max() - 1, 1),
            std::numeric_limits<std::int32_t>::max());
  EXPECT_THROW(AddLong(std::numeric_limits<std::int32_t>::max(), 1), RuntimeError);
  EXPECT_THROW(AddLong(std::numeric_limits<std::int32_t>::min(), -1), RuntimeError);

  EXPECT_DOUBLE_EQ(Divide(139, 2), 69.5);
  try {
    Divide(1, 0);
    ADD_FAILURE();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kDivisionByZero);
  }
  try {
    Divide(0, 0);
    ADD_FAILURE();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number, err::kOverflow);
  }
}

TEST(Single, CountersAccumulateInSinglePrecision) {
  // 0.1 added ten times in float is not exactly 1; in double it differs again.
  Single c = 0;
  for (int i = 0; i < 10; ++i) c = AddSingle(c, 0.1f);
  EXPECT_EQ(c, 1.0000001192092896f);
  EXPECT_THROW(AddSingle(std::numeric_limits<float>::max(), std::numeric_limits<float>::max()),
               RuntimeError);
}

}  // namespace
}  // namespace huevex
