// The mouse in the Win32 backend: presses and releases, the capture, the
// windows' pointers, and the nudge that moves the point during a capture.
#include <algorithm>
#include <cstdlib>

#include "shell/platform/moved_picture.h"
#include "shell/platform/win32/picture_bitmaps.h"
#include "shell/platform/win32/win32_windows.h"

namespace huevex::win32 {
namespace {

bool PointerOver(HWND window) {
  POINT p{};
  return ::GetCursorPos(&p) && ::WindowFromPoint(p) == window;
}

}  // namespace

HCURSOR Win32Windows::Arrow() { return ::LoadCursorW(nullptr, IDC_ARROW); }

Rect Win32Windows::VirtualScreen() {
  const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
  return {left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
          top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// Mouse buttons.

void Win32Windows::Button(HWND window, MouseButton button, bool down, Point client) {
  const int bit = static_cast<int>(button);
  if (down) {
    buttons_down_ = captured_ ? buttons_down_ | bit : bit;
  } else {
    buttons_down_ &= ~bit;
  }
  Notify([&](WindowEvents& events) {
    if (down) {
      events.OnMouseDown(FromHwnd(window), button, client);
    } else {
      events.OnMouseUp(FromHwnd(window), button, client);
    }
  });
}

// Capture taken away by someone else (another program, a system dialog): the
// buttons still down will never be reported released to us, so report them
// now and the press that took the capture ends as a release would end it.
void Win32Windows::CaptureLost(HWND window) {
  if (releasing_capture_ || window != captured_) return;
  ForgetNudge(captured_);
  captured_ = nullptr;
  ReleaseButtonsHeld(window);
}

void Win32Windows::ReleaseButtonsHeld(HWND window) {
  POINT p{};
  ::GetCursorPos(&p);
  ::ScreenToClient(window, &p);
  for (const MouseButton button : {MouseButton::Left, MouseButton::Right, MouseButton::Middle}) {
    if (buttons_down_ & static_cast<int>(button)) Button(window, button, false, {p.x, p.y});
  }
}

void Win32Windows::SetCapture(Hwnd window) {
  ForgetNudge(captured_);
  captured_ = ToHwnd(window);
  ::SetCapture(captured_);
}

// With no button held, SetCapture gets only what happens over our own
// windows: the overlay is put under the pointer everywhere else. The captured
// window is made the foreground one for the keys (a hot key's press, or a
// program just started from the foreground, may do that).
bool Win32Windows::CaptureAll(Hwnd handle) {
  const HWND window = ToHwnd(handle);
  if (!Find(window)) return false;
  ReleaseCapture();
  ForgetNudge(window);
  captured_ = window;
  buttons_down_ = 0;
  if (!ShowOverlay()) {
    captured_ = nullptr;
    return false;
  }
  ::SetCapture(overlay_->window.get());
  if (::GetCapture() != overlay_->window.get()) {
    ReleaseCapture();
    return false;
  }
  if (::IsWindowVisible(window)) ::SetForegroundWindow(window);
  if (const HCURSOR cursor = CustomCursor(window)) ::SetCursor(cursor);
  return true;
}

void Win32Windows::ReleaseCapture() {
  ForgetNudge(captured_, true);
  captured_ = nullptr;
  releasing_capture_ = true;
  ::ReleaseCapture();
  overlay_.reset();
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
  const Rect screen = VirtualScreen();
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
