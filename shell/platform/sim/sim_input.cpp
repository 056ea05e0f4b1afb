// What a test does on the simulated desktop as a user would: the mouse, the
// keys, the clock the timers run on, and the clipboard.
#include "shell/platform/sim/sim_desktop.h"

namespace huevex::sim {

// The mouse.

Point SimDesktop::ClientPoint(Hwnd window) const {
  const Rect client = ClientRect(window);
  return {cursor_.x - client.left, cursor_.y - client.top};
}

void SimDesktop::Press(MouseButton button) { Button(button, true); }
void SimDesktop::Release(MouseButton button) { Button(button, false); }

// With the mouse captured, the capturing window gets the button wherever the
// cursor is; otherwise the window under the cursor does, our own only in
// their client area.
void SimDesktop::Button(MouseButton button, bool down) {
  Hwnd target = capture_;
  if (target == Hwnd{}) {
    target = WindowAt(cursor_);
    Window* w = Find(target);
    if (!w) return;
    if (!w->ours) {
      ++w->mouse_events;
      return;
    }
    if (!ClientRect(target).Contains(cursor_)) return;
  }
  if (!listener_) return;
  if (down) {
    listener_->OnMouseDown(target, button, ClientPoint(target));
  } else {
    listener_->OnMouseUp(target, button, ClientPoint(target));
  }
}

void SimDesktop::SetCapture(Hwnd window) {
  log_.Add("SetCapture(" + HandleText(window) + ")");
  capture_ = window;
}

// The simulated desktop follows the pointer over every window: a capture
// with no button held is the same capture.
bool SimDesktop::CaptureAll(Hwnd window) {
  log_.Add("CaptureAll(" + HandleText(window) + ")");
  capture_ = window;
  return true;
}

void SimDesktop::ReleaseCapture() {
  log_.Add("ReleaseCapture");
  capture_ = Hwnd{};
}

void SimDesktop::SetPointer(Hwnd window, const Picture* picture) {
  if (Window* w = Find(window)) w->pointer = picture;
}

const Picture* SimDesktop::ShownPointer() const {
  const Hwnd window = capture_ != Hwnd{} ? capture_ : WindowAt(cursor_);
  const Window* w = Find(window);
  return w && w->ours ? w->pointer : nullptr;
}

// Keys go to the window that holds the mouse, else to ours on top.
void SimDesktop::KeyDown(int key, bool shift) {
  Hwnd target = capture_;
  for (Hwnd window : order_) {
    if (target != Hwnd{}) break;
    if (const Window* w = Find(window); w && w->ours && w->visible) target = window;
  }
  if (listener_) listener_->OnKeyDown(target, key, shift);
}

bool SimDesktop::RegisterShortcut(const Shortcut& shortcut) {
  if (shortcut_taken_) {
    if (listener_) listener_->OnShortcutRefused("another program has it");
    return true;
  }
  shortcut_ = shortcut;
  return true;
}

void SimDesktop::PressShortcut() {
  if (shortcut_ && listener_) listener_->OnShortcut();
}

void SimDesktop::ClickCloseBox(Hwnd window) {
  if (listener_ && Find(window)) listener_->OnCloseRequest(window);
}

void SimDesktop::DragWindow(Hwnd window, Point outer_top_left) {
  Window* w = Find(window);
  if (!w) return;
  w->outer = {outer_top_left.x, outer_top_left.y, outer_top_left.x + w->outer.Width(),
              outer_top_left.y + w->outer.Height()};
}

// Timers fire in the order they fall due, only while the clock is advanced.

TimerId SimDesktop::SetTimer(unsigned interval_ms) {
  const TimerId id{next_timer_++};
  timers_[id] = {std::max(1u, interval_ms), now_ + std::max(1u, interval_ms)};
  return id;
}

void SimDesktop::KillTimer(TimerId timer) { timers_.erase(timer); }

void SimDesktop::Advance(int milliseconds) {
  const std::int64_t end = now_ + milliseconds;
  while (true) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due <= end && (next == timers_.end() || it->second.due < next->second.due)) {
        next = it;
      }
    }
    if (next == timers_.end()) break;
    now_ = next->second.due;
    next->second.due += next->second.interval;
    const TimerId id = next->first;
    if (listener_) listener_->OnTimer(id);
  }
  now_ = end;
}

// The clipboard.

bool SimDesktop::SetClipboardText(Hwnd owner, std::string_view utf8) {
  log_.Add("SetClipboardText(" + HandleText(owner) + "," + std::string(utf8) + ")");
  if (clipboard_busy_ > 0) {
    --clipboard_busy_;
    return false;
  }
  clipboard_ = std::string(utf8);
  return true;
}

}  // namespace huevex::sim
