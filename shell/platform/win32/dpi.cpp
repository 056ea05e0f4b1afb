#include "shell/platform/win32/dpi.h"

namespace huevex::win32 {
namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
  if (!module) return nullptr;
  // Through void (*)(), the one function pointer type any other converts from
  // without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

constexpr int kMdtEffectiveDpi = 0;  // MONITOR_DPI_TYPE's MDT_EFFECTIVE_DPI

}  // namespace

DpiApi::DpiApi() : shcore_(::LoadLibraryW(L"shcore.dll")) {
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  get_dpi_for_window_ = Lookup<GetDpiForWindowFn>(user32, "GetDpiForWindow");
  adjust_window_rect_ex_for_dpi_ =
      Lookup<AdjustWindowRectExForDpiFn>(user32, "AdjustWindowRectExForDpi");
  get_dpi_for_monitor_ = Lookup<GetDpiForMonitorFn>(shcore_.get(), "GetDpiForMonitor");
}

int DpiApi::SystemDpi() const {
  const WindowDc screen(nullptr);
  const int dpi = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? dpi : 96;
}

int DpiApi::ForWindow(HWND window) const {
  if (get_dpi_for_window_ && window) {
    if (const UINT dpi = get_dpi_for_window_(window); dpi > 0) return static_cast<int>(dpi);
  }
  return SystemDpi();
}

int DpiApi::ForPrimaryMonitor() const {
  if (get_dpi_for_monitor_) {
    const HMONITOR primary = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    UINT x = 0, y = 0;
    if (SUCCEEDED(get_dpi_for_monitor_(primary, kMdtEffectiveDpi, &x, &y)) && x > 0) {
      return static_cast<int>(x);
    }
  }
  return SystemDpi();
}

RECT DpiApi::Frame(DWORD style, DWORD ex_style, int dpi, int client_width,
                   int client_height) const {
  RECT r{0, 0, client_width, client_height};
  if (adjust_window_rect_ex_for_dpi_) {
    adjust_window_rect_ex_for_dpi_(&r, style, FALSE, ex_style, static_cast<UINT>(dpi));
  } else {
    ::AdjustWindowRectEx(&r, style, FALSE, ex_style);
  }
  return r;
}

}  // namespace huevex::win32
