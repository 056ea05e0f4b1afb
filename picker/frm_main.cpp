#include "picker/frm_main.h"

#include "picker/codes.h"
#include "resources/layouts.h"

namespace huevex {

FrmMain::FrmMain(Runtime& runtime, Form& frmZoom, Form& frmAbout)
    : Form(runtime, layouts::Main()), frmZoom_(frmZoom), frmAbout_(frmAbout) {
  BindMouse("picCursor_MouseDown",
            [this](int b, int s, Single x, Single y) { picCursor_MouseDown(b, s, x, y); });
  BindMouse("picCursor_MouseUp",
            [this](int b, int s, Single x, Single y) { picCursor_MouseUp(b, s, x, y); });
  Bind("timSpy_Timer", [this] { timSpy_Timer(); });
  // The magnifier bar: the two pictures and the word beneath them do the same.
  for (const char* procedure : {"imgMagnify_Click", "lblMagnify_Click", "imgCaret_Click"}) {
    Bind(procedure, [this] { ToggleMagnifier(); });
  }
  Bind("imgQuestion_Click", [this] { imgQuestion_Click(); });
}

void FrmMain::Form_Load() {
  runtime().windows().SetWindowPos(hWnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void FrmMain::Form_Unload(int&) {
  Unload(*this);
  Unload(frmZoom_);
  Unload(frmAbout_);
}

// The press picks the crosshair up: it becomes the pointer, and sampling starts
// one timer period later.
void FrmMain::picCursor_MouseDown(int, int, Single, Single) {
  MousePointer(vbCustom);
  MouseIcon(picCursor().Picture());
  picCursor().Visible(false);
  // Keep the title bar looking active while the pointer roams other windows.
  runtime().windows().DrawTitleBarActive(hWnd());
  timSpy().Enabled(true);
}

// The release puts the crosshair back and copies the HEX code of the last tick.
void FrmMain::picCursor_MouseUp(int, int, Single, Single) {
  MousePointer(vbDefault);
  picCursor().Visible(true);
  Unload(frmZoom_);
  timSpy().Enabled(false);
  const std::string hex = lblHEXvalue().Caption();
  // Before the first sample there is no code; the clipboard keeps what the user had.
  if (!hex.empty()) Clipboard().SetText(hex);
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
  gdi.GetCursorPos(&point);
  const Hdc screen = gdi.GetDC(Hwnd{});
  const ColorValue color = gdi.GetPixel(screen, point.x, point.y);
  gdi.ReleaseDC(Hwnd{}, screen);
  // A read that failed is no color: swatch and codes keep the last one.
  if (color == CLR_INVALID) return;

  if (picColor().BackColor() != color) picColor().BackColor(color);
  const ColorValue value = picColor().BackColor();
  lblDECvalue().Caption(DecCode(value));
  lblRGBvalue().Caption(RgbCode(value));
  lblHEXvalue().Caption(HexCode(value));
}

}  // namespace huevex
