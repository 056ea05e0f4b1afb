#include "shell/platform/soft/soft_gdi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "shell/platform/gdi_owners.h"
#include "shell/platform/sim/sim_desktop.h"

namespace huevex::soft {
namespace {

// A software GDI over a small simulated screen with a known picture: pixel
// (x, y) has red x and green y.
class SoftGdiTest : public ::testing::Test {
 protected:
  SoftGdiTest() : desktop({{{0, 0, 64, 48}, 96}}) {
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) desktop.SetBackgroundPixel({x, y}, RGB(x, y, 7));
    }
  }

  // A memory context with a color bitmap of the given size selected.
  MemorySurface MakeSurface(int w, int h) { return MemorySurface(gdi(), w, h); }

  SoftGdi& gdi() { return desktop.gdi(); }
  sim::SimDesktop desktop;
};

TEST_F(SoftGdiTest, ScreenPixelsAndTheirEdges) {
  const Hdc screen = gdi().GetDC(Hwnd{});
  EXPECT_EQ(gdi().GetPixel(screen, 10, 20), RGB(10, 20, 7));
  EXPECT_EQ(gdi().GetPixel(screen, 63, 47), RGB(63, 47, 7));
  EXPECT_EQ(gdi().GetPixel(screen, 64, 0), CLR_INVALID);
  EXPECT_EQ(gdi().GetPixel(screen, -1, 0), CLR_INVALID);
  EXPECT_EQ(gdi().ReleaseDC(Hwnd{}, screen), 1);
  EXPECT_EQ(gdi().ReleaseDC(Hwnd{}, screen), 0);  // only once
  EXPECT_EQ(gdi().LiveContexts(), 0);
}

TEST_F(SoftGdiTest, StretchBltMakesWholeSquaresAndReadsBlackOffScreen) {
  MemorySurface s = MakeSurface(40, 30);
  const Hdc screen = gdi().GetDC(gdi().GetDesktopWindow());
  ASSERT_TRUE(gdi().StretchBlt(s.dc(), 0, 0, 40, 30, screen, -1, 5, 4, 3, SRCCOPY));
  gdi().ReleaseDC(gdi().GetDesktopWindow(), screen);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const int sx = -1 + x / 10, sy = 5 + y / 10;
      const ColorValue want = sx < 0 ? 0 : RGB(sx, sy, 7);
      ASSERT_EQ(gdi().GetPixel(s.dc(), x, y), want) << x << "," << y;
    }
  }
  // The destination is clipped to the bitmap.
  EXPECT_TRUE(gdi().StretchBlt(s.dc(), 35, 25, 20, 20, s.dc(), 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(gdi().GetPixel(s.dc(), 39, 29), 0);  // source (0, 0) was the off-screen black
  s = MemorySurface();                           // freed
  EXPECT_EQ(gdi().LiveObjects(), 0);
  EXPECT_EQ(gdi().LiveContexts(), 0);
}

TEST_F(SoftGdiTest, PatternBrushTilesFromTheContextOrigin) {
  MemorySurface s = MakeSurface(20, 20);
  // A checker pattern made pixel by pixel, as the magnifier makes it.
  const Hdc memory = gdi().CreateCompatibleDC(s.dc());
  const Hgdiobj pattern = gdi().CreateCompatibleBitmap(s.dc(), 8, 8);
  const Hgdiobj kept = gdi().SelectObject(memory, pattern);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) gdi().SetPixelV(memory, x, y, (x + y) % 2 ? 0xC0C0C0 : 0x808080);
  }
  gdi().SelectObject(memory, kept);
  const Hgdiobj brush = gdi().CreatePatternBrush(pattern);
  gdi().DeleteDC(memory);
  gdi().DeleteObject(pattern);

  const Hgdiobj old = gdi().SelectObject(s.dc(), brush);
  ASSERT_TRUE(gdi().PatBlt(s.dc(), 3, 5, 11, 1, PATCOPY));
  ASSERT_TRUE(gdi().PatBlt(s.dc(), 7, 0, 1, 20, PATCOPY));
  for (int x = 3; x < 14; ++x) {
    EXPECT_EQ(gdi().GetPixel(s.dc(), x, 5), (x + 5) % 2 ? 0xC0C0C0 : 0x808080) << x;
  }
  for (int y = 0; y < 20; ++y) {
    EXPECT_EQ(gdi().GetPixel(s.dc(), 7, y), (7 + y) % 2 ? 0xC0C0C0 : 0x808080) << y;
  }
  EXPECT_EQ(gdi().GetPixel(s.dc(), 2, 5), 0);               // left of the bar: untouched
  EXPECT_EQ(gdi().GetPixel(s.dc(), 14, 5), 0);              // right of it too
  EXPECT_FALSE(gdi().PatBlt(s.dc(), 0, 0, 1, 1, SRCCOPY));  // only PATCOPY

  // A selected brush cannot be deleted; deselected, it can.
  EXPECT_FALSE(gdi().DeleteObject(brush));
  gdi().SelectObject(s.dc(), old);
  EXPECT_TRUE(gdi().DeleteObject(brush));
  s = MemorySurface();  // freed
  EXPECT_EQ(gdi().LiveObjects(), 0);
}

