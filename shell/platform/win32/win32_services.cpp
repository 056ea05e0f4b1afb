// What the Win32 backend serves besides windows: timers, the clipboard, the
// global shortcut, the DPI, the monitors, the error box and the message loop.
#include <algorithm>
#include <vector>

#include "shell/platform/win32/win32_windows.h"

namespace huevex::win32 {
namespace {

// The clipboard is closed on every path once it was opened.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) : open_(::OpenClipboard(owner) != FALSE) {}
  ~OpenedClipboard() {
    if (open_) ::CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  bool open() const { return open_; }

 private:
  bool open_;
};

}  // namespace

// Timers live on the message-only window; their ids are the TimerIds.

TimerId Win32Windows::SetTimer(unsigned interval_ms) {
  const UINT_PTR id = next_timer_++;
  if (!::SetTimer(message_window_.get(), id, interval_ms, nullptr)) return TimerId{};
  return TimerId{id};
}

void Win32Windows::KillTimer(TimerId timer) {
  ::KillTimer(message_window_.get(), static_cast<UINT_PTR>(timer));
}

// The clipboard: plain text as CF_UNICODETEXT, owned by the main window.

bool Win32Windows::SetClipboardText(Hwnd owner, std::string_view utf8) {
  const OpenedClipboard clipboard(ToHwnd(owner));
  if (!clipboard.open() || !::EmptyClipboard()) return false;
  const std::wstring text = Widen(utf8);
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) return false;
  void* target = ::GlobalLock(memory.get());
  if (!target) return false;
  std::copy(text.c_str(), text.c_str() + text.size() + 1, static_cast<wchar_t*>(target));
  ::GlobalUnlock(memory.get());
  if (!::SetClipboardData(CF_UNICODETEXT, memory.get())) return false;
  memory.release();  // the clipboard owns it now
  return true;
}

// The shortcut: a hot key of the message-only window, held down for as long
// as one likes without repeating. Windows reports it as WM_HOTKEY whichever
// program has the keyboard, and lets the program that gets it take the
// foreground.

bool Win32Windows::RegisterShortcut(const Shortcut& shortcut) {
  const UINT modifiers = MOD_NOREPEAT | (shortcut.control ? MOD_CONTROL : 0) |
                         (shortcut.alt ? MOD_ALT : 0) | (shortcut.shift ? MOD_SHIFT : 0) |
                         (shortcut.super ? MOD_WIN : 0);
  ::UnregisterHotKey(message_window_.get(), kShortcutId);
  if (!::RegisterHotKey(message_window_.get(), kShortcutId, modifiers,
                        static_cast<UINT>(shortcut.key))) {
    Notify([](WindowEvents& events) { events.OnShortcutRefused("another program has it"); });
  }
  return true;
}

// Monitors.

int Win32Windows::GetDpi(Hwnd handle) {
  if (handle == Hwnd{}) return dpi_.ForPrimaryMonitor();
  if (const Window* state = Find(ToHwnd(handle))) return state->dpi;
  return dpi_.ForWindow(ToHwnd(handle));
}

namespace {

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (::GetMonitorInfoW(monitor, &info)) {
    const RECT& m = info.rcMonitor;
    const RECT& w = info.rcWork;
    reinterpret_cast<std::vector<MonitorInfo>*>(list)->push_back(
        {{m.left, m.top, m.right, m.bottom},
         {w.left, w.top, w.right, w.bottom},
         (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
  }
  return TRUE;
}

}  // namespace

std::vector<MonitorInfo> Win32Windows::GetMonitors() {
  std::vector<MonitorInfo> list;
  ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&list));
  if (list.empty()) {
    RECT r{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0)) {
      r = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const Rect screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    list.push_back({screen, {r.left, r.top, r.right, r.bottom}, true});
  }
  return list;
}

// A box for no window in particular belongs to our active one, if any, so
// that this topmost window does not hide it.
void Win32Windows::ShowError(Hwnd owner, std::string_view title, std::string_view message) {
  ::MessageBoxW(owner != Hwnd{} ? ToHwnd(owner) : ::GetActiveWindow(), Widen(message).c_str(),
                Widen(title).c_str(), MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}

std::uint32_t Win32Windows::GetTickCount() { return ::GetTickCount(); }

// The message loop.

void Win32Windows::Run() {
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void Win32Windows::Quit() { ::PostQuitMessage(0); }

}  // namespace huevex::win32
