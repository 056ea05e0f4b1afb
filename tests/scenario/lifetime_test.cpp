// Start-up, the main window's first look, and the end of the program.
#include <gtest/gtest.h>

#include "scenario/harness.h"

namespace huevex::testing {
namespace {

TEST(Lifetime, StartShowsOnlyTheMainWindowTopmostAndCentred) {
  Desktop desk;
  const Hwnd main = desk.MainWindow();
  EXPECT_EQ(desk.sim.Windows(), std::vector<Hwnd>{main});
  EXPECT_TRUE(desk.sim.IsVisible(main));
  EXPECT_TRUE(desk.sim.IsTopmost(main));
  EXPECT_EQ(desk.sim.log().Count("KeepOnTop(" + HandleText(main) + ",activate)"), 1);
  EXPECT_EQ(desk.sim.Title(main), "HUEVEX");
  EXPECT_TRUE(desk.sim.HasTaskbarButton(main));
  // 169 x 105 inside, 175 x 131 outside, in the middle of the 1920 x 1080 screen.
  const Rect client = desk.sim.ClientRect(main);
  EXPECT_EQ(client.Width(), 169);
  EXPECT_EQ(client.Height(), 105);
  EXPECT_EQ(desk.sim.GetOuterRect(main), (Rect{872, 474, 1047, 605}));
  EXPECT_FLOAT_EQ(desk.main().Height(), 1965);
  EXPECT_FLOAT_EQ(desk.main().Left(), 872 * 15);
}

// The main window opens centred on one monitor's work area: the primary's,
// wherever it lies in the list or on the desktop, else the one under the
// pointer (or nearest it). The magnifier still opens flush under it.
TEST(Lifetime, TheMainWindowOpensOnOneMonitor) {
  const Rect hd{0, 0, 1920, 1080}, right{1920, 0, 3200, 1024};
  const struct {
    const char* layout;
    std::vector<sim::Monitor> monitors;
    int primary;
    Point pointer;
    Rect expected;  // outer, 175 x 131
  } cases[] = {
      {"one", {{hd}}, 0, {}, {872, 474, 1047, 605}},
      {"the screen's centre on the seam",
       {{hd}, {{1920, 0, 3840, 1080}}},
       0,
       {},
       {872, 474, 1047, 605}},
      {"the primary second", {{hd}, {right}}, 1, {}, {2472, 446, 2647, 577}},
      {"the primary left of and above the other",
       {{hd}, {{-1280, -300, 0, 724}}},
       1,
       {},
       {-728, 146, -553, 277}},
      {"a panel along the top", {{hd, 96, {0, 40, 1920, 1080}}}, 0, {}, {872, 494, 1047, 625}},
      {"none primary, the pointer on the second",
       {{hd}, {right}},
       sim::kNoPrimary,
       {2500, 9},
       {2472, 446, 2647, 577}},
      {"none primary, the pointer in a gap",
       {{{0, 0, 1000, 800}}, {{1200, 0, 2200, 800}}},
       sim::kNoPrimary,
       {1150, 100},
       {1612, 334, 1787, 465}},
  };
  for (const auto& c : cases) {
    Desktop desk(c.monitors, c.primary, c.pointer);
    const Rect outer = desk.sim.GetOuterRect(desk.MainWindow());
    EXPECT_EQ(outer, c.expected) << c.layout;
    desk.project.frmZoom().Show();
    const Rect zoom = desk.sim.GetOuterRect(desk.project.frmZoom().Window());
    EXPECT_EQ((Point{zoom.left, zoom.top}), (Point{outer.left, outer.bottom})) << c.layout;
  }
}

// After the monitors change, a main window none of them shows comes back
// onto the primary (or the pointer's monitor); one still partly shown stays.
TEST(Lifetime, AMainWindowLeftOnNoMonitorComesBack) {
  const Rect hd{0, 0, 1920, 1080}, second{1920, 0, 3840, 1080}, above{-1280, -300, 0, 724};
  const struct {
    const char* change;
    Point moved_to;
    std::vector<sim::Monitor> after;
    int primary;
    Point pointer;
    Point expected;  // outer top-left
  } cases[] = {
      {"its monitor removed", {2500, 400}, {{hd}}, 0, {}, {872, 474}},
      {"half on the one removed", {1850, 400}, {{hd}}, 0, {}, {1850, 400}},
      {"onto a primary of negative origin", {2500, 400}, {{hd}, {above}}, 1, {}, {-728, 146}},
      {"its monitor moved away", {100, 100}, {{{2000, 0, 3920, 1080}}}, 0, {}, {2872, 474}},
      {"none primary after", {2500, 400}, {{hd}, {above}}, sim::kNoPrimary, {-5, -5}, {-728, 146}},
  };
  for (const auto& c : cases) {
    Desktop desk({{hd}, {second}});
    desk.sim.DragWindow(desk.MainWindow(), c.moved_to);
    desk.sim.MoveCursor(c.pointer);
    desk.sim.SetMonitors(c.after, c.primary);
    const Rect outer = desk.sim.GetOuterRect(desk.MainWindow());
    EXPECT_EQ((Point{outer.left, outer.top}), c.expected) << c.change;
    // Still the program's own: a pick from where it now is works.
    desk.sim.FillBackground(
        {c.expected.x - 20, c.expected.y + 60, c.expected.x - 10, c.expected.y + 70}, RGB(7, 8, 9));
    desk.Pick({c.expected.x - 15, c.expected.y + 65});
    EXPECT_EQ(desk.sim.ClipboardText(), "#070809") << c.change;
  }
}

// A monitor's DPI comes from outside the program; one no monitor can have
// still gives a main window that fits the screen, and a pick that works, at
// startup and when the DPI changes later.
TEST(Lifetime, ADpiNoMonitorHasIsBroughtIntoRange) {
  const struct {
    int dpi;
    int width, height;  // the main window's client size
  } cases[] = {
      {0, 169, 105},   {-96, 169, 105}, {1, 84, 52},        {47, 84, 52},
      {144, 254, 158}, {481, 845, 525}, {100000, 845, 525}, {2147483647, 845, 525},
  };
  for (const auto& c : cases) {
    Desktop desk({{{0, 0, 1920, 1080}, c.dpi}});
    const Hwnd main = desk.MainWindow();
    EXPECT_TRUE(desk.sim.IsVisible(main)) << c.dpi;
    const Rect client = desk.sim.ClientRect(main);
    EXPECT_EQ(client.Width(), c.width) << c.dpi;
    EXPECT_EQ(client.Height(), c.height) << c.dpi;
    desk.project.frmZoom().Show();
    EXPECT_TRUE(desk.sim.IsVisible(desk.project.frmZoom().Window())) << c.dpi;

    Desktop later;
    later.project.runtime().OnDpiChanged(later.MainWindow(), c.dpi);
    EXPECT_EQ(later.sim.ClientRect(later.MainWindow()).Width(), c.width) << c.dpi;
    later.sim.FillBackground({0, 0, 8, 8}, RGB(1, 2, 3));
    later.Pick({4, 4});
    EXPECT_EQ(later.main().lblHEXvalue().Caption(), "#010203") << c.dpi;
  }
}

TEST(Lifetime, TheMainWindowStartsIdle) {
  Desktop desk;
  FrmMain& main = desk.main();
  EXPECT_EQ(main.lblDECvalue().Caption(), "");
  EXPECT_EQ(main.lblRGBvalue().Caption(), "");
  EXPECT_EQ(main.lblHEXvalue().Caption(), "");
  EXPECT_EQ(main.picColor().BackColor(), kWindowColor);
  EXPECT_FALSE(main.timSpy().Enabled());
  EXPECT_EQ(main.timSpy().Interval(), 1);
  EXPECT_EQ(desk.sim.ActiveTimers(), 0);  // nothing runs while idle
  EXPECT_TRUE(main.picCursor().Visible());
  const Rect client = desk.sim.ClientRect(desk.MainWindow());
  EXPECT_EQ(desk.sim.ScreenPixel({client.left + 12, client.top + 12}),
            desk.sim.gdi().GetSysColor(COLOR_WINDOW));
}

TEST(Lifetime, ControlsStandWhereTheLayoutPutsThem) {
  Desktop desk;
  FrmMain& main = desk.main();
  const struct {
    const char* name;
    Rect pixels;
  } cases[] = {
      {"picColor", {8, 8, 41, 25}},       {"picCursor", {16, 48, 31, 63}},
      {"fraColorInfo", {48, 0, 161, 73}}, {"fraColors", {80, 16, 153, 65}},
      {"lblHEXvalue", {88, 16, 153, 33}}, {"lblDECvalue", {88, 32, 153, 49}},
      {"lblRGBvalue", {88, 48, 153, 65}}, {"fraMagnify", {8, 72, 137, 97}},
      {"imgCaret", {112, 80, 128, 96}},   {"fraQuestion", {144, 72, 161, 97}},
  };
  for (const auto& c : cases) EXPECT_EQ(main.Find(c.name).Bounds(96), c.pixels) << c.name;
}

TEST(Lifetime, AWindowMappedLaterStaysBeneathTheMainWindow) {
  Desktop desk;
  const Rect outer = desk.sim.GetOuterRect(desk.MainWindow());
  const Hwnd other = desk.sim.AddForeignWindow({0, 0, 1920, 1080}, RGB(1, 1, 1));
  EXPECT_EQ(desk.sim.StackingOrder().front(), desk.MainWindow());
  EXPECT_NE(desk.sim.ScreenPixel({outer.left + 50, outer.top + 50}), RGB(1, 1, 1));
  EXPECT_EQ(desk.sim.StackingOrder()[1], other);
}

TEST(Lifetime, ClosingWhenNothingElseWasOpenedEndsTheProgram) {
  Desktop desk;
  desk.sim.ClickCloseBox(desk.MainWindow());
  EXPECT_TRUE(desk.sim.QuitRequested());
  EXPECT_TRUE(desk.sim.Windows().empty());
  EXPECT_EQ(desk.sim.log().Count("CreateWindow("), 1);  // the magnifier and help never made
  EXPECT_EQ(desk.sim.gdi().LiveObjects(), 0);
  EXPECT_EQ(desk.sim.gdi().LiveContexts(), 0);
}

TEST(Lifetime, ClosingUnloadsAllThreeInOrder) {
  Desktop desk;
  desk.project.frmZoom().Show();
  desk.project.frmAbout().Show();
  const Hwnd windows[] = {desk.MainWindow(), desk.project.frmZoom().Window(),
                          desk.project.frmAbout().Window()};
  desk.sim.log().Clear();
  desk.sim.ClickCloseBox(desk.MainWindow());
  std::vector<std::string> destroyed;
  for (const auto& e : desk.sim.log().Entries()) {
    if (e.starts_with("DestroyWindow(")) destroyed.push_back(e);
  }
  ASSERT_EQ(destroyed.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(destroyed[i], "DestroyWindow(" + HandleText(windows[i]) + ")");
  EXPECT_TRUE(desk.sim.QuitRequested());
  EXPECT_EQ(desk.sim.log().Entries().back(), "Quit");
}

TEST(Lifetime, ClosingDuringAPickEndsCleanly) {
  Desktop desk;
  desk.PressOnCrosshair();
  desk.sim.Advance(5);
  desk.sim.ClickCloseBox(desk.MainWindow());
  EXPECT_TRUE(desk.sim.QuitRequested());
  EXPECT_EQ(desk.sim.CaptureWindow(), Hwnd{});
  EXPECT_EQ(desk.sim.ActiveTimers(), 0);
  EXPECT_TRUE(desk.sim.Windows().empty());
  EXPECT_EQ(desk.sim.gdi().LiveObjects(), 0);
  // The button coming up afterwards reaches nothing.
  desk.sim.Release();
  EXPECT_FALSE(desk.main().Loaded());
}

}  // namespace
}  // namespace huevex::testing