TEST_F(SoftGdiTest, BitmapCompatibleWithAFreshMemoryContextIsMonochrome) {
  const Hdc memory = gdi().CreateCompatibleDC(Hdc{});
  const Hgdiobj mono = gdi().CreateCompatibleBitmap(memory, 8, 8);
  const Hgdiobj kept = gdi().SelectObject(memory, mono);
  gdi().SetPixelV(memory, 0, 0, 0x808080);  // mid gray: white on a two-color bitmap
  gdi().SetPixelV(memory, 1, 0, 0x7F7F7F);
  EXPECT_EQ(gdi().GetPixel(memory, 0, 0), 0xFFFFFF);
  EXPECT_EQ(gdi().GetPixel(memory, 1, 0), 0);
  gdi().SelectObject(memory, kept);
  gdi().DeleteDC(memory);
  gdi().DeleteObject(mono);
  EXPECT_EQ(gdi().LiveObjects(), 0);
}

TEST_F(SoftGdiTest, SystemColorsResolveWherePlainOnesAreExpected) {
  EXPECT_EQ(gdi().GetSysColor(COLOR_WINDOW), 0xFFFFFF);
  const MemorySurface s = MakeSurface(2, 1);
  gdi().SetPixelV(s.dc(), 0, 0, static_cast<ColorValue>(0x80000005));
  EXPECT_EQ(gdi().GetPixel(s.dc(), 0, 0), 0xFFFFFF);
}

TEST_F(SoftGdiTest, PicturesDrawTransparentAndInvertingPixels) {
  const MemorySurface s = MakeSurface(3, 1);
  gdi().FillSolidRect(s.dc(), {0, 0, 3, 1}, RGB(10, 20, 30));
  Picture picture{3, 1, {RGB(1, 2, 3), 0, 0xFFFFFF}, {0, 1, 1}};
  gdi().PaintPicture(s.dc(), 0, 0, picture);
  EXPECT_EQ(gdi().GetPixel(s.dc(), 0, 0), RGB(1, 2, 3));                  // drawn
  EXPECT_EQ(gdi().GetPixel(s.dc(), 1, 0), RGB(10, 20, 30));               // transparent
  EXPECT_EQ(gdi().GetPixel(s.dc(), 2, 0), RGB(255 - 10, 255 - 20, 225));  // inverted
}

