// Long runs and awkward screens: nothing grows, nothing breaks.
#include <gtest/gtest.h>
#include <malloc.h>

#include "scenario/harness.h"

namespace huevex::testing {
namespace {

size_t HeapInUse() { return mallinfo2().uordblks; }

TEST(Endurance, HundredThousandSamplingTicksLeaveNothingBehind) {
  Desktop desk;
  desk.sim.log().Enable(false);
  for (int x = 0; x < 256; ++x)
    desk.sim.FillBackground({x * 4, 500, x * 4 + 4, 504}, RGB(x, 0, 255 - x));
  desk.PressOnCrosshair();
  for (int i = 0; i < 1000; ++i) {  // warm up: glyphs, fonts, strings
    desk.sim.MoveCursor({(i * 4) % 1024, 501});
    desk.sim.Advance(1);
  }
  const int objects = desk.sim.gdi().LiveObjects(), contexts = desk.sim.gdi().LiveContexts();
  const size_t heap = HeapInUse();
  for (int i = 0; i < 100000; ++i) {
    desk.sim.MoveCursor({(i * 4) % 1024, 501});
    desk.sim.Advance(1);
  }
  EXPECT_EQ(desk.sim.gdi().LiveObjects(), objects);
  EXPECT_EQ(desk.sim.gdi().LiveContexts(), contexts);
  EXPECT_LT(HeapInUse(), heap + 64 * 1024);
  desk.sim.Release();
  EXPECT_EQ(desk.sim.ClipboardText(), "#9F0060");  // (99999 * 4) % 1024 = 636: stripe 159
}

TEST(Endurance, HundredThousandMagnifierFramesLeaveNothingBehind) {
  Desktop desk;
  desk.sim.log().Enable(false);
  desk.project.runtime().Dispatch([&] { desk.project.frmZoom().Show(); });
  for (int i = 0; i < 1000; ++i) {
    desk.sim.MoveCursor({200 + i % 50, 200});
    desk.sim.Advance(50);
  }
  const int objects = desk.sim.gdi().LiveObjects(), contexts = desk.sim.gdi().LiveContexts();
  const size_t heap = HeapInUse();
  for (int i = 0; i < 100000; ++i) {
    desk.sim.MoveCursor({200 + i % 50, 200 + i % 3});
    desk.sim.Advance(50);
  }
  EXPECT_EQ(desk.sim.gdi().LiveObjects(), objects);
  EXPECT_EQ(desk.sim.gdi().LiveContexts(), contexts);
  EXPECT_LT(HeapInUse(), heap + 64 * 1024);
}

TEST(Endurance, ThePointerLeavingTheScreenKeepsTheLastColor) {
  Desktop desk;
  desk.sim.FillBackground({1900, 500, 1920, 520}, RGB(16, 15, 1));
  desk.project.runtime().Dispatch([&] { desk.project.frmZoom().Show(); });
  desk.PressOnCrosshair();
  desk.sim.MoveCursor({1910, 510});
  desk.sim.Advance(50);
  desk.sim.MoveCursor({2500, 510});  // past the right edge of the only monitor
  desk.sim.Advance(50);
  EXPECT_EQ(desk.main().lblHEXvalue().Caption(), "#100F01");
  // The magnifier shows black where there is no screen.
  const Rect box = desk.sim.ClientRect(desk.project.frmZoom().Window());
  EXPECT_EQ(desk.sim.ScreenPixel({box.left + 17 + 65, box.top + 17 + 35}), 0);
  desk.sim.Release();
  desk.sim.Advance(FrmMain::kReleasePointWaitMs);  // the release point is on no screen
  EXPECT_EQ(desk.sim.ClipboardText(), "#100F01");
}

TEST(Endurance, TheScreenChangingSizeWhileTheMagnifierRuns) {
  Desktop desk;
  desk.project.runtime().Dispatch([&] { desk.project.frmZoom().Show(); });
  desk.sim.MoveCursor({1500, 300});
  desk.sim.Advance(100);
  // The monitor shrinks under the cursor, then a second one appears to the left.
  desk.sim.SetMonitors({{{0, 0, 1280, 1024}, 96}});
  desk.sim.Advance(300);
  const Rect box = desk.sim.ClientRect(desk.project.frmZoom().Window());
  EXPECT_EQ(desk.sim.ScreenPixel({box.left + 17 + 65, box.top + 17 + 35}), 0);
  desk.sim.SetMonitors({{{0, 0, 1280, 1024}, 96}, {{-1920, 0, 0, 1080}, 96}});
  desk.sim.FillBackground({-1000, 500, -990, 510}, RGB(0, 255, 0));
  desk.sim.MoveCursor({-995, 505});
  desk.sim.Advance(50);
  EXPECT_EQ(desk.sim.ScreenPixel({box.left + 17 + 65, box.top + 17 + 35}), RGB(0, 255, 0));
  EXPECT_FALSE(desk.sim.QuitRequested());
}

}  // namespace
}  // namespace huevex::testing
