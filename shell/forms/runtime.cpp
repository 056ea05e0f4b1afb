#include "shell/forms/runtime.h"

#include <algorithm>
#include <string>

#include "shell/forms/form.h"

namespace huevex {

Runtime::Runtime(Gdi& gdi, WindowSystem& windows)
    : gdi_(gdi), windows_(windows), clipboard_(*this) {
  windows_.SetListener(this);
}

Runtime::~Runtime() { windows_.SetListener(nullptr); }

Form* Runtime::FormOf(Hwnd window) {
  for (Form* form : forms_) {
    if (form->Loaded() && form->Window() == window) return form;
  }
  return nullptr;
}

Hwnd Runtime::MainWindow() const {
  return !forms_.empty() && forms_.front()->Loaded() ? forms_.front()->Window() : Hwnd{};
}

bool Runtime::AnyLoaded() const {
  return std::any_of(forms_.begin(), forms_.end(), [](const Form* f) { return f->Loaded(); });
}

void Runtime::Dispatch(const std::function<void()>& action) {
  if (ended_) return;
  ++depth_;
  try {
    action();
  } catch (const RuntimeError& error) {
    HandleError(error);
  }
  --depth_;
  if (depth_ == 0 && !ended_) {
    for (Form* form : forms_) form->PaintIfDirty();
  }
}

void Runtime::HandleError(const RuntimeError& error) {
  if (ended_) return;
  ended_ = true;
  windows_.ShowError(
      MainWindow(), "HUEVEX",
      "Run-time error '" + std::to_string(error.number) + "':\n\n" + error.description);
  clipboard_.Stop();
  for (Form* form : forms_) form->Destroy();
  windows_.Quit();
}

void Runtime::FormUnloaded(Form& form) {
  if (captured_form_ == &form) ReleaseMouse();
}

bool Runtime::CaptureAll(Form& form, const Control& control) {
  if (!windows_.CaptureAll(form.hWnd())) return false;
  captured_form_ = &form;
  captured_control_ = &control;
  buttons_down_ = 0;
  return true;
}

void Runtime::ReleaseMouse() {
  if (!captured_control_) return;
  captured_form_ = nullptr;
  captured_control_ = nullptr;
  buttons_down_ = 0;
  windows_.ReleaseCapture();
}

void Runtime::AfterUnload() {
  if (AnyLoaded()) return;
  clipboard_.Stop();
  windows_.Quit();
}

TimerId Runtime::StartTimer(Timer& timer, unsigned interval_ms) {
  const TimerId id = windows_.SetTimer(interval_ms);
  timers_[id] = &timer;
  return id;
}

void Runtime::StopTimer(TimerId id) {
  windows_.KillTimer(id);
  timers_.erase(id);
}

void Runtime::OnMouseDown(Hwnd window, MouseButton button, Point client) {
  Dispatch([&] {
    if (captured_control_) {
      // Another button while one is held, or any press while the mouse is
      // captured with none held, goes to the control that has the mouse.
      buttons_down_ |= static_cast<int>(button);
      captured_form_->RaiseMouse(*captured_control_, MouseEvent::MouseDown, button, client);
      return;
    }
    Form* form = FormOf(window);
    const Control* target = form ? form->HitTest(client) : nullptr;
    if (!target) return;
    captured_form_ = form;
    captured_control_ = target;
    buttons_down_ = static_cast<int>(button);
    windows_.SetCapture(window);
    form->RaiseMouse(*target, MouseEvent::MouseDown, button, client);
  });
}

void Runtime::OnMouseUp(Hwnd, MouseButton button, Point client) {
  Dispatch([&] {
    // A release of a button that was not pressed during the capture (held
    // already when it was taken with none held) is not the end of anything.
    if (!captured_control_ || (buttons_down_ & static_cast<int>(button)) == 0) return;
    Form* form = captured_form_;
    const Control* target = captured_control_;
    buttons_down_ &= ~static_cast<int>(button);
    if (buttons_down_ == 0) ReleaseMouse();
    form->RaiseMouse(*target, MouseEvent::MouseUp, button, client);
    // A release over the control that took the press is also a click.
    if (buttons_down_ == 0 && form->Loaded() && form->HitTest(client) == target) {
      form->RaiseEvent(*target, Event::Click);
    }
  });
}

// Keys go to the form that holds the mouse, else to the form they came to.
void Runtime::OnKeyDown(Hwnd window, int key, bool shift) {
  Dispatch([&] {
    Form* form = captured_form_ ? captured_form_ : FormOf(window);
    if (form) form->RaiseKeyDown(key, shift ? vbShiftMask : 0);
  });
}

void Runtime::OnCloseRequest(Hwnd window) {
  Dispatch([&] {
    if (Form* form = FormOf(window)) Unload(*form);
  });
}

void Runtime::OnTimer(TimerId id) {
  Dispatch([&] {
    if (clipboard_.Retry(id)) return;
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Timer& timer = *it->second;
    timer.Owner().RaiseEvent(timer, Event::Timer);
  });
}

void Runtime::OnScreenAccess(ScreenAccess access, std::string_view reason) {
  Dispatch([&] {
    if (screen_access_listener_) screen_access_listener_(access, reason);
  });
}

void Runtime::OnShortcut() {
  Dispatch([&] {
    if (shortcut_listener_) shortcut_listener_();
  });
}

void Runtime::OnShortcutRefused(std::string_view reason) {
  Dispatch([&] {
    if (shortcut_refused_listener_) shortcut_refused_listener_(reason);
  });
}

void Runtime::OnDpiChanged(Hwnd window, int dpi) {
  Dispatch([&] {
    if (Form* form = FormOf(window)) form->ChangeDpi(dpi);
  });
}

// Only the main window is brought back: the panels open under it anew.
void Runtime::OnMonitorsChanged() {
  Dispatch([&] {
    if (Form* form = FormOf(MainWindow())) form->ComeBackOnScreen();
  });
}

}  // namespace huevex
