// A form: a top-level window built from its layout, with its controls. It
// loads on first use (window, controls, then Form_Load), shows, hides and
// unloads; it paints its controls into a back buffer and hit-tests clicks in
// stacking order; event procedures are bound to it by name.
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
inline constexpr int vbShiftMask = 1;
inline constexpr int vbKeyReturn = VK_RETURN;
inline constexpr int vbKeyEscape = VK_ESCAPE;
inline constexpr int vbKeyLeft = VK_LEFT;
inline constexpr int vbKeyUp = VK_UP;
inline constexpr int vbKeyRight = VK_RIGHT;
inline constexpr int vbKeyDown = VK_DOWN;

using MouseHandler = std::function<void(int button, int shift, Single x, Single y)>;

// The events a control raises. A handler is bound to a control's name, which
// the program takes from the same constant its layout is written with
// (resources/layouts.h), and to one of these: neither can be misspelled.
enum class Event { Click, Timer };
enum class MouseEvent { MouseDown, MouseUp };

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
  void RaiseEvent(const Control& control, Event event);
  void RaiseMouse(const Control& control, MouseEvent event, MouseButton button, Point client);
  // A key for the form (it has the keyboard, or holds the mouse); shift is vbShiftMask or 0.
  void RaiseKeyDown(int keyCode, int shift);
  void ChangeDpi(int dpi);
  // A window the monitors no longer show goes back to where it opened.
  void ComeBackOnScreen();
  Hgdiobj FontFor(const FontDesc& font);
  // Unloads: Form_Unload, then the window and controls go. False if cancelled.
  bool UnloadForm();
  // Tears the form down without raising events (the end after a run-time error).
  void Destroy();

 protected:
  virtual void Form_Load() {}
  virtual void Form_Unload(int& cancel) { (void)cancel; }
  virtual void Form_KeyDown(int& keyCode, int shift) {
    (void)keyCode;
    (void)shift;
  }
  void Bind(std::string_view control, Event event, std::function<void()> handler);
  void BindMouse(std::string_view control, MouseEvent event, MouseHandler handler);
  huevex::Clipboard& Clipboard();

 private:
  void Build();
  Rect StartWorkArea();
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
  std::map<std::pair<std::string, Event>, std::function<void()>> handlers_;
  std::map<std::pair<std::string, MouseEvent>, MouseHandler> mouse_handlers_;
};

// The global Unload: unloading a form that is not loaded changes nothing.
void Unload(Form& form);

}  // namespace huevex
