// The DPI of windows and monitors, and frame sizes at a DPI.
//
// The application manifest makes the process per-monitor aware (v2), so the
// cursor, the screen and every window are in physical pixels. The calls that
// know a window's own DPI exist only on newer Windows; they are looked up at
// run time and fall back to the system DPI where they are missing.
#pragma once

#include "shell/platform/win32/handles.h"

namespace huevex::win32 {

class DpiApi {
 public:
  DpiApi();

  int ForWindow(HWND window) const;
  int ForPrimaryMonitor() const;
  // The outer size of a window with this style whose client area is the given
  // size, at the given DPI: left/top negative, right/bottom past the client.
  RECT Frame(DWORD style, DWORD ex_style, int dpi, int client_width, int client_height) const;

 private:
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

  int SystemDpi() const;

  UniqueModule shcore_;
  GetDpiForWindowFn get_dpi_for_window_ = nullptr;
  AdjustWindowRectExForDpiFn adjust_window_rect_ex_for_dpi_ = nullptr;
  GetDpiForMonitorFn get_dpi_for_monitor_ = nullptr;
};

}  // namespace huevex::win32
