// The forms toolkit on its own: loading on reference, stacking and hit
// testing, capture, timers and the default handling of run-time errors.
#include "shell/forms/toolkit.h"

#include <gtest/gtest.h>

#include "resources/pictures.h"
#include "shell/platform/sim/sim_desktop.h"

namespace huevex {
namespace {

const FormLayout& TestLayout() {
  static const FormLayout layout{
      .name = "frmTest",
      .caption = "Test",
      .framed = false,
      .taskbar = true,
      .client_width = 3000,
      .client_height = 1500,
      .start_up = StartUpPosition::Manual,
      .controls = {
          {.name = "fraBar",
           .kind = ControlKind::Frame,
           .left = 150,
           .top = 150,
           .width = 1500,
           .height = 450},
          {.name = "imgLeft",
           .kind = ControlKind::Image,
           .container = "fraBar",
           .left = 150,
           .top = 150,
           .width = 240,
           .height = 240,
           .picture = &pictures::Magnifier()},
          {.name = "lblWide",
           .kind = ControlKind::Label,
           .container = "fraBar",
           .left = 150,
           .top = 150,
           .width = 1200,
           .height = 240,
           .caption = "WIDE",
           .transparent = true},
          {.name = "picBox",
           .kind = ControlKind::PictureBox,
           .left = 1800,
           .top = 150,
           .width = 450,
           .height = 450,
           .back_color = RGB(255, 0, 0)},
          {.name = "tmrTick", .kind = ControlKind::Timer, .enabled = false, .interval = 10},
          // A small box over a corner of a box that keeps its drawing.
          {.name = "picAbove",
           .kind = ControlKind::PictureBox,
           .left = 150,
           .top = 900,
           .width = 300,
           .height = 300,
           .back_color = RGB(0, 0, 255),
           .border = false},
          {.name = "picImage",
           .kind = ControlKind::PictureBox,
           .left = 150,
           .top = 750,
           .width = 1500,
           .height = 600,
           .back_color = RGB(0, 255, 0),
           .border = false,
           .pixel_scale = true,
           .persistent_image = true},
      }};
  return layout;
}

class TestForm : public Form {
 public:
  explicit TestForm(Runtime& runtime) : Form(runtime, TestLayout()) {
    Bind("imgLeft", Event::Click, [this] { clicks.push_back("imgLeft"); });
    Bind("lblWide", Event::Click, [this] { clicks.push_back("lblWide"); });
    BindMouse("picBox", MouseEvent::MouseDown, [this](int button, int, Single, Single) {
      clicks.push_back("down" + std::to_string(button));
      Get<PictureBox>("picBox").Visible(false);
    });
    BindMouse("picBox", MouseEvent::MouseUp, [this](int button, int, Single, Single) {
      clicks.push_back("up" + std::to_string(button));
    });
    Bind("tmrTick", Event::Timer, [this] {
      ++ticks;
      if (ticks == raise_on_tick) CInt(40000.0);
    });
  }
  int loads = 0;
  int ticks = 0;
  int raise_on_tick = -1;
  std::vector<std::string> clicks;

