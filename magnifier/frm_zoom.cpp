#include "magnifier/frm_zoom.h"

#include "magnifier/zoom_geometry.h"
#include "resources/layouts.h"
#include "shell/platform/gdi_owners.h"

namespace huevex {
namespace {

constexpr ColorValue kGridGray = 0x808080;
constexpr ColorValue kGridSilver = 0xC0C0C0;

}  // namespace

FrmZoom::FrmZoom(Runtime& runtime, Form& frmMain)
    : Form(runtime, layouts::Zoom()), frmMain_(frmMain) {
  Bind(layouts::controls::tmrZoom, Event::Timer, [this] { tmrZoom_Timer(); });
}

// Drops down under the main window, wherever that is at this load.
void FrmZoom::Form_Load() {
  Left(frmMain_.Left());
  const Single height = frmMain_.Height();
  Top(AddSingle(height, frmMain_.Top()));
  InitZoom();
}

void FrmZoom::InitZoom() {
  ZoomFactor = 10.0f;
  LastCursorX = -100;  // the first tick sees the cursor as moved
  runtime().windows().KeepOnTop(hWnd(), false);
}

// A frame when the cursor moved, or every 250 ms of ticks at rest; the timed
// frames also put the window back on top.
void FrmZoom::tmrZoom_Timer() {
  if (WindowState() == vbMinimized) return;
  ElapsedMs = AddLong(ElapsedMs, tmrZoom().Interval());
  Point point{0, 0};
  runtime().gdi().GetCursorPos(&point);
  if (point.x != LastCursorX || point.y != LastCursorY || ElapsedMs > 249) {
    DrawZoom(point);
    if (ElapsedMs > 249) {
      runtime().windows().KeepOnTop(hWnd(), false);
    }
    ElapsedMs = 0;
  }
  LastCursorX = point.x;
  LastCursorY = point.y;
}

void FrmZoom::DrawZoom(const Point& point) {
  Gdi& gdi = runtime().gdi();
  {
    const ScreenDC screen(gdi, gdi.GetDesktopWindow());
    const ZoomCopy copy =
        PlanCopy(point, picZoom().ScaleWidth(), picZoom().ScaleHeight(), ZoomFactor);
    picZoom().Cls();
    gdi.StretchBlt(picZoom().hDC(), 0, 0, copy.width, copy.height, screen.get(), copy.source_x,
                   copy.source_y, copy.source_width, copy.source_height, SRCCOPY);
  }
  DrawGrid();
  picZoom().Refresh();
}

void FrmZoom::DrawGrid() {
  const std::vector<Bar> bars =
      PlanGrid(picZoom().ScaleWidth(), picZoom().ScaleHeight(), ZoomFactor);
  if (bars.empty()) return;
  Gdi& gdi = runtime().gdi();
  const GdiObject brush = CreateCheckerBrush(picZoom().hDC(), kGridGray, kGridSilver);
  const SelectedObject selected(gdi, picZoom().hDC(), brush.get());
  for (const Bar& bar : bars)
    gdi.PatBlt(picZoom().hDC(), bar.x, bar.y, bar.width, bar.height, PATCOPY);
}

// An 8 x 8 checker in the box's color format: the first color where x + y is
// even. The brush keeps its own copy, so the bitmap goes at once.
GdiObject FrmZoom::CreateCheckerBrush(Hdc dc, ColorValue color1, ColorValue color2) {
  Gdi& gdi = runtime().gdi();
  color1 = PlainColor(gdi, color1);
  color2 = PlainColor(gdi, color2);
  const MemorySurface pattern(gdi, dc, 8, 8);
  for (int y = 0; y < 8; y += 2) {
    for (int x = 0; x < 8; x += 2) {
      gdi.SetPixelV(pattern.dc(), x, y, color1);
      gdi.SetPixelV(pattern.dc(), x + 1, y, color2);
      gdi.SetPixelV(pattern.dc(), x, y + 1, color2);
      gdi.SetPixelV(pattern.dc(), x + 1, y + 1, color1);
    }
  }
  return GdiObject(gdi, gdi.CreatePatternBrush(pattern.bitmap()));
}

}  // namespace huevex
