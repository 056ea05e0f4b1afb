#include "shell/platform/win32/win32_windows.h"

#include "shell/platform/win32/picture_bitmaps.h"

namespace huevex::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"HuevexWindow";

constexpr DWORD kFramedStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kBorderlessStyle = WS_POPUP;

DWORD StyleFor(bool framed) { return framed ? kFramedStyle : kBorderlessStyle; }

// Wine's ntdll has a function of its own that Windows' has not.
bool RunsOnWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Client coordinates are signed: left of or above the window while captured.
Point ClientPoint(LPARAM lparam) {
  return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

struct ButtonMessage {
  MouseButton button;
  bool down;
};

std::optional<ButtonMessage> ButtonOf(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN:
      return ButtonMessage{MouseButton::Left, true};
    case WM_RBUTTONDOWN:
      return ButtonMessage{MouseButton::Right, true};
    case WM_MBUTTONDOWN:
      return ButtonMessage{MouseButton::Middle, true};
    case WM_LBUTTONUP:
      return ButtonMessage{MouseButton::Left, false};
    case WM_RBUTTONUP:
      return ButtonMessage{MouseButton::Right, false};
    case WM_MBUTTONUP:
      return ButtonMessage{MouseButton::Middle, false};
    default:
      return std::nullopt;
  }
}

}  // namespace

Win32Windows::Win32Windows(HINSTANCE instance, int icon_group)
    : instance_(instance), icon_group_(icon_group), on_wine_(RunsOnWine()) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  // No CS_DBLCLKS: a quick second press is a press like any other.
  window_class.lpfnWndProc = &Win32Windows::WindowProc;
  window_class.hInstance = instance_;
  window_class.hCursor = Arrow();
  window_class.lpszClassName = kWindowClass;
  class_ = ::RegisterClassExW(&window_class);
  message_window_.reset(::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, instance_, this));
}

Win32Windows::~Win32Windows() {
  listener_ = nullptr;
  while (!windows_.empty()) {
    const HWND window = windows_.begin()->first;
    ::DestroyWindow(window);
    windows_.erase(window);  // in case WM_NCDESTROY did not come
  }
  ReleaseCapture();
  ::UnregisterHotKey(message_window_.get(), kShortcutId);
  message_window_.reset();
  if (class_) ::UnregisterClassW(kWindowClass, instance_);
}

Win32Windows::Window* Win32Windows::Find(HWND window) {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

// The window procedure.

LRESULT CALLBACK Win32Windows::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Windows*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(window, message, wparam, lparam);
}

