// The mouse in the Win32 backend: presses and releases, the capture, the
// windows' pointers, and the nudge that moves the point during a capture.
#include <algorithm>
#include <cstdlib>

#include "shell/platform/moved_picture.h"
#include "shell/platform/win32/picture_bitmaps.h"
#include "shell/platform/win32/win32_windows.h"

namespace huevex::win32 {
namespace {

// Client coordinates are signed: left of or above the window while captured.
Point ClientPoint(LPARAM lparam) {
  return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

bool PointerOver(HWND window) {
  POINT p{};
  return ::GetCursorPos(&p) && ::WindowFromPoint(p) == window;
}

}  // namespace

HCURSOR Win32Windows::Arrow() { return ::LoadCursorW(nullptr, IDC_ARROW); }

// Mouse buttons.

void Win32Windows::ButtonDown(HWND window, MouseButton button, LPARAM lparam) {
  const int bit = static_cast<int>(button);
  buttons_down_ = captured_ ? buttons_down_ | bit : bit;
  const Point client = ClientPoint(lparam);
  Notify([&](WindowEvents& events) { events.OnMouseDown(FromHwnd(window), button, client); });
}

void Win32Windows::ButtonUp(HWND window, MouseButton button, LPARAM lparam) {
  buttons_down_ &= ~static_cast<int>(button);
  const Point client = ClientPoint(lparam);
  Notify([&](WindowEvents& events) { events.OnMouseUp(FromHwnd(window), button, client); });
}

// Capture taken away by someone else (another program, a system dialog): the
// buttons still down will never be reported released to us, so report them
// now and the press that took the capture ends as a release would end it.
void Win32Windows::CaptureLost(HWND window) {
  if (releasing_capture_ || window != captured_) return;
  ForgetNudge(captured_);
  captured_ = nullptr;
  POINT p{};
  ::GetCursorPos(&p);
  ::ScreenToClient(window, &p);
  const Point client{p.x, p.y};
  for (const MouseButton button : {MouseButton::Left, MouseButton::Right, MouseButton::Middle}) {
    if (!(buttons_down_ & static_cast<int>(button))) continue;
    buttons_down_ &= ~static_cast<int>(button);
    Notify([&](WindowEvents& events) { events.OnMouseUp(FromHwnd(window), button, client); });
  }
}

void Win32Windows::SetCapture(Hwnd window) {
  ForgetNudge(captured_);
  captured_ = ToHwnd(window);
  ::SetCapture(captured_);
}

void Win32Windows::ReleaseCapture() {
  ForgetNudge(captured_, true);
  captured_ = nullptr;
  releasing_capture_ = true;
  ::ReleaseCapture();
  releasing_capture_ = false;
}

// The pointer.

HCURSOR Win32Windows::CustomCursor(HWND window) {
  const Window* state = Find(window);
  if (!state || !state->pointer) return nullptr;
  return window == captured_ && state->nudged_cursor ? state->nudged_cursor.get()
                                                     : state->cursor.get();
}

bool Win32Windows::NudgePointer(Point to) {
  if (!on_wine_ || !captured_) return false;
  POINT p{};
  ::GetCursorPos(&p);
  const Rect screen{::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
                    ::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                    ::GetSystemMetrics(SM_YVIRTUALSCREEN) + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  to = {std::clamp(to.x, screen.left, screen.right - 1),
        std::clamp(to.y, screen.top, screen.bottom - 1)};
  nudge_ = {to.x - p.x, to.y - p.y};
  nudged_from_ = {p.x, p.y};
  if (Window* state = Find(captured_); state && state->pointer) {
    const bool shown = nudge_ != Point{} && std::abs(nudge_.x) <= kMostPictureOffset &&
                       std::abs(nudge_.y) <= kMostPictureOffset;
    state->nudged_cursor =
        shown ? CursorFromPicture(MovedPicture(*state->pointer, nudge_)) : UniqueIcon{};
    if (const HCURSOR cursor = CustomCursor(captured_)) ::SetCursor(cursor);
  }
  return true;
}

// The offset holds while the capture lasts, however the pointer moves, and
// after it until the pointer moves (the release's own place is asked for
// once the capture is gone).
Point Win32Windows::Nudged(Point pointer) const {
  if (nudge_ == Point{} || (!captured_ && pointer != nudged_from_)) return pointer;
  return {pointer.x + nudge_.x, pointer.y + nudge_.y};
}

void Win32Windows::ForgetNudge(HWND window, bool keep_offset) {
  if (!keep_offset) nudge_ = {};
  if (Window* state = Find(window)) state->nudged_cursor = UniqueIcon{};
}

void Win32Windows::SetPointer(Hwnd handle, const Picture* picture) {
  const HWND window = ToHwnd(handle);
  Window* state = Find(window);
  if (!state) return;
  state->pointer = picture;
  if (picture && picture != state->cursor_picture) {
    UniqueIcon cursor = CursorFromPicture(*picture);
    if (::GetCursor() == state->cursor.get() && cursor) ::SetCursor(cursor.get());
    state->cursor = std::move(cursor);
    state->cursor_picture = picture;
  }
  // Show the change now rather than at the next mouse move.
  if (picture) {
    if (state->cursor && (window == captured_ || PointerOver(window))) {
      ::SetCursor(state->cursor.get());
    }
  } else if (state->cursor && ::GetCursor() == state->cursor.get()) {
    ::SetCursor(Arrow());
  }
}

}  // namespace huevex::win32
