#include "picker/frm_main.h"

#include "picker/codes.h"
#include "resources/layouts.h"
#include "shell/platform/gdi_owners.h"

namespace huevex {

FrmMain::FrmMain(Runtime& runtime, Form& frmZoom, Form& frmAbout)
    : Form(runtime, layouts::Main()), frmZoom_(frmZoom), frmAbout_(frmAbout) {
  namespace c = layouts::controls;
  BindMouse(c::picCursor, MouseEvent::MouseDown,
            [this](int b, int s, Single x, Single y) { picCursor_MouseDown(b, s, x, y); });
  BindMouse(c::picCursor, MouseEvent::MouseUp,
            [this](int b, int s, Single x, Single y) { picCursor_MouseUp(b, s, x, y); });
  Bind(c::timSpy, Event::Timer, [this] { timSpy_Timer(); });
  // The magnifier bar: the two pictures and the word beneath them do the same.
  for (std::string_view control : {c::imgMagnify, c::lblMagnify, c::imgCaret}) {
    Bind(control, Event::Click, [this] { ToggleMagnifier(); });
  }
  Bind(c::imgQuestion, Event::Click, [this] { imgQuestion_Click(); });
}

void FrmMain::Form_Load() { runtime().windows().KeepOnTop(hWnd(), true); }

void FrmMain::Form_Unload(int&) {
  Unload(*this);
  Unload(frmZoom_);
  Unload(frmAbout_);
}

// The press picks the crosshair up: it becomes the pointer, and sampling starts
// one timer period later.
void FrmMain::picCursor_MouseDown(int, int, Single, Single) {
  // A release still waiting for the screen is given up for the new pick.
  releaseWait_.reset();
  if (!picking_) {
    beforePick_ = {picColor().BackColor(), lblDECvalue().Caption(), lblRGBvalue().Caption(),
                   lblHEXvalue().Caption()};
    pickSampled_ = false;
  }
  picking_ = true;
  cancelled_ = false;
  MousePointer(vbCustom);
  MouseIcon(picCursor().Picture());
  picCursor().Visible(false);
  // Keep the title bar looking active while the pointer roams other windows.
  runtime().windows().DrawTitleBarActive(hWnd());
  timSpy().Enabled(true);
}

// The release puts the crosshair back and copies the HEX code of the last
// tick, when that tick read the release point. Otherwise (a flick released
// before a tick saw where it went, a click quicker than a tick, a screen whose
// frames come late) sampling goes on at the release point until it is read,
// and that is copied. If the wait ends first, the pick's own last read is
// copied, and where it made none, nothing: never an earlier pick's code.
void FrmMain::picCursor_MouseUp(int, int, Single, Single) {
  // After Esc, no release copies anything until the next press.
  if (cancelled_) return;
  picking_ = false;
  MousePointer(vbDefault);
  picCursor().Visible(true);
  Unload(frmZoom_);
  timSpy().Enabled(false);
  Point at{0, 0};
  runtime().gdi().GetCursorPos(&at);
  if (pickSampled_ && at == lastSampled_) {
    Clipboard().SetText(lblHEXvalue().Caption());
    return;
  }
  releaseWait_ = ReleaseWait{at, runtime().windows().GetTickCount()};
  timSpy().Enabled(true);
}

// While a pick holds the button, the arrow keys move the sampled point by a
// pixel (ten with Shift) and Esc backs out of the pick; at other times the
// keys do nothing here.
void FrmMain::Form_KeyDown(int& keyCode, int shift) {
  if (!picking_) return;
  const int step = (shift & vbShiftMask) ? 10 : 1;
  switch (keyCode) {
    case vbKeyEscape:
      CancelPick();
      break;
    case vbKeyLeft:
      Nudge(-step, 0);
      break;
    case vbKeyRight:
      Nudge(step, 0);
      break;
    case vbKeyUp:
      Nudge(0, -step);
      break;
    case vbKeyDown:
      Nudge(0, step);
      break;
    default:
      break;
  }
}

// The pointer moves (the platform stops it at the screen's edges) and the
// moved point is sampled at once, so that a release right after the key
// copies it; the magnifier follows on its next frame.
void FrmMain::Nudge(int dx, int dy) {
  Gdi& gdi = runtime().gdi();
  Point point{0, 0};
  gdi.GetCursorPos(&point);
  gdi.SetCursorPos(point.x + dx, point.y + dy);
  timSpy_Timer();
}

// Ends the pick as a release would, but copies nothing and puts back the
// swatch and codes the pick started from; the button's release then does nothing.
void FrmMain::CancelPick() {
  picking_ = false;
  cancelled_ = true;
  MousePointer(vbDefault);
  picCursor().Visible(true);
  Unload(frmZoom_);
  timSpy().Enabled(false);
  picColor().BackColor(beforePick_.swatch);
  lblDECvalue().Caption(beforePick_.dec);
  lblRGBvalue().Caption(beforePick_.rgb);
  lblHEXvalue().Caption(beforePick_.hex);
}

namespace {

// Asking a form that is not loaded whether it is visible loads it, placed
// under the main window by its own Form_Load; a fresh form is hidden, so it is
// then shown.
void ShowOrHide(Form& form) {
  if (form.Visible()) {
    form.Hide();
  } else {
    form.Show();
  }
}

}  // namespace

void FrmMain::ToggleMagnifier() { ShowOrHide(frmZoom_); }

void FrmMain::imgQuestion_Click() { ShowOrHide(frmAbout_); }

void FrmMain::timSpy_Timer() {
  Gdi& gdi = runtime().gdi();
  Point point{0, 0};
  if (releaseWait_) {
    point = releaseWait_->at;
  } else {
    gdi.GetCursorPos(&point);
  }
  const ColorValue color = [&] {
    const ScreenDC screen(gdi);
    return gdi.GetPixel(screen.get(), point.x, point.y);
  }();
  // A read that failed is no color: swatch and codes keep the last one.
  if (color == CLR_INVALID) {
    if (releaseWait_ && ReleaseWaitOver()) {
      releaseWait_.reset();
      timSpy().Enabled(false);
      if (pickSampled_) {
        Clipboard().SetText(lblHEXvalue().Caption());
      } else {
        Clipboard().GiveUp();
      }
    }
    return;
  }
  ShowColor(color);
  pickSampled_ = true;
  lastSampled_ = point;
  if (releaseWait_) {
    releaseWait_.reset();
    timSpy().Enabled(false);
    Clipboard().SetText(lblHEXvalue().Caption());
  }
}

void FrmMain::ShowColor(ColorValue color) {
  if (picColor().BackColor() != color) picColor().BackColor(color);
  const ColorValue value = picColor().BackColor();
  lblDECvalue().Caption(DecCode(value));
  lblRGBvalue().Caption(RgbCode(value));
  lblHEXvalue().Caption(HexCode(value));
}

// The wait is longer while the desktop asks the user whether the screen may
// be read: the answer brings the first frame.
bool FrmMain::ReleaseWaitOver() {
  const std::uint32_t waited = runtime().windows().GetTickCount() - releaseWait_->since;
  if (waited >= kAnswerWaitMs) return true;
  const std::uint32_t limit = pickSampled_ ? kReleasePointWaitMs : kReleaseWaitMs;
  return waited >= limit && !runtime().windows().ScreenAwaitsAnswer();
}

}  // namespace huevex