void Win32Windows::Fail() noexcept {
  failed_ = true;
  ::MessageBoxW(nullptr, L"HUEVEX stopped after an unexpected error.", L"HUEVEX",
                MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
  ::PostQuitMessage(1);
}

LRESULT Win32Windows::Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (window == message_window_.get()) {
    if (message == WM_TIMER) {
      Notify([&](WindowEvents& events) { events.OnTimer(TimerId{wparam}); });
      return 0;
    }
    if (message == WM_HOTKEY && wparam == kShortcutId) {
      Notify([&](WindowEvents& events) { events.OnShortcut(); });
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  if (overlay_ && window == overlay_->window.get()) {
    return HandleOverlay(window, message, wparam, lparam);
  }
  if (const auto button = ButtonOf(message)) {
    Button(window, button->button, button->down, ClientPoint(lparam));
    return 0;
  }

  switch (message) {
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers the whole client area
    case WM_MOUSEMOVE:
      // While captured no WM_SETCURSOR comes: keep the custom pointer over
      // every other window too.
      if (window == captured_) {
        if (const HCURSOR cursor = CustomCursor(window)) ::SetCursor(cursor);
      }
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lparam) == HTCLIENT) {
        if (const HCURSOR cursor = CustomCursor(window)) {
          ::SetCursor(cursor);
          return TRUE;
        }
      }
      break;
    case WM_KEYDOWN:
      Key(window, wparam);
      return 0;
    case WM_CAPTURECHANGED:
      CaptureLost(window);
      return 0;
    case WM_CLOSE:
      // The toolkit decides; DefWindowProc would destroy the window behind its back.
      Notify([&](WindowEvents& events) { events.OnCloseRequest(FromHwnd(window)); });
      return 0;
    case WM_DPICHANGED: {
      const int dpi = HIWORD(wparam);
      if (Window* state = Find(window)) state->dpi = dpi;
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      ::SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      Notify([&](WindowEvents& events) { events.OnDpiChanged(FromHwnd(window), dpi); });
      return 0;
    }
    case WM_DISPLAYCHANGE:
      // Windows brings windows back from a monitor that went itself; the
      // program checks again all the same, as on the other platforms.
      Notify([&](WindowEvents& events) { events.OnMonitorsChanged(); });
      break;
    case WM_NCDESTROY:
      if (Window* state = Find(window)) {
        if (state->cursor && ::GetCursor() == state->cursor.get()) ::SetCursor(Arrow());
        if (captured_ == window) ReleaseCapture();
        windows_.erase(window);
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// The overlay passes the mouse and the keys on as the captured window's, and
// shows the screen's picture. It never takes the activation: the captured
// window keeps it, and with it the keyboard, and no window manager lifts an
// active full-screen window over our own topmost ones.
LRESULT Win32Windows::HandleOverlay(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (const auto button = ButtonOf(message)) {
    if (!captured_) return 0;
    const Point client = ClientPoint(lparam);
    POINT p{client.x, client.y};
    ::MapWindowPoints(window, captured_, &p, 1);
    Button(captured_, button->button, button->down, {p.x, p.y});
    return 0;
  }
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      const HDC dc = ::BeginPaint(window, &paint);
      const RECT& r = paint.rcPaint;
      ::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, overlay_->dc.get(), r.left,
               r.top, SRCCOPY);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_MOUSEMOVE:
      if (const HCURSOR cursor = CustomCursor(captured_)) ::SetCursor(cursor);
      return 0;
    case WM_SETCURSOR:
      if (const HCURSOR cursor = CustomCursor(captured_)) {
        ::SetCursor(cursor);
        return TRUE;
      }
      break;
    case WM_KEYDOWN:
      if (captured_) Key(captured_, wparam);
      return 0;
    case WM_CAPTURECHANGED:
      // The overlay still lies under the pointer everywhere: only buttons held
      // are given up, as a lost capture gives them up.
      if (!releasing_capture_ && captured_) ReleaseButtonsHeld(captured_);
      return 0;
    case WM_DPICHANGED:
      return 0;  // it stays over the whole virtual screen
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void Win32Windows::Key(HWND window, WPARAM key) {
  Notify([&](WindowEvents& events) {
    events.OnKeyDown(FromHwnd(window), static_cast<int>(key), ::GetKeyState(VK_SHIFT) < 0);
  });
}

void Win32Windows::Paint(HWND window) {
  PAINTSTRUCT paint{};
  const HDC dc = ::BeginPaint(window, &paint);
  const RECT& r = paint.rcPaint;
  const Window* state = Find(window);
  if (state && state->surface) {
    ::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, state->surface, r.left, r.top,
             SRCCOPY);
  } else {
    ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
  }
  ::EndPaint(window, &paint);
}

// Windows.

Hwnd Win32Windows::CreateTopLevel(const WindowDesc& desc) {
  const DWORD style = StyleFor(desc.framed);
  const DWORD ex_style = desc.taskbar ? 0 : WS_EX_TOOLWINDOW;
  const HWND window = ::CreateWindowExW(ex_style, kWindowClass, Widen(desc.title).c_str(), style,
                                        desc.position.x, desc.position.y, desc.client_width,
                                        desc.client_height, nullptr, nullptr, instance_, this);
  if (!window) return Hwnd{};
  Window& state = windows_[window];
  state.style = style;
  state.ex_style = ex_style;
  state.dpi = dpi_.ForWindow(window);
  // Sized only now: the frame is measured at the DPI of the monitor the window landed on.
  const RECT outer = dpi_.Frame(style, ex_style, state.dpi, desc.client_width, desc.client_height);
  ::SetWindowPos(window, nullptr, desc.position.x, desc.position.y, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (desc.icon) SetIcons(window, state, *desc.icon);
  return FromHwnd(window);
}

// The picture of every monitor, in a topmost window as large as the virtual
// screen, shown without activation, and our own topmost windows above it.
bool Win32Windows::ShowOverlay() {
  const Rect screen = VirtualScreen();
  Overlay overlay;
  {
    const WindowDc screen_dc(nullptr);
    overlay.dc.reset(::CreateCompatibleDC(screen_dc.get()));
    overlay.picture.reset(
        ::CreateCompatibleBitmap(screen_dc.get(), screen.Width(), screen.Height()));
    if (!overlay.dc || !overlay.picture) return false;
    ::SelectObject(overlay.dc.get(), overlay.picture.get());
    // CAPTUREBLT: layered windows (other programs' shadows, tooltips) too.
    if (!::BitBlt(overlay.dc.get(), 0, 0, screen.Width(), screen.Height(), screen_dc.get(),
                  screen.left, screen.top, SRCCOPY | CAPTUREBLT)) {
      return false;
    }
  }
  overlay.window.reset(::CreateWindowExW(
      WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kWindowClass, L"", WS_POPUP, screen.left,
      screen.top, screen.Width(), screen.Height(), nullptr, nullptr, instance_, this));
  if (!overlay.window) return false;
  const HWND shown = overlay.window.get();
  overlay_ = std::move(overlay);
  ::SetWindowPos(shown, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  for (const auto& entry : windows_) {
    if (::IsWindowVisible(entry.first)) KeepAboveOverlay(entry.first);
  }
  ::UpdateWindow(shown);
  return true;
}

// Our topmost windows stay above the overlay, also those shown after it
// (showing and activating do not lift a window over a topmost one).
void Win32Windows::KeepAboveOverlay(HWND window) {
  if (overlay_ && (::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

// The program file's icon group where it has one, else the picture itself.
void Win32Windows::SetIcons(HWND window, Window& state, const Picture& picture) {
  const auto load = [&](int size) {
    return UniqueIcon(static_cast<HICON>(
        ::LoadImageW(instance_, MAKEINTRESOURCEW(icon_group_), IMAGE_ICON, size, size, 0)));
  };
  state.big_icon = load(::GetSystemMetrics(SM_CXICON));
  state.small_icon = load(::GetSystemMetrics(SM_CXSMICON));
  if (!state.big_icon) state.big_icon = IconFromPicture(picture);
  if (!state.small_icon) state.small_icon = IconFromPicture(picture);
  ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state.big_icon.get()));
  ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state.small_icon.get()));
}

void Win32Windows::DestroyTopLevel(Hwnd handle) {
  const HWND window = ToHwnd(handle);
  if (Find(window)) ::DestroyWindow(window);
}

Insets Win32Windows::FrameInsets(bool framed, int dpi) {
  const RECT r = dpi_.Frame(StyleFor(framed), framed ? 0 : WS_EX_TOOLWINDOW, dpi, 0, 0);
  return {-r.left, -r.top, r.right, r.bottom};
}

Rect Win32Windows::GetOuterRect(Hwnd window) {
  RECT r{};
  if (!::GetWindowRect(ToHwnd(window), &r)) return {};
  return {r.left, r.top, r.right, r.bottom};
}

void Win32Windows::MoveTopLevel(Hwnd window, Point p) {
  ::SetWindowPos(ToHwnd(window), nullptr, p.x, p.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Windows::ResizeClient(Hwnd handle, int client_width, int client_height) {
  const HWND window = ToHwnd(handle);
  const Window* state = Find(window);
  if (!state) return;
  const RECT outer =
      dpi_.Frame(state->style, state->ex_style, state->dpi, client_width, client_height);
  ::SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Windows::ShowTopLevel(Hwnd handle, bool visible) {
  const HWND window = ToHwnd(handle);
  const Window* state = Find(window);
  if (!state) return;
  // Panels appear without taking the activation from the main window.
  const bool panel = state->style == kBorderlessStyle;
  ::ShowWindow(window, !visible ? SW_HIDE : panel ? SW_SHOWNA : SW_SHOW);
  if (visible) KeepAboveOverlay(window);
}

bool Win32Windows::IsMinimized(Hwnd window) { return ::IsIconic(ToHwnd(window)) != FALSE; }

void Win32Windows::SetTitle(Hwnd window, std::string_view utf8) {
  ::SetWindowTextW(ToHwnd(window), Widen(utf8).c_str());
}

bool Win32Windows::KeepOnTop(Hwnd window, bool activate) {
  const UINT flags = SWP_NOMOVE | SWP_NOSIZE | (activate ? 0 : SWP_NOACTIVATE);
  return ::SetWindowPos(ToHwnd(window), HWND_TOPMOST, 0, 0, 0, 0, flags) != FALSE;
}

void Win32Windows::DrawTitleBarActive(Hwnd window) {
  ::SendMessageA(ToHwnd(window), WM_NCACTIVATE, TRUE, 0);
}

void Win32Windows::Present(Hwnd handle, Hdc surface) {
  const HWND window = ToHwnd(handle);
  Window* state = Find(window);
  if (!state) return;
  state->surface = ToHdc(surface);
  ::InvalidateRect(window, nullptr, FALSE);
  ::UpdateWindow(window);
}

}  // namespace huevex::win32
