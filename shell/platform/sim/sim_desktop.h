// The simulated desktop: an in-memory platform that tests drive by hand.
//
// The screen is a background picture with the program's windows (and any
// other program's windows a test adds) over it in their stacking order, on one
// or more monitors, negative origins included. A test moves the cursor,
// presses and releases buttons, and advances the clock; timers fire only
// then. The clipboard can be made busy, and every platform call of interest
// is logged so tests can check order and pairing.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shell/platform/call_log.h"
#include "shell/platform/platform.h"
#include "shell/platform/soft/soft_gdi.h"

namespace huevex::sim {

struct Monitor {
  Rect area;
  int dpi = 96;
  Rect work{};  // none: the whole monitor
};

// Which monitor is the primary, by its place in the list.
inline constexpr int kNoPrimary = -1;

class SimDesktop : public soft::ScreenSource, public WindowSystem {
 public:
  // The first monitor is the primary unless `primary` names another, or none.
  explicit SimDesktop(std::vector<Monitor> monitors = {{{0, 0, 1920, 1080}, 96}}, int primary = 0);
  ~SimDesktop() override;

  soft::SoftGdi& gdi() { return gdi_; }
  CallLog& log() { return log_; }

  // The screen's layout changes (a monitor added, removed or resized); the
  // background starts afresh, and the program is told.
  void SetMonitors(std::vector<Monitor> monitors, int primary = 0);

  // The background picture.
  void FillBackground(Rect area, ColorValue color);
  void SetBackgroundPixel(Point point, ColorValue color);

  // The user.
  void MoveCursor(Point point) { cursor_ = point; }
  Point Cursor() const { return cursor_; }
  void Press(MouseButton button = MouseButton::Left);
  void Release(MouseButton button = MouseButton::Left);
  // A key goes down (each call is one press, or one repeat of a held key).
  void KeyDown(int key, bool shift = false);
  // The keys of the registered shortcut, typed in another program; a desktop
  // that has given it to another program already.
  void PressShortcut();
  void ShortcutTakenElsewhere(bool taken) { shortcut_taken_ = taken; }
  std::optional<Shortcut> RegisteredShortcut() const { return shortcut_; }
  void Advance(int milliseconds);
  void ClickCloseBox(Hwnd window);
  void DragWindow(Hwnd window, Point outer_top_left);  // by its title bar
  void SetMinimized(Hwnd window, bool minimized);
  // The screen could not be read (a locked or switched desktop).
  void SetScreenReadable(bool readable) { screen_readable_ = readable; }
  // A screen whose frames come late: reads fail for this long from now.
  void FramesAfter(int milliseconds) { frames_from_ = now_ + milliseconds; }
  // The desktop asks the user whether the program may read the screen.
  void SetScreenAwaitsAnswer(bool asking) { asking_ = asking; }
  // What a backend tells when every way to the screen fails, or one comes back.
  void ReportScreenAccess(ScreenAccess access, std::string_view reason) {
    if (listener_) listener_->OnScreenAccess(access, reason);
  }

  // Other programs.
  Hwnd AddForeignWindow(Rect outer, ColorValue fill);
  int MouseEventsReceived(Hwnd foreign) const;
  void ExternalClipboardText(std::string text) { clipboard_ = std::move(text); }
  void MakeClipboardBusy(int attempts) { clipboard_busy_ = attempts; }
  std::optional<std::string> ClipboardText() const { return clipboard_; }

  // What the user sees.
  ColorValue ScreenPixel(Point point);
  // The pointer shown at the cursor: nullptr is the default arrow.
  const Picture* ShownPointer() const;
  Hwnd CaptureWindow() const { return capture_; }
  std::vector<Hwnd> StackingOrder() const { return order_; }  // topmost first
  bool IsVisible(Hwnd window) const;
  bool IsTopmost(Hwnd window) const;
  bool Exists(Hwnd window) const { return windows_.count(window) == 1; }
  std::string Title(Hwnd window) const;
  bool HasTaskbarButton(Hwnd window) const;
  Rect ClientRect(Hwnd window) const;  // screen pixels
  int Presents(Hwnd window) const;     // how often the window's picture was put on screen
  int ActiveTimers() const { return static_cast<int>(timers_.size()); }
  bool QuitRequested() const { return quit_; }
  const std::vector<std::string>& ErrorsShown() const { return errors_; }
  std::vector<Hwnd> Windows() const;

  // ScreenSource
  bool CursorPos(Point* point) override;
  bool WarpCursor(Point point) override;
  bool OnScreen(Point point) override;
  bool Read(Rect block, std::uint32_t* out) override;

  // WindowSystem
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
  bool ScreenAwaitsAnswer() override { return asking_; }
  std::uint32_t GetTickCount() override { return static_cast<std::uint32_t>(now_); }
  void Run() override {}
  void Quit() override;

 private:
  // A window's frame and caption, as Windows draws them by default.
  static constexpr std::uint32_t kCaptionBlue = 0xD77800;  // RGB(0, 120, 215)
  static constexpr std::uint32_t kFrameGray = 0xF0F0F0;
  struct Window {
    bool ours = true;
    bool framed = false;
    bool taskbar = true;
    std::string title;
    Rect outer;
    Insets insets;
    bool visible = false;
    bool minimized = false;
    bool topmost = false;
    const Picture* pointer = nullptr;
    std::vector<std::uint32_t> client;  // the last presented surface
    int client_width = 0;
    int client_height = 0;
    ColorValue fill = 0;  // foreign windows
    int mouse_events = 0;
    int presents = 0;
  };
  struct PendingTimer {
    unsigned interval = 0;
    std::int64_t due = 0;
  };

  Window* Find(Hwnd window);
  const Window* Find(Hwnd window) const;
  Hwnd WindowAt(Point point) const;
  void Raise(Hwnd window);  // to the top of its band
  Point ClientPoint(Hwnd window) const;
  void Button(MouseButton button, bool down);
  std::uint32_t ComposedPixel(Point point) const;
  const Monitor& MonitorOf(Point point) const;

  std::vector<Monitor> monitors_;
  int primary_ = 0;
  Rect bounds_;  // the bounding box of all monitors
  std::vector<std::uint32_t> background_;
  CallLog log_;
  soft::SoftGdi gdi_;
  WindowEvents* listener_ = nullptr;

  Point cursor_{};
  std::map<Hwnd, Window> windows_;
  std::vector<Hwnd> order_;  // topmost first
  std::uintptr_t next_window_ = 0x1000;
  Hwnd capture_{};

  std::map<TimerId, PendingTimer> timers_;
  std::uintptr_t next_timer_ = 1;
  std::int64_t now_ = 0;

  std::optional<Shortcut> shortcut_;
  bool shortcut_taken_ = false;
  std::optional<std::string> clipboard_;
  int clipboard_busy_ = 0;
  bool screen_readable_ = true;
  std::int64_t frames_from_ = 0;
  bool asking_ = false;
  bool quit_ = false;
  std::vector<std::string> errors_;
};

}  // namespace huevex::sim
