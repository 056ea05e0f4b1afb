// The magnifier on the simulated desktop: its toggle and placement, its
// refresh rhythm, and the pixels of its frames.
#include <gtest/gtest.h>

#include "scenario/harness.h"

namespace huevex::testing {
namespace {

class MagnifierTest : public ::testing::Test {
 protected:
  MagnifierTest() {
    // A screen picture where every pixel differs from its neighbours.
    for (int y = 150; y < 350; ++y) {
      for (int x = 150; x < 450; ++x) desk.sim.SetBackgroundPixel({x, y}, Probe({x, y}));
    }
  }
  static ColorValue Probe(Point p) { return RGB(p.x & 255, p.y & 255, (p.x * 7 + p.y) & 255); }

  // A click on one of the magnifier bar's targets, in client pixels of frmMain.
  void ClickMain(Point client_point) {
    const Rect client = desk.sim.ClientRect(desk.MainWindow());
    const Point cursor = desk.sim.Cursor();
    desk.sim.MoveCursor({client.left + client_point.x, client.top + client_point.y});
    desk.sim.Press();
    desk.sim.Release();
    desk.sim.MoveCursor(cursor);
  }
  // The word "MAGNiFIER"; the log then starts afresh.
  void ClickMagnifierBar() {
    ClickMain({60, 85});
    desk.sim.log().Clear();
  }

  FrmZoom& zoom() { return desk.project.frmZoom(); }
  // Copies from the screen into the box (the toolkit's own painting uses BitBlt).
  int Frames() { return desk.sim.log().Count("StretchBlt(0,0,140,80<-"); }
  int Reassertions() {
    return desk.sim.log().Count("KeepOnTop(" + HandleText(zoom().Window()) + ",quietly)");
  }
  // The magnifier's picture on screen, box pixel (x, y).
  ColorValue BoxPixel(int x, int y) {
    const Rect client = desk.sim.ClientRect(zoom().Window());
    return desk.sim.ScreenPixel({client.left + 17 + x, client.top + 17 + y});
  }

