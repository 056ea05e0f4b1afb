// frmZoom, the magnifier: a borderless panel under the main window showing
// the screen around the cursor ten times enlarged, with a one-pixel grid and a
// marker around the square of the cursor's pixel.
#pragma once

#include <cstdint>

#include "resources/layouts.h"
#include "shell/forms/toolkit.h"
#include "shell/platform/gdi_owners.h"

namespace huevex {

class FrmZoom : public Form {
 public:
  // Opens under the main window.
  FrmZoom(Runtime& runtime, Form& frmMain);

  PictureBox& picZoom() { return Get<PictureBox>(layouts::controls::picZoom); }
  Timer& tmrZoom() { return Get<Timer>(layouts::controls::tmrZoom); }

  // The magnifier's state. It lives as long as the form's instance: a new load
  // sets the zoom and LastCursorX again and keeps the rest.
  Single ZoomFactor = 0;
  std::int32_t LastCursorX = 0;
  std::int32_t LastCursorY = 0;
  std::int32_t ElapsedMs = 0;

  GdiObject CreateCheckerBrush(Hdc dc, ColorValue color1, ColorValue color2);

 protected:
  void Form_Load() override;

 private:
  void InitZoom();
  void tmrZoom_Timer();
  void DrawZoom(const Point& point);
  void DrawGrid();

  Form& frmMain_;
};

}  // namespace huevex
