// The runtime under the forms: events from the window system, one at a time,
// routed to the procedures of the form and control they are for.
#pragma once

#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include "shell/forms/clipboard.h"
#include "shell/forms/controls.h"
#include "shell/numbers.h"
#include "shell/platform/platform.h"

namespace huevex {

class Form;

// The forms runtime: the one place events come in, one at a time. Every event
// procedure runs under the default error handling, and every dirty form is
// painted when the event is done.
class Runtime : public WindowEvents {
 public:
  Runtime(Gdi& gdi, WindowSystem& windows);
  ~Runtime() override;

  Gdi& gdi() { return gdi_; }
  WindowSystem& windows() { return windows_; }
  huevex::Clipboard& Clipboard() { return clipboard_; }

  void Register(Form& form) { forms_.push_back(&form); }
  void Unregister(Form& form) { std::erase(forms_, &form); }
  Form* FormOf(Hwnd window);
  Hwnd MainWindow() const;  // the startup form's window, 0 when it is not loaded
  bool AnyLoaded() const;
  // Runs an action the way an event runs: errors to the default handling, then painting.
  void Dispatch(const std::function<void()>& action);
  void FormUnloaded(Form& form);
  void AfterUnload();  // ends the message loop once no form is loaded
  bool Ended() const { return ended_; }
  // Timers route their ticks through the runtime.
  TimerId StartTimer(Timer& timer, unsigned interval_ms);
  void StopTimer(TimerId id);

  void OnMouseDown(Hwnd window, MouseButton button, Point client) override;
  void OnMouseUp(Hwnd window, MouseButton button, Point client) override;
  void OnCloseRequest(Hwnd window) override;
  void OnKeyDown(Hwnd window, int key, bool shift) override;
  void OnTimer(TimerId timer) override;
  void OnDpiChanged(Hwnd window, int dpi) override;
  void OnScreenAccess(ScreenAccess access, std::string_view reason) override;
  void OnMonitorsChanged() override;
  void OnShortcut() override;
  void OnShortcutRefused(std::string_view reason) override;
  // Told when the screen can no longer be read, or can again, or the
  // desktop's question stays open.
  void OnScreenAccessChange(
      std::function<void(ScreenAccess access, std::string_view reason)> listener) {
    screen_access_listener_ = std::move(listener);
  }
  // Told when the global shortcut is pressed, and when the desktop refuses it.
  void OnShortcutEvents(std::function<void()> pressed,
                        std::function<void(std::string_view reason)> refused) {
    shortcut_listener_ = std::move(pressed);
    shortcut_refused_listener_ = std::move(refused);
  }

  // The mouse and the keys for `control` with no button held: the next press
  // anywhere goes to it as a press on it would, and its release after it.
  // False when the platform could not take them.
  bool CaptureAll(Form& form, const Control& control);
  // Lets go of the mouse, however it was taken.
  void ReleaseMouse();

 private:
  void HandleError(const RuntimeError& error);

  Gdi& gdi_;
  WindowSystem& windows_;
  huevex::Clipboard clipboard_;
  std::vector<Form*> forms_;
  std::map<TimerId, Timer*> timers_;
  std::function<void(ScreenAccess, std::string_view)> screen_access_listener_;
  std::function<void()> shortcut_listener_;
  std::function<void(std::string_view)> shortcut_refused_listener_;
  // Mouse capture: the control that took the press gets the release.
  Form* captured_form_ = nullptr;
  const Control* captured_control_ = nullptr;
  int buttons_down_ = 0;
  int depth_ = 0;
  bool ended_ = false;
};

}  // namespace huevex
