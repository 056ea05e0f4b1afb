// The pick gesture on the simulated desktop, driven as a user would.
#include <gtest/gtest.h>

#include <functional>

#include "resources/pictures.h"
#include "scenario/harness.h"

namespace huevex::testing {
namespace {

class PickTest : public ::testing::Test {
 protected:
  // Paints a 20 x 20 area of the background and returns its centre.
  Point Area(Point top_left, ColorValue color) {
    desk.sim.FillBackground({top_left.x, top_left.y, top_left.x + 20, top_left.y + 20}, color);
    return {top_left.x + 10, top_left.y + 10};
  }
  Desktop desk;
};

TEST_F(PickTest, EachColorOfTheTableEndsUpOnTheClipboard) {
  const struct {
    ColorValue color;
    const char *dec, *rgb, *hex;
  } table[] = {
      {RGB(255, 0, 0), "255", "255,0,0", "#FF0000"},
      {RGB(0, 0, 0), "0", "0,0,0", "#000000"},
      {RGB(0, 255, 0), "65280", "0,255,0", "#00FF00"},
      {RGB(255, 255, 255), "16777215", "255,255,255", "#FFFFFF"},
      {RGB(0, 0, 255), "16711680", "0,0,255", "#0000FF"},
      {RGB(5, 10, 200), "13109765", "5,10,200", "#050AC8"},
      {RGB(16, 15, 1), "69392", "16,15,1", "#100F01"},
      {RGB(128, 128, 128), "8421504", "128,128,128", "#808080"},
  };
  int column = 0;
  for (const auto& row : table) {
    const Point target = Area({100 + 40 * column++, 100}, row.color);
    desk.sim.ExternalClipboardText("stale");
    desk.Pick(target);
    EXPECT_EQ(desk.sim.ClipboardText(), row.hex);
    EXPECT_EQ(desk.main().lblDECvalue().Caption(), row.dec);
    EXPECT_EQ(desk.main().lblRGBvalue().Caption(), row.rgb);
    EXPECT_EQ(desk.main().lblHEXvalue().Caption(), row.hex);
    EXPECT_EQ(desk.main().picColor().BackColor(), row.color);
    // The swatch on screen: picColor's inside at client (9, 9).
    const Rect client = desk.sim.ClientRect(desk.MainWindow());
    EXPECT_EQ(desk.sim.ScreenPixel({client.left + 12, client.top + 12}), row.color) << row.hex;
  }
}

TEST_F(PickTest, AnyButtonPicks) {
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  const Point blue = Area({400, 300}, RGB(0, 0, 255));
  desk.Pick(red, MouseButton::Right);
  EXPECT_EQ(desk.sim.ClipboardText(), "#FF0000");
  desk.Pick(blue, MouseButton::Middle);
  EXPECT_EQ(desk.sim.ClipboardText(), "#0000FF");
  desk.Pick(red, MouseButton::Left);
  EXPECT_EQ(desk.sim.ClipboardText(), "#FF0000");
}

TEST_F(PickTest, TheCrosshairBecomesThePointerAndComesBack) {
  const Rect client = desk.sim.ClientRect(desk.MainWindow());
  const Point dot = desk.CrosshairCentre();
  EXPECT_EQ(desk.sim.ScreenPixel(dot), 0);  // the centre dot is drawn black
  EXPECT_EQ(desk.sim.ShownPointer(), nullptr);

  desk.PressOnCrosshair();
  EXPECT_EQ(desk.sim.ShownPointer(), &pictures::Crosshair());
  EXPECT_FALSE(desk.main().picCursor().Visible());
  EXPECT_EQ(desk.main().MousePointer(), vbCustom);
  // The empty picker box shows where the crosshair was.
  EXPECT_EQ(desk.sim.ScreenPixel(dot), desk.sim.gdi().GetSysColor(COLOR_BTNFACE));
  // The pointer stays the crosshair wherever it goes.
  desk.sim.MoveCursor({client.right + 300, client.bottom + 200});
  desk.sim.Advance(3);
  EXPECT_EQ(desk.sim.ShownPointer(), &pictures::Crosshair());

  desk.sim.Release();
  EXPECT_EQ(desk.sim.ShownPointer(), nullptr);
  EXPECT_TRUE(desk.main().picCursor().Visible());
  EXPECT_EQ(desk.main().MousePointer(), vbDefault);
  EXPECT_EQ(desk.sim.ScreenPixel(dot), 0);
  EXPECT_EQ(desk.sim.CaptureWindow(), Hwnd{});
}

TEST_F(PickTest, TheReleaseStopsTheSampling) {
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  const Point blue = Area({400, 300}, RGB(0, 0, 255));
  desk.Pick(red);
  EXPECT_FALSE(desk.main().timSpy().Enabled());
  EXPECT_EQ(desk.sim.ActiveTimers(), 0);
  desk.sim.log().Clear();
  desk.sim.MoveCursor(blue);
  desk.sim.Advance(100);
  EXPECT_EQ(desk.sim.log().Count("GetPixel"), 0);
  EXPECT_EQ(desk.main().lblHEXvalue().Caption(), "#FF0000");
  EXPECT_EQ(desk.main().picColor().BackColor(), RGB(255, 0, 0));
}

TEST_F(PickTest, ThePixelSampledIsTheOneUnderTheHotSpot) {
  // A one-pixel island in a field: only the exact pixel gives its color.
  desk.sim.FillBackground({500, 500, 540, 540}, RGB(0, 0, 0));
  desk.sim.SetBackgroundPixel({520, 520}, RGB(1, 2, 3));
  desk.Pick({520, 520});
  EXPECT_EQ(desk.sim.ClipboardText(), "#010203");
  desk.Pick({521, 520});
  EXPECT_EQ(desk.sim.ClipboardText(), "#000000");
}

TEST_F(PickTest, PressAndReleaseWithoutMovingSamplesUnderTheCrosshairsBox) {
  // The crosshair is hidden at the press, so what lies under it is the frame.
  desk.PressOnCrosshair();
  desk.sim.Advance(2);
  desk.sim.Release();
  EXPECT_EQ(desk.sim.ClipboardText(), "#F5F5F5");  // the button face
}

TEST_F(PickTest, EveryTickReadsCursorThenScreenAndGivesTheContextBack) {
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  desk.PressOnCrosshair();
  const auto& log = desk.sim.log();
  EXPECT_EQ(log.Count("DrawTitleBarActive(" + HandleText(desk.MainWindow()) + ")"), 1);
  EXPECT_EQ(log.Count("GetPixel"), 0);  // the press samples nothing itself
  desk.sim.log().Clear();
  desk.sim.MoveCursor(red);
  desk.sim.Advance(3);
  // What matters: each pixel is read where the cursor was just found, through a
  // screen context that is given back.
  int cursor_reads = 0, contexts_held = 0, pixels = 0;
  for (const std::string& e : log.Entries()) {
    if (e.starts_with("GetCursorPos")) ++cursor_reads;
    if (e.starts_with("GetDC")) ++contexts_held;
    if (e.starts_with("ReleaseDC")) --contexts_held;
    if (e.starts_with("GetPixel")) {
      EXPECT_GT(cursor_reads, pixels) << "pixel " << pixels;
      EXPECT_EQ(contexts_held, 1) << "pixel " << pixels;
      ++pixels;
    }
  }
  EXPECT_EQ(pixels, 3);
  EXPECT_EQ(contexts_held, 0);
  desk.sim.Release();
}

TEST_F(PickTest, AnUnchangedColorLeavesTheSwatchAlone) {
  const Point green = Area({300, 300}, RGB(0, 255, 0));
  desk.PressOnCrosshair();
  desk.sim.MoveCursor(green);
  desk.sim.Advance(1);
  const int presents = desk.sim.Presents(desk.MainWindow());
  desk.sim.Advance(100);  // a hundred ticks on the same pixel
  EXPECT_EQ(desk.sim.Presents(desk.MainWindow()), presents);
  EXPECT_EQ(desk.main().lblHEXvalue().Caption(), "#00FF00");
  desk.sim.Release();
}

TEST_F(PickTest, ReleaseOverAnotherProgramsWindowGivesItNoClick) {
  const Hwnd other = desk.sim.AddForeignWindow({1200, 600, 1500, 800}, RGB(5, 10, 200));
  desk.Pick({1300, 700});
  EXPECT_EQ(desk.sim.MouseEventsReceived(other), 0);
  EXPECT_EQ(desk.sim.ClipboardText(), "#050AC8");
  // Without a pick, the same window does get the user's clicks.
  desk.sim.MoveCursor({1300, 700});
  desk.sim.Press();
  desk.sim.Release();
  EXPECT_EQ(desk.sim.MouseEventsReceived(other), 2);
}

TEST_F(PickTest, TwoPicksInARowShowTheFirstColorUntilTheFirstTick) {
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  const Point blue = Area({400, 300}, RGB(0, 0, 255));
  desk.Pick(red);
  desk.PressOnCrosshair();
  desk.sim.MoveCursor(blue);
  EXPECT_EQ(desk.main().lblHEXvalue().Caption(), "#FF0000");
  EXPECT_EQ(desk.main().picColor().BackColor(), RGB(255, 0, 0));
  desk.sim.Advance(1);
  EXPECT_EQ(desk.main().lblHEXvalue().Caption(), "#0000FF");
  desk.sim.Release();
  EXPECT_EQ(desk.sim.ClipboardText(), "#0000FF");
}

// A release before the pick has read the screen never copies an earlier
// pick's code: it copies the pixel under the release point once it can be
// read, or nothing when no frame comes in time.
TEST_F(PickTest, AReleaseBeforeThePicksFirstReadWaitsForIt) {
  const struct {
    const char* name;
    int frames_after;  // from the press
    bool asking;       // the desktop asks the user meanwhile
    int held;          // from the press to the release
    int waited;        // after the release, before looking
    const char* clipboard;
    const char* title;
  } table[] = {
      {"a click quicker than a tick", 0, false, 0, 1, "#0000FF", "HUEVEX"},
      {"frames that come late", 600, false, 100, 499, "the user's text", "HUEVEX"},
      {"... and then come", 600, false, 100, 501, "#0000FF", "HUEVEX"},
      {"no frame in time", 5000, false, 100, 2100, "the user's text", "HUEVEX - NOT COPIED"},
      {"a question still open", 20000, true, 100, 19000, "the user's text", "HUEVEX"},
      {"... and answered", 20000, true, 100, 19900, "#0000FF", "HUEVEX"},
      {"a question never answered", 200000, true, 100, 120000, "the user's text",
       "HUEVEX - NOT COPIED"},
  };
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  const Point blue = Area({400, 300}, RGB(0, 0, 255));
  for (const auto& row : table) {
    Desktop d;
    d.sim.FillBackground({red.x - 10, red.y - 10, red.x + 10, red.y + 10}, RGB(255, 0, 0));
    d.sim.FillBackground({blue.x - 10, blue.y - 10, blue.x + 10, blue.y + 10}, RGB(0, 0, 255));
    d.Pick(red);
    d.sim.ExternalClipboardText("the user's text");
    d.PressOnCrosshair();
    d.sim.FramesAfter(row.frames_after);
    d.sim.SetScreenAwaitsAnswer(row.asking);
    d.sim.MoveCursor(blue);
    d.sim.Advance(row.held);
    d.sim.Release();
    d.sim.MoveCursor(red);  // where the pointer goes after the release does not count
    d.sim.Advance(row.waited);
    EXPECT_EQ(d.sim.ClipboardText(), row.clipboard) << row.name;
    EXPECT_EQ(d.sim.Title(d.MainWindow()), row.title) << row.name;
    const bool copied = std::string_view(row.clipboard) == "#0000FF";
    EXPECT_EQ(d.main().lblHEXvalue().Caption(), copied ? "#0000FF" : "#FF0000") << row.name;
    if (copied || std::string_view(row.title) != "HUEVEX") {
      EXPECT_EQ(d.sim.ActiveTimers(), 0) << row.name;  // the wait is over
    }
  }
}

// A flick: the last tick read where the pointer was, the release comes
// before a tick saw where it went. The release point is what is copied.
TEST_F(PickTest, AReleaseWhereNoTickReadCopiesTheReleasePoint) {
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  const Point blue = Area({400, 300}, RGB(0, 0, 255));
  desk.PressOnCrosshair();
  desk.sim.MoveCursor(red);
  desk.sim.Advance(5);
  desk.sim.MoveCursor(blue);
  desk.sim.Release();
  EXPECT_FALSE(desk.sim.ClipboardText().has_value());
  desk.sim.Advance(1);
  EXPECT_EQ(desk.sim.ClipboardText(), "#0000FF");
  EXPECT_EQ(desk.main().lblHEXvalue().Caption(), "#0000FF");
  EXPECT_EQ(desk.sim.ActiveTimers(), 0);
}

TEST_F(PickTest, ANewPickEndsAReleasesWaitAndATitleGoesBackOnTheNextCopy) {
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  const Point blue = Area({400, 300}, RGB(0, 0, 255));
  desk.PressOnCrosshair();
  desk.sim.FramesAfter(10000);
  desk.sim.MoveCursor(blue);
  desk.sim.Release();
  desk.sim.Advance(2100);
  EXPECT_EQ(desk.sim.Title(desk.MainWindow()), "HUEVEX - NOT COPIED");
  EXPECT_FALSE(desk.sim.ClipboardText().has_value());

  desk.PressOnCrosshair();
  desk.sim.Release();  // waiting at the crosshair's box ...
  desk.sim.FramesAfter(0);
  desk.Pick(red);  // ... until this pick takes over
  desk.sim.Advance(100);
  EXPECT_EQ(desk.sim.ClipboardText(), "#FF0000");
  EXPECT_EQ(desk.sim.Title(desk.MainWindow()), "HUEVEX");
  EXPECT_EQ(desk.sim.ActiveTimers(), 0);
}

TEST_F(PickTest, AFailedScreenReadKeepsSwatchAndCodes) {
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  desk.PressOnCrosshair();
  desk.sim.MoveCursor(red);
  desk.sim.Advance(1);
  desk.sim.SetScreenReadable(false);
  desk.sim.MoveCursor(Area({400, 300}, RGB(0, 0, 255)));
  desk.sim.Advance(10);
  EXPECT_EQ(desk.main().picColor().BackColor(), RGB(255, 0, 0));
  EXPECT_EQ(desk.main().lblDECvalue().Caption(), "255");
  EXPECT_EQ(desk.main().lblRGBvalue().Caption(), "255,0,0");
  EXPECT_EQ(desk.main().lblHEXvalue().Caption(), "#FF0000");
  desk.sim.Release();
  // The release point cannot be read either: after a short wait the pick's
  // own last read is copied.
  desk.sim.Advance(FrmMain::kReleasePointWaitMs - 1);
  EXPECT_FALSE(desk.sim.ClipboardText().has_value());
  desk.sim.Advance(1);
  EXPECT_EQ(desk.sim.ClipboardText(), "#FF0000");
}

TEST_F(PickTest, AScreenWithNoWayInIsToldOnceAndThenShownInTheTitle) {
  const Hwnd main = desk.MainWindow();
  desk.sim.ReportScreenAccess(ScreenAccess::Unreadable, "the portal refused");
  desk.sim.ReportScreenAccess(ScreenAccess::Unreadable, "the portal refused");
  ASSERT_EQ(desk.sim.ErrorsShown().size(), 1u);
  EXPECT_NE(desk.sim.ErrorsShown()[0].find("the portal refused"), std::string::npos);
  EXPECT_EQ(desk.sim.Title(main), "HUEVEX - SCREEN NOT READABLE");
  EXPECT_FALSE(desk.sim.QuitRequested());
  desk.sim.ReportScreenAccess(ScreenAccess::Readable, "");
  EXPECT_EQ(desk.sim.Title(main), "HUEVEX");
  desk.sim.ReportScreenAccess(ScreenAccess::Unreadable, "the capture failed");
  EXPECT_EQ(desk.sim.Title(main), "HUEVEX - SCREEN NOT READABLE");
  EXPECT_EQ(desk.sim.ErrorsShown().size(), 1u);  // the box comes only the first time
  // A question the desktop keeps open is no failure: a box of its own points
  // at it, once, and the title does not call the screen unreadable.
  for (int i = 0; i < 2; ++i) desk.sim.ReportScreenAccess(ScreenAccess::StillAsking, "");
  ASSERT_EQ(desk.sim.ErrorsShown().size(), 2u);
  EXPECT_NE(desk.sim.ErrorsShown()[1].find("dialog"), std::string::npos);
  EXPECT_EQ(desk.sim.Title(main), "HUEVEX");
}

TEST_F(PickTest, ABusyClipboardIsRetriedThenReportedWithoutEndingTheProgram) {
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  // Busy for a moment: the copy lands a few retries later.
  desk.sim.MakeClipboardBusy(3);
  desk.Pick(red);
  EXPECT_NE(desk.sim.ClipboardText(), "#FF0000");
  desk.sim.Advance(100);
  EXPECT_EQ(desk.sim.ClipboardText(), "#FF0000");
  EXPECT_EQ(desk.sim.Title(desk.MainWindow()), "HUEVEX");

  // Held by another program for good: the copy is given up and the title says so.
  desk.sim.ExternalClipboardText("held");
  desk.sim.MakeClipboardBusy(1000);
  desk.Pick(Area({400, 300}, RGB(0, 0, 255)));
  desk.sim.Advance(1000);
  EXPECT_EQ(desk.sim.ClipboardText(), "held");
  EXPECT_EQ(desk.sim.Title(desk.MainWindow()), "HUEVEX - NOT COPIED");
  EXPECT_FALSE(desk.sim.QuitRequested());
  EXPECT_TRUE(desk.sim.ErrorsShown().empty());

  // Once the clipboard is free again the next pick copies and the title recovers.
  desk.sim.MakeClipboardBusy(0);
  desk.Pick(red);
  EXPECT_EQ(desk.sim.ClipboardText(), "#FF0000");
  EXPECT_EQ(desk.sim.Title(desk.MainWindow()), "HUEVEX");
}

// While a pick holds the button the arrow keys move the sampled point, and
// the pointer with it, a pixel at a time (ten with Shift; a held key repeats),
// stopping at the screen's edges.
TEST_F(PickTest, ArrowKeysNudgeThePickedPoint) {
  struct Key {
    int key;
    bool shift;
  };
  const struct {
    const char* name;
    Point from;
    std::vector<Key> keys;
    Point to;
  } table[] = {
      {"left", {500, 500}, {{VK_LEFT, false}}, {499, 500}},
      {"right", {500, 500}, {{VK_RIGHT, false}}, {501, 500}},
      {"up", {500, 500}, {{VK_UP, false}}, {500, 499}},
      {"down", {500, 500}, {{VK_DOWN, false}}, {500, 501}},
      {"shift right twice", {500, 500}, {{VK_RIGHT, true}, {VK_RIGHT, true}}, {520, 500}},
      {"up held, repeating",
       {500, 500},
       {{VK_UP, false}, {VK_UP, false}, {VK_UP, false}},
       {500, 497}},
      {"there and back", {500, 500}, {{VK_LEFT, true}, {VK_RIGHT, false}}, {491, 500}},
      {"past the left edge", {3, 500}, {{VK_LEFT, true}}, {0, 500}},
      {"past the bottom right corner",
       {1915, 1075},
       {{VK_RIGHT, true}, {VK_DOWN, true}},
       {1919, 1079}},
  };
  for (const auto& row : table) {
    Desktop d;
    d.sim.FillBackground({0, 0, 1920, 1080}, RGB(0, 0, 0));
    d.sim.SetBackgroundPixel(row.to, RGB(1, 2, 3));
    d.PressOnCrosshair();
    d.sim.MoveCursor(row.from);
    d.sim.Advance(2);
    for (const Key& key : row.keys) d.sim.KeyDown(key.key, key.shift);
    // No tick between the last key and the release: the key sampled the point.
    EXPECT_EQ(d.sim.Cursor(), row.to) << row.name;
    EXPECT_EQ(d.main().lblHEXvalue().Caption(), "#010203") << row.name;
    d.sim.Release();
    EXPECT_EQ(d.sim.ClipboardText(), "#010203") << row.name;
  }
}

// Esc backs out of a pick: the pointer and the crosshair come back, sampling
// stops, the swatch and codes show what they did before, and the release
// copies nothing. Outside a pick the keys do nothing.
TEST_F(PickTest, EscBacksOutOfAPick) {
  const Point red = Area({300, 300}, RGB(255, 0, 0));
  const Point blue = Area({400, 300}, RGB(0, 0, 255));
  desk.Pick(red);
  desk.sim.ExternalClipboardText("the user's text");
  desk.project.frmZoom().Show();
  desk.PressOnCrosshair();
  desk.sim.MoveCursor(blue);
  desk.sim.Advance(5);
  desk.sim.KeyDown(VK_RIGHT);
  desk.sim.Advance(5);
  ASSERT_EQ(desk.main().lblHEXvalue().Caption(), "#0000FF");
  desk.sim.KeyDown(VK_ESCAPE);
  EXPECT_EQ(desk.sim.ShownPointer(), nullptr);
  EXPECT_TRUE(desk.main().picCursor().Visible());
  EXPECT_FALSE(desk.project.frmZoom().Loaded());
  EXPECT_EQ(desk.sim.ActiveTimers(), 0);
  EXPECT_EQ(desk.main().picColor().BackColor(), RGB(255, 0, 0));
  EXPECT_EQ(desk.main().lblDECvalue().Caption(), "255");
  EXPECT_EQ(desk.main().lblRGBvalue().Caption(), "255,0,0");
  EXPECT_EQ(desk.main().lblHEXvalue().Caption(), "#FF0000");
  desk.sim.Release();
  desk.sim.Advance(100);
  EXPECT_EQ(desk.sim.ClipboardText(), "the user's text");
  EXPECT_EQ(desk.main().lblHEXvalue().Caption(), "#FF0000");
  EXPECT_EQ(desk.sim.Title(desk.MainWindow()), "HUEVEX");

  // The keys outside a pick, then a pick after the Esc.
  desk.sim.MoveCursor(blue);
  for (int key : {VK_LEFT, VK_ESCAPE}) desk.sim.KeyDown(key);
  EXPECT_EQ(desk.sim.Cursor(), blue);
  desk.Pick(blue);
  EXPECT_EQ(desk.sim.ClipboardText(), "#0000FF");
}

TEST_F(PickTest, PicksOnAMonitorLeftOfAndAboveThePrimary) {
  Desktop two({{{0, 0, 1920, 1080}, 96}, {{-1280, -300, 0, 724}, 96}});
  two.sim.FillBackground({-1000, -200, -980, -180}, RGB(5, 10, 200));
  two.Pick({-990, -190});
  EXPECT_EQ(two.sim.ClipboardText(), "#050AC8");
}

TEST_F(PickTest, TheReleaseUnloadsTheMagnifierShownOrHidden) {
  FrmZoom& zoom = desk.project.frmZoom();
  zoom.Show();
  const Hwnd shown = zoom.Window();
  ASSERT_TRUE(desk.sim.IsVisible(shown));
  desk.Pick(Area({300, 300}, RGB(255, 0, 0)));
  EXPECT_FALSE(zoom.Loaded());
  EXPECT_FALSE(desk.sim.Exists(shown));

  zoom.Show();
  zoom.Hide();
  const Hwnd hidden = zoom.Window();
  desk.Pick(Area({300, 300}, RGB(255, 0, 0)));
  EXPECT_FALSE(zoom.Loaded());
  EXPECT_FALSE(desk.sim.Exists(hidden));

  // Never opened: the release makes no window.
  const size_t windows = desk.sim.Windows().size();
  desk.Pick(Area({300, 300}, RGB(255, 0, 0)));
  EXPECT_EQ(desk.sim.Windows().size(), windows);
}

// The command that picks once: the crosshair is the pointer at once; a click
// or Enter picks (the code copied and printed, status 0), Esc backs out
// (nothing copied or printed, status 1), and a screen that gives nothing is
// trouble (status 2).
TEST_F(PickTest, ThePickCommandPicksOnceAndSaysHowItEnded) {
  const struct {
    const char* name;
    std::function<void(Desktop&)> user;
    const char* printed;
    const char* clipboard;
    int status;
    int frames_after = 0;
  } table[] = {
      {"a click", [](Desktop& d) { d.sim.Press(), d.sim.Release(); }, "#0000FF\n", "#0000FF", 0},
      {"a right click, dragged on",
       [](Desktop& d) {
         d.sim.Press(MouseButton::Right);
         d.sim.MoveCursor({420, 302});
         d.sim.Advance(2);
         d.sim.Release(MouseButton::Right);
       },
       "#FF0000\n", "#FF0000", 0},
      {"Enter", [](Desktop& d) { d.sim.KeyDown(VK_RETURN); }, "#0000FF\n", "#0000FF", 0},
      {"a nudge, then Enter",
       [](Desktop& d) {
         d.sim.KeyDown(VK_RIGHT, true);
         d.sim.KeyDown(VK_RETURN);
       },
       "#FF0000\n", "#FF0000", 0},
      {"Esc", [](Desktop& d) { d.sim.KeyDown(VK_ESCAPE); }, "", "the user's text", 1},
      {"an unreadable screen",
       [](Desktop& d) {
         d.sim.KeyDown(VK_RETURN);
         d.sim.Advance(2500);
       },
       "", "the user's text", 2, 10'000},
      {"the desktop refusing the screen before a click",
       [](Desktop& d) { d.sim.ReportScreenAccess(ScreenAccess::Unreadable, "refused"); }, "",
       "the user's text", 2, 10'000},
  };
  for (const auto& row : table) {
    Desktop d({{{0, 0, 1920, 1080}, 96}}, 0, {405, 305}, Desktop::StartAs::PickCommand,
              [&](sim::SimDesktop& sim) {
                sim.FillBackground({400, 300, 410, 310}, RGB(0, 0, 255));
                sim.FillBackground({410, 300, 430, 310}, RGB(255, 0, 0));
                sim.ExternalClipboardText("the user's text");
                sim.FramesAfter(row.frames_after);
              });
    EXPECT_EQ(d.sim.ShownPointer(), &pictures::Crosshair()) << row.name;
    d.sim.Advance(3);
    row.user(d);
    EXPECT_EQ(d.printed, row.printed) << row.name;
    EXPECT_EQ(d.sim.ClipboardText(), row.clipboard) << row.name;
    EXPECT_EQ(d.project.ExitStatus(), row.status) << row.name;
    EXPECT_EQ(d.troubles.empty(), row.status != 2) << row.name << ": " << d.troubles;
    EXPECT_TRUE(d.sim.QuitRequested()) << row.name;
    EXPECT_EQ(d.sim.CaptureWindow(), Hwnd{}) << row.name;
  }
}

// The window and the magnifier show beside the point and follow it, on its
// monitor, flipping to the other side at the monitor's edges.
TEST_F(PickTest, ThePickCommandsWindowsKeepBesideThePoint) {
  Desktop d({{{0, 0, 1920, 1080}, 96}, {{1920, 0, 3200, 1024}, 96}}, 0, {500, 500},
            Desktop::StartAs::PickCommand);
  for (Point p : {Point{500, 500}, Point{1910, 1070}, Point{1925, 5}, Point{3190, 1000}}) {
    d.sim.MoveCursor(p);
    d.sim.Advance(2);
    const Rect monitor = p.x < 1920 ? Rect{0, 0, 1920, 1080} : Rect{1920, 0, 3200, 1024};
    for (Hwnd window : {d.MainWindow(), d.project.frmZoom().Window()}) {
      const Rect outer = d.sim.GetOuterRect(window);
      EXPECT_TRUE(d.sim.IsVisible(window)) << p.x;
      EXPECT_FALSE(outer.Contains(p)) << p.x;
      EXPECT_EQ(Intersect(outer, monitor), outer) << p.x << " " << outer.left << "," << outer.top;
    }
    EXPECT_EQ(d.sim.GetOuterRect(d.project.frmZoom().Window()).top,
              d.sim.GetOuterRect(d.MainWindow()).bottom);
  }
}

// The shortcut starts the same pick in the running program, whose window
// stays where it is; a click on that window picks its pixel rather than
// pressing what lies there, and a button held from before does nothing.
TEST_F(PickTest, TheShortcutArmsAPickInTheRunningProgram) {
  const Point blue = Area({400, 300}, RGB(0, 0, 255));
  ASSERT_EQ(desk.sim.RegisteredShortcut(), kDefaultShortcut);
  const Rect main = desk.sim.GetOuterRect(desk.MainWindow());
  const Hwnd other = desk.sim.AddForeignWindow({1200, 600, 1500, 800}, RGB(5, 10, 200));
  desk.sim.MoveCursor({1300, 700});
  desk.sim.Press();  // on the other program's window, held through the shortcut
  desk.sim.PressShortcut();
  EXPECT_EQ(desk.sim.ShownPointer(), &pictures::Crosshair());
  desk.sim.MoveCursor(blue);
  desk.sim.Release();
  desk.sim.Advance(2);
  EXPECT_FALSE(desk.sim.ClipboardText().has_value());
  desk.sim.Press();
  desk.sim.Release();
  EXPECT_EQ(desk.sim.ClipboardText(), "#0000FF");
  EXPECT_EQ(desk.sim.MouseEventsReceived(other), 1);
  EXPECT_EQ(desk.sim.GetOuterRect(desk.MainWindow()), main);
  EXPECT_FALSE(desk.sim.QuitRequested());
  EXPECT_TRUE(desk.printed.empty());

  // Armed again, a click on the magnifier bar picks its pixel: no magnifier.
  desk.sim.PressShortcut();
  const Rect client = desk.sim.ClientRect(desk.MainWindow());
  desk.sim.MoveCursor({client.left + 20, client.bottom - 8});
  desk.sim.Advance(2);
  const ColorValue there = desk.sim.ScreenPixel(desk.sim.Cursor());
  desk.sim.Press();
  desk.sim.Release();
  EXPECT_EQ(desk.main().picColor().BackColor(), there);
  EXPECT_FALSE(desk.project.frmZoom().Loaded());
}

TEST_F(PickTest, AShortcutTakenElsewhereIsToldOnce) {
  sim::SimDesktop sim;
  sim.ShortcutTakenElsewhere(true);
  std::string troubles;
  Project project(sim.gdi(), sim, {nullptr, [&](std::string_view t) { troubles += t; }});
  project.Start(kDefaultShortcut);
  EXPECT_NE(troubles.find("Super+Alt+C"), std::string::npos) << troubles;
  EXPECT_FALSE(sim.RegisteredShortcut().has_value());
  EXPECT_TRUE(sim.IsVisible(project.frmMain().Window()));
}

}  // namespace
}  // namespace huevex::testing
