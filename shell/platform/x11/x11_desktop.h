// The window system over Xlib: top-level windows with the hints a window
// manager needs (fixed size, close box only, no taskbar button for panels,
// stay on top), mouse capture through a pointer grab on the root window with a
// pixmap cursor, timers with absolute deadlines in a poll() loop, the CLIPBOARD
// selection, and the forms' surfaces put on screen with (shared-memory)
// XPutImage. Where no EWMH window manager runs, topmost windows keep
// themselves above by raising again when another window comes up or rises.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "shell/platform/platform.h"
#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_atoms.h"
#include "shell/platform/x11/x11_clipboard.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_screen.h"
#include "shell/platform/x11/x11_timers.h"

namespace huevex::x11 {

class X11Desktop : public WindowSystem {
 public:
  // How long the end of the program waits for a clipboard manager to take the text.
  static constexpr std::chrono::milliseconds kHandOverLimit{1000};

  X11Desktop(Display* display, X11Screen& screen, soft::SoftGdi& gdi);
  ~X11Desktop() override;
  X11Desktop(const X11Desktop&) = delete;
  X11Desktop& operator=(const X11Desktop&) = delete;

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
  bool SetWindowPos(Hwnd window, Hwnd insert_after, int x, int y, int cx, int cy,
                    std::uint32_t flags) override;
  void DrawTitleBarActive(Hwnd window) override;
  void Present(Hwnd window, Hdc surface) override;
  void SetCapture(Hwnd window) override;
  void ReleaseCapture() override;
  void SetPointer(Hwnd window, const Picture* picture) override;
  TimerId SetTimer(unsigned interval_ms) override;
  void KillTimer(TimerId timer) override;
  bool SetClipboardText(Hwnd owner, std::string_view utf8) override;
  int GetDpi(Hwnd window) override;
  Rect PrimaryWorkArea() override;
  void ShowError(std::string_view title, std::string_view message) override;
  void Run() override;
  void Quit() override { quit_ = true; }

  // What the backend found out about the display.
  bool WindowManagerRunning() const { return wm_; }
  // One turn of the loop: handles what has arrived, fires due timers, and
  // waits at most `limit` for more. For tests that drive the loop themselves.
  void Step(std::chrono::milliseconds limit);

 private:
  struct TopLevel {
    WindowHandle window;
    bool framed = true;
    bool topmost = false;
    bool taskbar = true;
    bool shown = false;    // asked to be visible
    bool mapped = false;   // the server says it is
    bool managed = false;  // a window manager has framed it
    bool iconic = false;
    bool above_asked = false;
    int client_width = 0;
    int client_height = 0;
    // The outer top-left as last set, or the client's root position as the
    // window manager last reported it (the frame then lies around it).
    Point outer;
    std::optional<Point> client_root;
    std::optional<Insets> extents;  // _NET_FRAME_EXTENTS
    const Picture* pointer = nullptr;
    Hdc surface{};
    std::unique_ptr<ShmImage> shm_image;
    ImagePtr image;
    unsigned long put_serial = 0;  // the request of the last shared-memory put
  };
  using Clock = TimerQueue::Clock;

  TopLevel* Find(Window window);
  void Handle(XEvent& event);
  void HandleButton(const XButtonEvent& event);
  void HandleProperty(const XPropertyEvent& event);
  void HandleClientMessage(const XClientMessageEvent& event);
  void HandleConfigure(const XConfigureEvent& event);
  bool DetectWindowManager();
  void FollowWindowManager();
  bool Supported(Atom feature);
  std::optional<Insets> ReadExtents(Window window);
  std::optional<Insets> AskFrameExtents();
  Insets InsetsOf(const TopLevel& top) const;
  int ReadDpi();
  void WriteNormalHints(Window window, int client_width, int client_height, Point position);
  void WriteState(const TopLevel& top);
  void SendAbove(Window window);
  void KeepAbove();
  void RiseOver(Window other);
  void PutSurface(TopLevel& top);
  XImage* ImageFor(TopLevel& top, int width, int height);
  void FinishPut(const TopLevel& top);
  Cursor CursorFor(const Picture* picture);
  void WaitForInput(std::optional<Clock::time_point> deadline);
  bool RunMessageBox(Window box, Rect ok_button);

  Display* display_;
  X11Screen& screen_;
  soft::SoftGdi& gdi_;
  Atoms atoms_;
  ClipboardOwner clipboard_;
  Window root_;
  WindowEvents* listener_ = nullptr;
  std::map<Window, TopLevel> windows_;
  std::map<const Picture*, CursorHandle> cursors_;
  TimerQueue timers_;
  bool wm_ = false;
  Window wm_check_ = 0;  // the window manager's check window, gone when it goes
  bool shm_ = false;
  int dpi_ = 96;
  std::optional<Insets> frame_extents_;  // what the window manager puts around a framed window
  bool frame_extents_asked_ = false;
  Time last_time_ = CurrentTime;  // of the last event that carried the server's time
  Point press_root_;
  Window capture_ = 0;
  Point capture_origin_;
  bool grabbed_ = false;
  Window modal_ = 0;  // the error box, while it waits for its OK
  bool modal_done_ = false;
  Rect modal_ok_;
  bool quit_ = false;
  bool timers_ran_ = false;  // a timer was running at the last wait
};

}  // namespace huevex::x11
