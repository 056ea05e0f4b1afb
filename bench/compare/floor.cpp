// The floor for the Windows program's benchmarks under Wine: the least a
// Win32 color picker can be. One plain window; a press in it captures the
// mouse and starts a 1 ms timer, each tick reads the pixel under the cursor
// from the screen, and the release stops it. Nothing is drawn but the
// window's background, nothing goes on the clipboard.
//
//   huevex_floor          the window, titled "floor"
//   huevex_floor keep     no window: sleeps, keeping Wine's own processes up
//                         between the measured starts
#include <windows.h>

namespace {

constexpr UINT_PTR kSpy = 1;
COLORREF last_color = 0;  // read, so that the read is not left out

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_LBUTTONDOWN:
      SetCapture(window);
      SetTimer(window, kSpy, 1, nullptr);
      return 0;
    case WM_LBUTTONUP:
      KillTimer(window, kSpy);
      ReleaseCapture();
      return 0;
    case WM_TIMER: {
      POINT point{};
      GetCursorPos(&point);
      const HDC screen = GetDC(nullptr);
      last_color = GetPixel(screen, point.x, point.y);
      ReleaseDC(nullptr, screen);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int show) {
  if (command_line && lstrcmpW(command_line, L"keep") == 0) {
    Sleep(INFINITE);
    return 0;
  }
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = FloorProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = L"HuevexFloor";
  RegisterClassW(&window_class);
  const HWND window =
      CreateWindowExW(0, window_class.lpszClassName, L"floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, 200, 120, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