 protected:
  void Form_Load() override { ++loads; }
};

class ToolkitTest : public ::testing::Test {
 protected:
  ToolkitTest() : runtime(sim.gdi(), sim), form(runtime) {
    runtime.Dispatch([this] { form.Show(); });
  }
  void ClickAt(int x, int y, MouseButton button = MouseButton::Left) {
    const Rect client = sim.ClientRect(form.Window());
    sim.MoveCursor({client.left + x, client.top + y});
    sim.Press(button);
    sim.Release(button);
  }
  sim::SimDesktop sim;
  Runtime runtime;
  TestForm form;
};

TEST_F(ToolkitTest, ReferenceLoadsAndUnloadDestroys) {
  EXPECT_EQ(form.loads, 1);
  Unload(form);
  EXPECT_FALSE(form.Loaded());
  EXPECT_TRUE(sim.QuitRequested());  // the last form went
  Unload(form);                      // not loaded: nothing happens
  EXPECT_FALSE(form.Loaded());
  form.Get<Label>("lblWide");  // reaching a control loads the form again
  EXPECT_TRUE(form.Loaded());
  EXPECT_FALSE(form.Visible());  // loaded, not shown
  EXPECT_EQ(form.loads, 2);
}

TEST_F(ToolkitTest, ImagesLieAboveTheLabelBeneathThem) {
  // The frame is at (10, 10); the image and the label both start 10 pixels inside it.
  ClickAt(20 + 5, 20 + 5);   // inside imgLeft, which overlaps the label
  ClickAt(20 + 40, 20 + 5);  // the label alone
  ClickAt(12, 12);           // the frame itself: no procedure
  EXPECT_EQ(form.clicks, (std::vector<std::string>{"imgLeft", "lblWide"}));
}

TEST_F(ToolkitTest, TheReleaseReachesThePressedControlWhereverThePointerIs) {
  ClickAt(125, 15, MouseButton::Right);
  EXPECT_EQ(form.clicks, (std::vector<std::string>{"down2", "up2"}));
  // Pressed, hidden by its own MouseDown, released far away on another window.
  form.Get<PictureBox>("picBox").Visible(true);
  form.clicks.clear();
  const Hwnd other = sim.AddForeignWindow({1000, 500, 1200, 700}, 0);
  const Rect client = sim.ClientRect(form.Window());
  sim.MoveCursor({client.left + 125, client.top + 15});
  sim.Press(MouseButton::Middle);
  EXPECT_EQ(sim.CaptureWindow(), form.Window());
  sim.MoveCursor({1100, 600});
  sim.Release(MouseButton::Middle);
  EXPECT_EQ(form.clicks, (std::vector<std::string>{"down4", "up4"}));
  EXPECT_EQ(sim.MouseEventsReceived(other), 0);
  EXPECT_EQ(sim.CaptureWindow(), Hwnd{});
}

TEST_F(ToolkitTest, TimersTickWhileEnabledAndHiddenFormsKeepTicking) {
  Timer& timer = form.Get<Timer>("tmrTick");
  sim.Advance(100);
  EXPECT_EQ(form.ticks, 0);
  timer.Enabled(true);
  sim.Advance(100);
  EXPECT_EQ(form.ticks, 10);
  form.Hide();
  sim.Advance(50);
  EXPECT_EQ(form.ticks, 15);
  timer.Interval(25);
  sim.Advance(50);
  EXPECT_EQ(form.ticks, 17);
  timer.Enabled(false);
  sim.Advance(100);
  EXPECT_EQ(form.ticks, 17);
  EXPECT_EQ(sim.ActiveTimers(), 0);
}

TEST_F(ToolkitTest, ARunTimeErrorIsReportedAndTheProgramEndsCleanly) {
  form.raise_on_tick = 3;
  form.Get<Timer>("tmrTick").Enabled(true);
  sim.Advance(100);
  EXPECT_EQ(form.ticks, 3);  // nothing ran after the error
  ASSERT_EQ(sim.ErrorsShown().size(), 1u);
  EXPECT_EQ(sim.ErrorsShown()[0], "Run-time error '6':\n\nOverflow");
  EXPECT_TRUE(sim.QuitRequested());
  EXPECT_FALSE(form.Loaded());
  EXPECT_TRUE(sim.Windows().empty());
  EXPECT_EQ(sim.ActiveTimers(), 0);
  EXPECT_EQ(sim.gdi().LiveObjects(), 0);
  EXPECT_EQ(sim.gdi().LiveContexts(), 0);
  EXPECT_TRUE(runtime.Ended());
}

TEST_F(ToolkitTest, RefreshShowsTheImageAndKeepsWhatLiesOverIt) {
  const Rect client = sim.ClientRect(form.Window());
  PictureBox& image = form.Get<PictureBox>("picImage");
  EXPECT_DOUBLE_EQ(image.ScaleWidth(), 100);
  EXPECT_DOUBLE_EQ(image.ScaleHeight(), 40);
  image.Cls();
  sim.gdi().FillSolidRect(image.hDC(), {0, 0, 100, 40}, RGB(255, 255, 0));
  // Drawn but not refreshed: the screen still shows the box's own color.
  EXPECT_EQ(sim.ScreenPixel({client.left + 60, client.top + 55}), RGB(0, 255, 0));
  image.Refresh();
  EXPECT_EQ(sim.ScreenPixel({client.left + 60, client.top + 55}), RGB(255, 255, 0));
  EXPECT_EQ(sim.ScreenPixel({client.left + 15, client.top + 65}), RGB(0, 0, 255));
  // Without the box above, the refresh alone puts the image there too.
  form.Get<PictureBox>("picAbove").Visible(false);
  runtime.Dispatch([] {});
  image.Refresh();
  EXPECT_EQ(sim.ScreenPixel({client.left + 15, client.top + 65}), RGB(255, 255, 0));
}

TEST_F(ToolkitTest, ControlsPaintInStackingOrder) {
  const Rect client = sim.ClientRect(form.Window());
  // The picture box's own color inside its one-pixel border.
  EXPECT_EQ(sim.ScreenPixel({client.left + 125, client.top + 15}), RGB(255, 0, 0));
  EXPECT_EQ(sim.ScreenPixel({client.left + 120, client.top + 10}),
            sim.gdi().GetSysColor(COLOR_WINDOWFRAME));
  // The magnifier picture's lens rim, drawn black over the frame; its
  // transparent corner shows the frame's face.
  EXPECT_EQ(sim.ScreenPixel({client.left + 20 + 8, client.top + 20 + 1}), 0);
  EXPECT_EQ(sim.ScreenPixel({client.left + 20 + 0, client.top + 20 + 0}),
            sim.gdi().GetSysColor(COLOR_BTNFACE));
  // Hidden controls leave their container's surface.
  form.Get<PictureBox>("picBox").Visible(false);
  runtime.Dispatch([] {});
  EXPECT_EQ(sim.ScreenPixel({client.left + 125, client.top + 15}),
            sim.gdi().GetSysColor(COLOR_BTNFACE));
}

}  // namespace
}  // namespace huevex
