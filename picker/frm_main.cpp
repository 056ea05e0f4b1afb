#include "picker/frm_main.h"

#include <algorithm>

#include "picker/codes.h"
#include "resources/layouts.h"
#include "shell/platform/gdi_owners.h"
#include "shell/platform/monitors.h"

namespace huevex {
namespace {

// How far from the point the window and the magnifier keep, at 96 DPI: past
// the crosshair's half and out of the magnifier's own view.
constexpr int kBesideGap = 32;

}  // namespace

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
// one timer period later. A press while the pick is armed is the click that
// picks: the pick goes on as a drag does, to its release.
void FrmMain::picCursor_MouseDown(int, int, Single, Single) {
  if (phase_ != PickPhase::Armed) StartPick();
  phase_ = PickPhase::Picking;
  // Keep the title bar looking active while the pointer roams other windows.
  runtime().windows().DrawTitleBarActive(hWnd());
  timSpy().Enabled(true);
}

void FrmMain::ArmPick(bool beside_pointer) {
  if (phase_ == PickPhase::Armed || phase_ == PickPhase::Picking) return;
  StartPick();
  if (!runtime().CaptureAll(*this, picCursor())) {
    phase_ = PickPhase::Idle;
    EndPick();
    Ended(PickEnd::PointerHeld);
    return;
  }
  phase_ = PickPhase::Armed;
  beside_pointer_ = beside_pointer;
  if (beside_pointer_) {
    placedAt_.reset();
    frmZoom_.Show();
    Show();
  }
  timSpy().Enabled(true);
  timSpy_Timer();  // the swatch and the window are there at once, not a tick later
}

// What every pick starts with: the crosshair becomes the pointer, and what
// the swatch and codes show is kept for Esc. A release still waiting for its
// point is given up for the new pick.
void FrmMain::StartPick() {
  if (phase_ != PickPhase::Picking) {
    beforePick_ = {picColor().BackColor(), lblDECvalue().Caption(), lblRGBvalue().Caption(),
                   lblHEXvalue().Caption()};
    pickSampled_ = false;
  }
  MousePointer(vbCustom);
  MouseIcon(picCursor().Picture());
  picCursor().Visible(false);
}

void FrmMain::picCursor_MouseUp(int, int, Single, Single) { Release(); }

// The release puts the crosshair back and copies the HEX code of the last
// tick, when that tick read the release point. Otherwise (a flick released
// before a tick saw where it went, a click quicker than a tick, a screen whose
// frames come late) sampling goes on at the release point until it is read,
// and that is copied. If the wait ends first, the pick's own last read is
// copied, and where it made none, nothing: never an earlier pick's code.
void FrmMain::Release() {
  // After Esc, no release copies anything until the next press.
  if (phase_ == PickPhase::Cancelled) return;
  EndPick();
  Point at{0, 0};
  runtime().gdi().GetCursorPos(&at);
  if (pickSampled_ && at == lastSampled_) {
    phase_ = PickPhase::Idle;
    CopyPicked();
    return;
  }
  phase_ = PickPhase::AwaitingReleasePoint;
  releasePoint_ = at;
  releaseSince_ = runtime().windows().GetTickCount();
  timSpy().Enabled(true);
}

// The pointer and the crosshair come back, the magnifier closes, sampling stops.
void FrmMain::EndPick() {
  beside_pointer_ = false;
  MousePointer(vbDefault);
  picCursor().Visible(true);
  Unload(frmZoom_);
  timSpy().Enabled(false);
}

// The HEX code the pick last read; where it read nothing, the clipboard keeps
// what it held and the title says so.
void FrmMain::CopyPicked() {
  if (pickSampled_) {
    Ended(PickEnd::Copied);  // before the copy, which may be told at once
    Clipboard().SetText(lblHEXvalue().Caption());
  } else {
    Ended(PickEnd::NothingRead);
    Clipboard().GiveUp();
  }
}

void FrmMain::Ended(PickEnd end) {
  if (pick_ended_) pick_ended_(end);
}

// While a pick runs the arrow keys move the sampled point by a pixel (ten
// with Shift) and Esc backs out of it; Enter picks where a pick armed with no
// press points. At other times the keys do nothing here.
void FrmMain::Form_KeyDown(int& keyCode, int shift) {
  if (phase_ != PickPhase::Picking && phase_ != PickPhase::Armed) return;
  const int step = (shift & vbShiftMask) ? 10 : 1;
  switch (keyCode) {
    case vbKeyReturn:
      if (phase_ == PickPhase::Armed) {
        Release();  // where the point is while the mouse is held, nudges and all
        runtime().ReleaseMouse();
      }
      break;
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
// swatch and codes the pick started from; the button's release then does
// nothing. An armed pick lets go of the mouse it holds with no button down.
void FrmMain::CancelPick(PickEnd end) {
  if (phase_ == PickPhase::Armed) runtime().ReleaseMouse();
  phase_ = PickPhase::Cancelled;
  EndPick();
  picColor().BackColor(beforePick_.swatch);
  lblDECvalue().Caption(beforePick_.dec);
  lblRGBvalue().Caption(beforePick_.rgb);
  lblHEXvalue().Caption(beforePick_.hex);
  Ended(end);
}

void FrmMain::ScreenUnreadable() {
  if (phase_ == PickPhase::Armed) CancelPick(PickEnd::NothingRead);
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
  Point point{0, 0};
  if (phase_ == PickPhase::AwaitingReleasePoint) {
    point = releasePoint_;
  } else {
    runtime().gdi().GetCursorPos(&point);
  }
  if (beside_pointer_) GoBeside(point);
  const ColorValue color = ReadScreen(point);
  // A read that failed is no color: swatch and codes keep the last one.
  const bool read = color != CLR_INVALID;
  if (read) {
    ShowColor(color);
    pickSampled_ = true;
    lastSampled_ = point;
  }
  if (phase_ == PickPhase::AwaitingReleasePoint) AwaitReleasePoint(read);
}

ColorValue FrmMain::ReadScreen(Point point) {
  Gdi& gdi = runtime().gdi();
  const ScreenDC screen(gdi);
  return gdi.GetPixel(screen.get(), point.x, point.y);
}

void FrmMain::ShowColor(ColorValue color) {
  if (picColor().BackColor() != color) picColor().BackColor(color);
  const ColorValue value = picColor().BackColor();
  lblDECvalue().Caption(DecCode(value));
  lblRGBvalue().Caption(RgbCode(value));
  lblHEXvalue().Caption(HexCode(value));
}

// The window with the magnifier under it, beside the point on the point's
// monitor, moved only when the point has.
void FrmMain::GoBeside(Point point) {
  if (placedAt_ == point) return;
  placedAt_ = point;
  WindowSystem& windows = runtime().windows();
  const Rect main = windows.GetOuterRect(hWnd());
  const Rect zoom = windows.GetOuterRect(frmZoom_.hWnd());
  const Rect area = MonitorFromPoint(windows.GetMonitors(), point).work;
  const Point corner =
      BesidePoint(point, std::max(main.Width(), zoom.Width()), main.Height() + zoom.Height(), area,
                  ScaleForDpi(kBesideGap, Dpi()));
  windows.MoveTopLevel(hWnd(), corner);
  windows.MoveTopLevel(frmZoom_.hWnd(), {corner.x, corner.y + main.Height()});
}

// The release's wait ends with the read of its point, or when it is over.
void FrmMain::AwaitReleasePoint(bool read) {
  if (!read && !ReleaseWaitOver()) return;
  phase_ = PickPhase::Idle;
  timSpy().Enabled(false);
  CopyPicked();
}

// The wait is longer while the desktop asks the user whether the screen may
// be read: the answer brings the first frame.
bool FrmMain::ReleaseWaitOver() {
  const std::uint32_t waited = runtime().windows().GetTickCount() - releaseSince_;
  if (waited >= kAnswerWaitMs) return true;
  const std::uint32_t limit = pickSampled_ ? kReleasePointWaitMs : kReleaseWaitMs;
  return waited >= limit && !runtime().windows().ScreenAwaitsAnswer();
}

}  // namespace huevex
