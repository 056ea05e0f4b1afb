// The main window as drawn, read back at known pixels of its client area.
#include <gtest/gtest.h>

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
  const ColorValue face = Sys(COLOR_BTNFACE), white = 0xFFFFFF, gray = 0xA0A0A0;
  const struct {
    const char* what;
    int x, y;
    ColorValue want;
  } cases[] = {
      {"swatch inside", 20, 15, Sys(COLOR_WINDOW)},
      {"swatch border", 8, 8, Sys(COLOR_WINDOWFRAME)},
      {"swatch border, right", 40, 15, Sys(COLOR_WINDOWFRAME)},
      {"code table inside", 120, 40, white},
      {"table top line", 100, 16, gray},
      {"table HEX/DEC line", 100, 32, gray},
      {"table DEC/RGB line", 100, 48, gray},
      {"table bottom line", 100, 64, gray},
      {"table left line", 80, 40, gray},
      {"table right line", 152, 40, gray},
      {"white line beside the table", 153, 40, white},
      {"white line under the table", 100, 65, white},
      {"under the white line", 100, 66, face},
      {"beside the white line", 154, 40, face},
      {"question mark stroke", 150, 81, 0},
      {"question picture, transparent", 146, 80, face},
      {"question picture over the frame's edge", 144, 80, Sys(COLOR_BTNSHADOW)},
      {"magnifier lens", 24, 81, 0},
      {"magnifier picture, transparent", 16, 80, face},
      {"caret edge", 115, 85, 0},
      {"caret picture, transparent", 112, 80, face},
      {"crosshair tick", 23, 48, 0},
      {"crosshair centre dot", 23, 55, 0},
      {"crosshair, transparent", 16, 48, face},
      {"picker box shadow edge", 8, 30, Sys(COLOR_BTNSHADOW)},
      {"swatch over the picker box", 8, 24, Sys(COLOR_WINDOWFRAME)},
      {"picker box light edge", 9, 30, Sys(COLOR_BTNHIGHLIGHT)},
      {"window face", 2, 2, face},
  };
  for (const auto& c : cases) EXPECT_EQ(At(c.x, c.y), c.want) << c.what;
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
