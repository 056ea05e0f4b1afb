#include "picker/codes.h"

#include <gtest/gtest.h>

namespace huevex {
namespace {

TEST(Codes, OfTheTableColors) {
  const struct {
    int r, g, b;
    const char *dec, *rgb, *hex;
  } table[] = {
      {255, 0, 0, "255", "255,0,0", "#FF0000"},
      {0, 255, 0, "65280", "0,255,0", "#00FF00"},
      {0, 0, 255, "16711680", "0,0,255", "#0000FF"},
      {255, 255, 255, "16777215", "255,255,255", "#FFFFFF"},
      {0, 0, 0, "0", "0,0,0", "#000000"},
      {5, 10, 200, "13109765", "5,10,200", "#050AC8"},
      {16, 15, 1, "69392", "16,15,1", "#100F01"},
      {128, 128, 128, "8421504", "128,128,128", "#808080"},
  };
  for (const auto& row : table) {
    const ColorValue v = RGB(row.r, row.g, row.b);
    EXPECT_EQ(DecCode(v), row.dec);
    EXPECT_EQ(RgbCode(v), row.rgb);
    EXPECT_EQ(HexCode(v), row.hex);
  }
}

TEST(Codes, NegativeValuesTruncateTowardZero) {
  // A system color reference is no pixel, but the codes are still defined.
  const ColorValue window = static_cast<ColorValue>(0x80000005);
  EXPECT_EQ(DecCode(window), "-2147483643");
  EXPECT_EQ(RgbCode(window), "5,1,1");
  EXPECT_EQ(HexCode(window), "#050101");
  EXPECT_EQ(RgbCode(-1), "255,0,0");
  EXPECT_EQ(HexCode(-256), "#00FF00");  // -256 / 256 = -1, so G is 255
}

}  // namespace
}  // namespace huevex
