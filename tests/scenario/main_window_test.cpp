// The main window as drawn, read back at known pixels of its client area.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "scenario/harness.h"

namespace huevex::testing {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  ColorValue At(int x, int y) {
    const Rect client = desk.sim.ClientRect(desk.MainWindow());
    return desk.sim.ScreenPixel({client.left + x, client.top + y});
  }
  ColorValue Sys(int index) { return desk.sim.gdi().GetSysColor(index); }
  Desktop desk;
};

TEST_F(MainWindowTest, KnownPixels) {
  const struct {
    const char* what;
    int x, y;
    std::string_view color;
  } cases[] = {
#define PIXEL(what, x, y, color) {what, x, y, color},
#include "scenario/main_window_pixels.inc"
#undef PIXEL
  };
  const struct {
    std::string_view name;
    int index;
  } system[] = {{"WINDOW", COLOR_WINDOW},
                {"WINDOWFRAME", COLOR_WINDOWFRAME},
                {"BTNFACE", COLOR_BTNFACE},
                {"BTNSHADOW", COLOR_BTNSHADOW},
                {"BTNHIGHLIGHT", COLOR_BTNHIGHLIGHT}};
  for (const auto& c : cases) {
    ColorValue want = CLR_INVALID;
    for (const auto& s : system) {
      if (s.name == c.color) want = Sys(s.index);
    }
    if (want == CLR_INVALID) {
      const unsigned long rgb = std::stoul(std::string(c.color), nullptr, 16);
      want = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    }
    EXPECT_EQ(At(c.x, c.y), want) << c.what;
  }
}

TEST_F(MainWindowTest, TitleAndFixedCaptions) {
  EXPECT_EQ(desk.sim.Title(desk.MainWindow()), "HUEVEX");
  const struct {
    const char* label;
    const char* caption;
  } cases[] = {
      {"lblHEX", "HEX:"},      {"lblDEC", "DEC:"},          {"lblRGB", "RGB:"},
      {"lblPicker", "PiCKER"}, {"lblMagnify", "MAGNiFIER"}, {"lblHEXvalue", ""},
      {"lblDECvalue", ""},     {"lblRGBvalue", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(desk.main().Get<Label>(c.label).Caption(), c.caption) << c.label;
  }
}

TEST_F(MainWindowTest, TheSwatchShowsThePickedColorInsideItsBorder) {
  desk.sim.FillBackground({600, 600, 620, 620}, RGB(5, 10, 200));
  desk.Pick({610, 610});
  for (int y = 9; y < 24; ++y) {
    for (int x = 9; x < 40; ++x) ASSERT_EQ(At(x, y), RGB(5, 10, 200)) << x << "," << y;
  }
  EXPECT_EQ(At(8, 9), Sys(COLOR_WINDOWFRAME));
  EXPECT_EQ(At(41, 9), Sys(COLOR_BTNFACE));
}

TEST_F(MainWindowTest, CodesAreDrawnInTheirRows) {
  // Before a pick the rows are white; after it each row holds dark text pixels.
  const auto dark_in_row = [&](int top) {
    int dark = 0;
    for (int y = top + 1; y < top + 16; ++y) {
      for (int x = 88; x < 150; ++x) dark += At(x, y) != 0xFFFFFF && At(x, y) != 0xA0A0A0;
    }
    return dark;
  };
  EXPECT_EQ(dark_in_row(16) + dark_in_row(32) + dark_in_row(48), 0);
  desk.sim.FillBackground({600, 600, 620, 620}, RGB(0, 0, 0));
  desk.Pick({610, 610});
  EXPECT_GT(dark_in_row(16), 0);
  EXPECT_GT(dark_in_row(32), 0);
  EXPECT_GT(dark_in_row(48), 0);
}

}  // namespace
}  // namespace huevex::testing