// "Small Fonts" is a bitmap face on Windows: its text is whole pixels of ink
// or paper, and a dot stands apart from the dot or stroke above it. Read down
// the darkest column, so any font that stands in will do.
TEST_F(SoftGdiTest, SmallFontsDrawsWholePixelsWithItsDotsApart) {
  const struct {
    const char* text;
    int weight, dpi;
  } cases[] = {{":", 700, 96}, {":", 400, 96},  {"i", 700, 96},
               {"!", 700, 96}, {":", 700, 144}, {"!", 400, 144}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " weight " + std::to_string(c.weight) + " at " +
                 std::to_string(c.dpi) + " DPI");
    const MemorySurface s = MakeSurface(24, 24);
    gdi().FillSolidRect(s.dc(), {0, 0, 24, 24}, RGB(255, 255, 255));
    const Hgdiobj font = gdi().CreateFontFor({"Small Fonts", 6, c.weight}, c.dpi);
    gdi().PaintText(s.dc(), font, {4, 2, 24, 24}, c.text, RGB(0, 0, 0), TextAlign::Left, false);
    gdi().DeleteObject(font);

    int smeared = 0, column = 0, most_ink = 0;
    for (int x = 0; x < 24; ++x) {
      int ink = 0;
      for (int y = 0; y < 24; ++y) {
        const ColorValue pixel = gdi().GetPixel(s.dc(), x, y);
        ink += 255 - GetGValue(pixel);
        smeared += pixel != 0 && pixel != 0xFFFFFF;
      }
      if (ink > most_ink) column = x, most_ink = ink;
    }
    EXPECT_EQ(smeared, 0);
    // Marks down that column: dark runs parted by at least one light pixel.
    int marks = 0;
    bool in_mark = false;
    for (int y = 0; y < 24; ++y) {
      const int level = GetGValue(gdi().GetPixel(s.dc(), column, y));
      if (level < 128 && !in_mark) ++marks;
      if (level < 128) in_mark = true;
      if (level > 191) in_mark = false;
    }
    EXPECT_EQ(marks, 2) << "column " << column;
  }
}

// A message box's text breaks where its lines end, wrapped or not, and the
// break itself draws nothing.
TEST_F(SoftGdiTest, ALineBreakStartsANewLine) {
  const Hgdiobj font = gdi().CreateFontFor({"Small Fonts", 6, 400}, 96);
  const auto draw = [&](const char* text, bool wrap) {
    const MemorySurface s = MakeSurface(30, 40);
    gdi().FillSolidRect(s.dc(), {0, 0, 30, 40}, RGB(255, 255, 255));
    gdi().PaintText(s.dc(), font, {2, 2, 30, 40}, text, RGB(0, 0, 0), TextAlign::Left, wrap);
    std::vector<int> ink_rows(40), ink_columns(30);
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 30; ++x) {
        const bool ink = gdi().GetPixel(s.dc(), x, y) != 0xFFFFFF;
        ink_rows[y] += ink;
        ink_columns[x] += ink;
      }
    }
    return std::pair(ink_rows, ink_columns);
  };
  for (const bool wrap : {false, true}) {
    SCOPED_TRACE(wrap ? "wrapped" : "not wrapped");
    const auto [one_rows, one_columns] = draw("I", wrap);
    const auto [two_rows, two_columns] = draw("I\nI", wrap);
    const int line = static_cast<int>(
        std::find_if(one_rows.rbegin(), one_rows.rend(), [](int n) { return n > 0; }) -
        one_rows.rbegin());
    const int last_ink_row = 39 - line;
    for (int y = 0; y <= last_ink_row; ++y) EXPECT_EQ(two_rows[y], one_rows[y]) << "row " << y;
    int below = 0;
    for (int y = last_ink_row + 1; y < 40; ++y) below += two_rows[y];
    EXPECT_GT(below, 0);  // the second line
    for (int x = 0; x < 30; ++x) {
      EXPECT_EQ(two_columns[x] > 0, one_columns[x] > 0) << "column " << x;
    }
  }
  gdi().DeleteObject(font);
}

}  // namespace
}  // namespace huevex::soft
