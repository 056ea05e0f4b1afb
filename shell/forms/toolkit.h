// The forms toolkit: forms built from their layouts, loaded on first use,
// shown, hidden and unloaded; their controls painted and hit-tested; mouse
// capture from press to release; timers; the clipboard; and the default
// handling of run-time errors.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shell/forms/controls.h"
#include "shell/forms/layout.h"
#include "shell/numbers.h"
#include "shell/platform/gdi_owners.h"
#include "shell/platform/platform.h"

namespace huevex {

class Runtime;
class Clipboard;

inline constexpr int vbDefault = 0;
inline constexpr int vbCustom = 99;
inline constexpr int vbMinimized = 1;

using MouseHandler = std::function<void(int button, int shift, Single x, Single y)>;

class Form {
 public:
  Form(Runtime& runtime, const FormLayout& layout);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  std::string_view Name() const { return layout_.name; }
  bool Loaded() const { return loaded_; }
  Hwnd Window() const { return window_; }  // without loading: 0 when not loaded

  // Every member below loads the form first if it is not loaded.
  void Load();
  Hwnd hWnd();
  bool Visible();
  void Show();
  void Hide();
  Single Left();
  void Left(Single twips);
  Single Top();
  void Top(Single twips);
  Single Height();
  int MousePointer();
  void MousePointer(int pointer);
  const Picture* MouseIcon();
  void MouseIcon(const Picture* icon);
  int WindowState();
  std::string Caption();
  void Caption(std::string_view text);

  // Controls by name, typed. Reaching a control loads the form.
  template <typename T>
  T& Get(std::string_view name) {
    return dynamic_cast<T&>(Find(name));
  }
  Control& Find(std::string_view name);

  // For the toolkit.
  Runtime& runtime() { return runtime_; }
  int Dpi() const { return dpi_; }
  void Invalidate() { dirty_ = true; }
  void PaintIfDirty();
  void PaintNow();
  // Puts one control on screen again: alone when nothing lies over it and the
  // rest of the form is up to date, else with the whole form.
  void PaintControl(Control& control);
  Control* HitTest(Point client);
  void RaiseEvent(const Control& control, std::string_view event);
  void RaiseMouse(const Control& control, std::string_view event, MouseButton button, Point client);
  void ChangeDpi(int dpi);
  Hgdiobj FontFor(const FontDesc& font);
  // Unloads: Form_Unload, then the window and controls go. False if cancelled.
  bool UnloadForm();
  // Tears the form down without raising events (the end after a run-time error).
  void Destroy();

 protected:
  virtual void Form_Load() {}
  virtual void Form_Unload(int& cancel) { (void)cancel; }
  void Bind(std::string procedure, std::function<void()> handler);
  void BindMouse(std::string procedure, MouseHandler handler);
  huevex::Clipboard& Clipboard();

 private:
  void Build();
  Rect ClientArea() const;
  void PaintContainer(const std::vector<Control*>& layer, Rect clip, Hdc dc);
  Control* HitIn(const std::vector<Control*>& layer, Point client);
  bool Covered(const Control& control) const;
  void UpdatePointer();

  Runtime& runtime_;
  const FormLayout& layout_;
  bool loaded_ = false;
  bool unloading_ = false;
  bool visible_ = false;
  bool dirty_ = false;
  Hwnd window_{};
  int dpi_ = 96;
  std::string caption_;
  int mouse_pointer_ = vbDefault;
  const Picture* mouse_icon_ = nullptr;
  MemorySurface back_buffer_;  // what the window shows; it outlives the window
  std::map<std::string, GdiObject> fonts_;
  std::vector<std::unique_ptr<Control>> controls_;  // layout order
  std::vector<Control*> top_level_;                 // the form's own children
  std::map<std::string, std::function<void()>, std::less<>> handlers_;
  std::map<std::string, MouseHandler, std::less<>> mouse_handlers_;
};

// The global Unload: unloading a form that is not loaded changes nothing.
void Unload(Form& form);

// Plain text to the system clipboard. A busy clipboard is tried again for a
// short while without blocking; when it stays busy, the copy is given up and
// reported, and the program goes on.
class Clipboard {
 public:
  static constexpr int kRetries = 10;
  static constexpr unsigned kRetryMs = 20;

  explicit Clipboard(Runtime& runtime) : runtime_(runtime) {}
  void SetText(std::string_view text);
  // Told the outcome of each copy: true once it is on the clipboard, false when given up.
  void OnOutcome(std::function<void(bool copied)> listener) { listener_ = std::move(listener); }
  // A tick of the retry timer; false if the timer is not the clipboard's.
  bool Retry(TimerId timer);
  void Stop();

 private:
  bool TryOnce();
  void Finish(bool copied);

  Runtime& runtime_;
  std::string text_;
  int retries_left_ = 0;
  TimerId retry_timer_{};
  std::function<void(bool)> listener_;
};

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
  void OnTimer(TimerId timer) override;
  void OnDpiChanged(Hwnd window, int dpi) override;
  void OnScreenAccess(bool readable, std::string_view reason) override;
  // Told when the screen can no longer be read, or can again.
  void OnScreenAccessChange(std::function<void(bool readable, std::string_view reason)> listener) {
    screen_access_listener_ = std::move(listener);
  }

 private:
  void HandleError(const RuntimeError& error);

  Gdi& gdi_;
  WindowSystem& windows_;
  huevex::Clipboard clipboard_;
  std::vector<Form*> forms_;
  std::map<TimerId, Timer*> timers_;
  std::function<void(bool, std::string_view)> screen_access_listener_;
  // Mouse capture: the control that took the press gets the release.
  Form* captured_form_ = nullptr;
  const Control* captured_control_ = nullptr;
  int buttons_down_ = 0;
  int depth_ = 0;
  bool ended_ = false;
};

}  // namespace huevex
