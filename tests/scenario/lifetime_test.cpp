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
  EXPECT_EQ(desk.sim.log().Count("SetWindowPos(" + HandleText(main) + ",-1,0,0,0,0,0x3)"), 1);
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
