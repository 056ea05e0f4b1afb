// The help panel: its toggle, its placement and its texts.
#include <gtest/gtest.h>

#include "scenario/harness.h"

namespace huevex::testing {
namespace {

class HelpTest : public ::testing::Test {
 protected:
  void ClickQuestion() {
    const Rect client = desk.sim.ClientRect(desk.MainWindow());
    desk.sim.MoveCursor({client.left + 150, client.top + 85});
    desk.sim.Press();
    desk.sim.Release();
  }
  FrmAbout& about() { return desk.project.frmAbout(); }
  Desktop desk;
};

TEST_F(HelpTest, TogglesDirectlyBelowTheMainWindowAndKeepsItsPlace) {
  const Rect main = desk.sim.GetOuterRect(desk.MainWindow());
  ClickQuestion();
  const Hwnd panel = about().Window();
  ASSERT_TRUE(desk.sim.IsVisible(panel));
  const Rect placed = desk.sim.GetOuterRect(panel);
  EXPECT_EQ(placed, (Rect{main.left, main.bottom, main.left + 175, main.bottom + 106}));
  EXPECT_FALSE(desk.sim.IsTopmost(panel));
  EXPECT_FALSE(desk.sim.HasTaskbarButton(panel));

  ClickQuestion();
  EXPECT_FALSE(desk.sim.IsVisible(panel));
  EXPECT_TRUE(about().Loaded());  // hidden, not unloaded
  desk.sim.DragWindow(desk.MainWindow(), {300, 300});
  ClickQuestion();
  EXPECT_TRUE(desk.sim.IsVisible(panel));
  EXPECT_EQ(desk.sim.GetOuterRect(panel), placed);
  // A pick does not unload it.
  desk.Pick({700, 700});
  EXPECT_TRUE(desk.sim.IsVisible(panel));
}

TEST_F(HelpTest, TheMagnifierCoversTheHelpPanel) {
  ClickQuestion();
  const Rect client = desk.sim.ClientRect(desk.MainWindow());
  desk.sim.MoveCursor({client.left + 60, client.top + 85});
  desk.sim.Press();
  desk.sim.Release();
  desk.sim.MoveCursor({10, 10});
  desk.sim.Advance(50);
  const Rect panel = desk.sim.GetOuterRect(about().Window());
  EXPECT_EQ(desk.sim.GetOuterRect(desk.project.frmZoom().Window()), panel);
  // The magnifier's grid shows where the help panel lies.
  EXPECT_EQ(desk.sim.ScreenPixel({panel.left + 17, panel.top + 17}), 0x808080);
}

TEST_F(HelpTest, ShowsItsFourLinesOfText) {
  ClickQuestion();
  EXPECT_EQ(about().Get<Label>("lblAboutHead").Caption(), "USiNG HUEVEX:");
  EXPECT_EQ(about().Get<Label>("lblAboutBody").Caption(),
            "DRAG CROSSHAiR FROM PiCKER BOX AND DROP ON COLOR TO GET CODES.");
  EXPECT_EQ(about().Get<Label>("lblAboutProtip").Caption(), "PROTiP: ");
  EXPECT_EQ(about().Get<Label>("lblAboutFoot").Caption(),
            "USE THE MAGNiFiER DROPDOWN TO ZOOM iN ON SMALLER iTEMS!");
  // Some of it is drawn: dark pixels in the heading's row.
  const Rect client = desk.sim.ClientRect(about().Window());
  int dark = 0;
  for (int y = client.top + 8; y < client.top + 25; ++y) {
    for (int x = client.left + 8; x < client.left + 169; ++x) {
      dark += desk.sim.ScreenPixel({x, y}) == 0;
    }
  }
  EXPECT_GT(dark, 0);
}

TEST_F(HelpTest, ClosingTheMainWindowClosesThePanelToo) {
  ClickQuestion();
  desk.sim.ClickCloseBox(desk.MainWindow());
  EXPECT_FALSE(about().Loaded());
  EXPECT_TRUE(desk.sim.Windows().empty());
  EXPECT_TRUE(desk.sim.QuitRequested());
}

}  // namespace
}  // namespace huevex::testing