  Desktop desk;
};

TEST_F(MagnifierTest, EachTargetOfTheBarTogglesOnce) {
  const Point targets[] = {{20, 85}, {60, 85}, {115, 85}};  // magnifier, word, caret
  bool shown = false;
  for (int round = 0; round < 2; ++round) {
    for (const Point& target : targets) {
      ClickMain(target);
      shown = !shown;
      ASSERT_EQ(zoom().Loaded(), true);
      EXPECT_EQ(desk.sim.IsVisible(zoom().Window()), shown) << target.x;
    }
  }
}

TEST_F(MagnifierTest, OpensUnderTheMainWindowAndKeepsItsPlaceUntilUnloaded) {
  const Rect main = desk.sim.GetOuterRect(desk.MainWindow());
  ClickMagnifierBar();
  const Hwnd window = zoom().Window();
  const Rect placed = desk.sim.GetOuterRect(window);
  EXPECT_EQ(placed, (Rect{main.left, main.bottom, main.left + 175, main.bottom + 106}));
  EXPECT_TRUE(desk.sim.IsTopmost(window));
  EXPECT_FALSE(desk.sim.HasTaskbarButton(window));

  ClickMagnifierBar();  // hidden
  EXPECT_FALSE(desk.sim.IsVisible(window));
  desk.sim.DragWindow(desk.MainWindow(), {100, 100});
  ClickMagnifierBar();  // shown again where it was
  EXPECT_EQ(desk.sim.GetOuterRect(window), placed);

  // After a pick the next click loads it afresh under the main window.
  desk.Pick({300, 300});
  EXPECT_FALSE(zoom().Loaded());
  ClickMagnifierBar();
  const Rect moved = desk.sim.GetOuterRect(desk.MainWindow());
  EXPECT_EQ(desk.sim.GetOuterRect(zoom().Window()).left, moved.left);
  EXPECT_EQ(desk.sim.GetOuterRect(zoom().Window()).top, moved.bottom);
}

TEST_F(MagnifierTest, AMainWindowNearTheBottomGivesAMagnifierPastTheEdge) {
  desk.sim.DragWindow(desk.MainWindow(), {100, 1000});
  ClickMagnifierBar();
  EXPECT_EQ(desk.sim.GetOuterRect(zoom().Window()).top, 1131);
}

TEST_F(MagnifierTest, AFrameIsTheScreenEnlargedWithGridAndMarker) {
  desk.sim.MoveCursor({300, 250});
  ClickMagnifierBar();
  desk.sim.Advance(50);
  ASSERT_EQ(Frames(), 1);
  const ColorValue gray = 0x808080, silver = 0xC0C0C0;
  for (int y = 0; y < 71; ++y) {
    for (int x = 0; x < 139; ++x) {
      const bool line = x % 10 == 0 || y % 10 == 0;
      const bool frame = x >= 55 && x <= 74 && y >= 25 && y <= 44;
      const bool hole = x >= 60 && x <= 69 && y >= 30 && y <= 39;
      const bool corner = x >= 73 && y >= 43;
      const bool checker = line || (frame && !hole && !corner);
      const ColorValue want =
          checker ? ((x + y) % 2 ? silver : gray) : Probe({300 - 6 + x / 10, 250 - 3 + y / 10});
      ASSERT_EQ(BoxPixel(x, y), want) << x << "," << y;
    }
  }
  // The hole shows the cursor's own pixel.
  EXPECT_EQ(BoxPixel(65, 35), Probe({300, 250}));
}

TEST_F(MagnifierTest, ScreenOffTheEdgeReadsBlack) {
  desk.sim.MoveCursor({0, 0});
  ClickMagnifierBar();
  desk.sim.Advance(50);
  EXPECT_EQ(BoxPixel(5, 5), 0);  // source (-6, -3)
  EXPECT_EQ(BoxPixel(65, 35), desk.sim.ScreenPixel({0, 0}));
}

TEST_F(MagnifierTest, RestingCursorRefreshesEveryFifthTickAndReassertsTopmost) {
  ClickMagnifierBar();
  desk.sim.Advance(50);  // the first tick after the load paints
  EXPECT_EQ(Frames(), 1);
  EXPECT_EQ(Reassertions(), 0);  // the load has just made it topmost
  desk.sim.Advance(200);
  EXPECT_EQ(Frames(), 1);
  desk.sim.Advance(50);
  EXPECT_EQ(Frames(), 2);
  EXPECT_EQ(Reassertions(), 1);
  desk.sim.Advance(500);
  EXPECT_EQ(Frames(), 4);
  EXPECT_EQ(Reassertions(), 3);
}

TEST_F(MagnifierTest, AMovingCursorRefreshesEveryTickWithoutReasserting) {
  ClickMagnifierBar();
  for (int i = 0; i < 20; ++i) {
    desk.sim.MoveCursor({200 + i, 200});
    desk.sim.Advance(50);
  }
  EXPECT_EQ(Frames(), 20);
  EXPECT_EQ(Reassertions(), 0);
}

TEST_F(MagnifierTest, FourTicksAtRestThenAMoveGetsBoth) {
  ClickMagnifierBar();
  desk.sim.Advance(50);
  desk.sim.Advance(200);
  EXPECT_EQ(Frames(), 1);
  desk.sim.MoveCursor({222, 222});
  desk.sim.Advance(50);
  EXPECT_EQ(Frames(), 2);
  EXPECT_EQ(Reassertions(), 1);
}

TEST_F(MagnifierTest, MinimisedTicksCountNothing) {
  ClickMagnifierBar();
  desk.sim.Advance(50);
  desk.sim.SetMinimized(zoom().Window(), true);
  desk.sim.MoveCursor({260, 260});
  desk.sim.Advance(1000);
  EXPECT_EQ(Frames(), 1);
  EXPECT_EQ(zoom().ElapsedMs, 0);
  desk.sim.SetMinimized(zoom().Window(), false);
  desk.sim.Advance(50);  // the cursor moved since the last tick before: a frame
  EXPECT_EQ(Frames(), 2);
  desk.sim.Advance(150);
  desk.sim.SetMinimized(zoom().Window(), true);
  desk.sim.Advance(500);
  desk.sim.SetMinimized(zoom().Window(), false);
  desk.sim.Advance(50);  // at rest: 150 + 50 brings no frame yet
  EXPECT_EQ(Frames(), 2);
  desk.sim.Advance(50);
  EXPECT_EQ(Frames(), 3);
}

TEST_F(MagnifierTest, AHiddenMagnifierKeepsTicking) {
  ClickMagnifierBar();
  ClickMagnifierBar();
  ASSERT_FALSE(desk.sim.IsVisible(zoom().Window()));
  desk.sim.Advance(50);
  desk.sim.Advance(250);
  EXPECT_EQ(Frames(), 2);
  EXPECT_EQ(Reassertions(), 1);
  EXPECT_FALSE(desk.sim.IsVisible(zoom().Window()));  // re-asserting does not show it
  // Shown again, it shows the frame it painted while hidden.
  ClickMagnifierBar();
  EXPECT_EQ(BoxPixel(0, 0), 0x808080);
}

TEST_F(MagnifierTest, FollowsThePointerDuringAPickAndClosesAtTheRelease) {
  ClickMagnifierBar();
  desk.PressOnCrosshair();
  desk.sim.MoveCursor({300, 250});
  desk.sim.Advance(50);
  EXPECT_EQ(BoxPixel(65, 35), Probe({300, 250}));
  const Hwnd window = zoom().Window();
  desk.sim.Release();
  EXPECT_FALSE(desk.sim.Exists(window));
}

TEST_F(MagnifierTest, CheckerBrushLooksUpSystemColors) {
  ClickMagnifierBar();
  Gdi& gdi = desk.sim.gdi();
  const Hdc box = zoom().picZoom().hDC();
  const GdiObject brush =
      zoom().CreateCheckerBrush(box, static_cast<ColorValue>(0x80000005), 0x123456);
  {
    const SelectedObject selected(gdi, box, brush.get());
    gdi.PatBlt(box, 0, 0, 2, 1, PATCOPY);
  }
  EXPECT_EQ(gdi.GetPixel(box, 0, 0), gdi.GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(gdi.GetPixel(box, 1, 0), 0x123456);
}

}  // namespace
}  // namespace huevex::testing
