// Native top-level windows over user32: framed windows with a close box,
// borderless panels without a taskbar button, mouse input with capture, the
// custom pointer, timers, the clipboard, the global shortcut and the message
// loop.
//
// The window procedure finds this object through GWLP_USERDATA; nothing is
// global. No exception leaves the window procedure: one escaping the toolkit
// ends the program with a message instead.
#pragma once

#include <map>
#include <optional>

#include "shell/platform/win32/dpi.h"
#include "shell/platform/win32/handles.h"

namespace huevex::win32 {

class Win32Windows final : public WindowSystem {
 public:
  // icon_group: the resource id of the program file's icon group, the windows' icon.
  Win32Windows(HINSTANCE instance, int icon_group);
  ~Win32Windows() override;
  Win32Windows(const Win32Windows&) = delete;
  Win32Windows& operator=(const Win32Windows&) = delete;

  void SetListener(WindowEvents* listener) override { listener_ = listener; }
  Hwnd CreateTopLevel(const WindowDesc& desc) override;
  void DestroyTopLevel(Hwnd window) override;
  Insets FrameInsets(bool framed, int dpi) override;
  Rect GetOuterRect(Hwnd window) override;
  void MoveTopLevel(Hwnd window, Point outer_top_left) override;
  void ResizeClient(Hwnd window, int client_width, int client_height) override;
  void ShowTopLevel(Hwnd window, bool visible) override;
  bool IsMinimized(Hwnd window) override;
  void SetTitle(Hwnd window, std::string_view utf8) override;
  bool KeepOnTop(Hwnd window, bool activate) override;
  void DrawTitleBarActive(Hwnd window) override;
  void Present(Hwnd window, Hdc surface) override;
  void SetCapture(Hwnd window) override;
  bool CaptureAll(Hwnd window) override;
  void ReleaseCapture() override;
  void SetPointer(Hwnd window, const Picture* picture) override;
  TimerId SetTimer(unsigned interval_ms) override;
  void KillTimer(TimerId timer) override;
  bool SetClipboardText(Hwnd owner, std::string_view utf8) override;
  bool RegisterShortcut(const Shortcut& shortcut) override;
  int GetDpi(Hwnd window) override;
  std::vector<MonitorInfo> GetMonitors() override;
  void ShowError(Hwnd owner, std::string_view title, std::string_view message) override;
  std::uint32_t GetTickCount() override;
  void Run() override;
  void Quit() override;

  // Under Wine a move of the pointer during a capture grabs and lets go of
  // the X pointer, which ends the X server's own grab that a drag runs on: the
  // release then goes to whatever X window is under the pointer, and the drag
  // never ends here. So there, during a capture, the pointer stays and the
  // point moves: an offset from it, which the captured window's pointer
  // shows, until the capture ends. True when the move was taken so.
  bool NudgePointer(Point to);
  // The pointer's position with the offset, while there is one.
  Point Nudged(Point pointer) const;

 private:
  static constexpr int kShortcutId = 1;  // the one hot key, on the message-only window
  static HCURSOR Arrow();
  static Rect VirtualScreen();  // every monitor's pixels
  struct Window {
    DWORD style = 0;
    DWORD ex_style = 0;
    int dpi = 96;
    HDC surface = nullptr;                    // what WM_PAINT shows
    const Picture* pointer = nullptr;         // null: the default arrow
    const Picture* cursor_picture = nullptr;  // what cursor was made from
    UniqueIcon cursor;
    UniqueIcon nudged_cursor;  // the pointer's picture at the nudge's offset
    UniqueIcon big_icon;
    UniqueIcon small_icon;
  };

  // A capture with no button held: the screen as it was when it began, in a
  // topmost window over the whole virtual screen that takes the mouse for
  // the captured window. Other threads' windows never see the pointer then,
  // which SetCapture alone cannot promise without a button down.
  struct Overlay {
    UniqueBitmap picture;  // the virtual screen, in physical pixels
    UniqueMemoryDc dc;     // holds the picture
    UniqueWindow window;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleOverlay(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  Window* Find(HWND window);
  HCURSOR CustomCursor(HWND window);
  void SetIcons(HWND window, Window& state, const Picture& picture);
  void Button(HWND window, MouseButton button, bool down, Point client);
  void Key(HWND window, WPARAM key);
  void CaptureLost(HWND window);
  void ReleaseButtonsHeld(HWND window);
  bool ShowOverlay();
  void KeepAboveOverlay(HWND window);
  // The pointer shows no offset any more; the offset itself goes unless kept.
  void ForgetNudge(HWND window, bool keep_offset = false);
  void Paint(HWND window);

  // Runs a call into the toolkit; an exception stops the program here.
  template <typename Call>
  void Notify(Call&& call) noexcept {
    if (!listener_ || failed_) return;
    try {
      call(*listener_);
    } catch (...) {
      Fail();
    }
  }
  void Fail() noexcept;

  HINSTANCE instance_;
  int icon_group_;
  ATOM class_ = 0;
  DpiApi dpi_;
  WindowEvents* listener_ = nullptr;
  std::map<HWND, Window> windows_;
  UniqueWindow message_window_;  // message-only: owns the timers and the shortcut
  UINT_PTR next_timer_ = 1;
  HWND captured_ = nullptr;
  std::optional<Overlay> overlay_;  // while a capture with no button held lasts
  bool on_wine_;
  Point nudge_;           // the point's offset from the pointer during a capture (Wine)
  Point nudged_from_;     // where the pointer was at the last nudge
  int buttons_down_ = 0;  // pressed since the last press without capture
  bool releasing_capture_ = false;
  bool failed_ = false;
};

}  // namespace huevex::win32
