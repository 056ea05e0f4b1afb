// The window system over Xlib: the program's top-level windows and the events
// that come for them (taken in by x11_desktop_events.cpp), mouse capture,
// timers with absolute deadlines, and the loop, which sleeps on the X
// connection and on any other connection it is asked to watch. The window
// manager's part is in x11_window_manager, the pointer grab in x11_capture,
// putting surfaces on screen in x11_present, the error box in x11_message_box.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shell/platform/platform.h"
#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_atoms.h"
#include "shell/platform/x11/x11_capture.h"
#include "shell/platform/x11/x11_clipboard.h"
#include "shell/platform/x11/x11_cover.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_poll.h"
#include "shell/platform/x11/x11_portal_shortcut.h"
#include "shell/platform/x11/x11_present.h"
#include "shell/platform/x11/x11_screen.h"
#include "shell/platform/x11/x11_shortcut.h"
#include "shell/platform/x11/x11_timers.h"
#include "shell/platform/x11/x11_window_manager.h"

namespace huevex::x11 {

class X11Desktop : public WindowSystem {
 public:
  // How long the end of the program waits for a clipboard manager to take the text.
  static constexpr std::chrono::milliseconds kHandOverLimit{1000};
  // How often a pick's ticks come while nothing moves or changes (a move or a
  // change on screen brings the next one at once).
  static constexpr std::chrono::milliseconds kSettledTick{16};
  // How long a capture with no button held waits for the keyboard to be free.
  static constexpr std::chrono::milliseconds kGrabPatience{500};
  // How long after the pointer is hidden a compositor's frames may still
  // have it drawn in (Xwayland's cursor update, the compositor's next frame).
  static constexpr std::int64_t kPointerGoneNs = 50'000'000;
  // How long after that the newest picture is taken as the screen as it is,
  // however old: a compositor sends frames only when the picture changes (a
  // pointer it draws and that was hidden has brought one by then, three
  // display frames at 60 Hz), and a portal's snapshot is dated by its
  // request, so on a still screen no newer one may ever come.
  static constexpr std::int64_t kStillScreenNs = 50'000'000;

  X11Desktop(Display* display, X11Screen& screen, soft::SoftGdi& gdi);
  ~X11Desktop() override;
  X11Desktop(const X11Desktop&) = delete;
  X11Desktop& operator=(const X11Desktop&) = delete;

  // The clipboard's text outlives the program even where no clipboard
  // manager runs: a server of the program's own keeps it (a command's pick).
  void KeepClipboardAfterExit() { keep_clipboard_ = true; }

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
  bool ScreenAwaitsAnswer() override { return screen_.AwaitsAnswer(); }
  void Run() override;
  void Quit() override { quit_ = true; }

  // Another connection for the loop to wait on beside the X connection (a
  // Wayland or D-Bus connection): `on_readable` runs in the loop whenever
  // `fd` can be read, or has been closed at the other end, and must take in
  // what is there. Watching an fd again replaces its callback; Unwatch before
  // closing it. A callback may watch and unwatch, itself included.
  void Watch(int fd, std::function<void()> on_readable);
  void Unwatch(int fd);

  // Handles events until `closes` accepts an input event on `box`, or the box
  // is closed or destroyed. Meanwhile the other windows take no input and no
  // timer ticks; the rest (exposure, the clipboard, watched fds) goes on.
  void RunModal(Hwnd box, std::function<bool(XEvent&)> closes);
  // Ties a box to the window it belongs to (WM_TRANSIENT_FOR): the window
  // manager keeps it over its owner and gives it no taskbar entry of its own.
  void SetTransientFor(Hwnd box, Hwnd owner);

  // One turn of the loop: handles what has arrived, fires due timers, and
  // waits at most `limit` for more. For tests that drive the loop themselves.
  void Step(std::chrono::milliseconds limit);

 private:
  // The backend's tests ask whether a window manager was found.
  friend struct DesktopForTests;
  // Where a window shown while the screen is covered is: drawn on the cover
  // alone and mapped once the cover has gone (Later), or, for a framed one
  // once the cover is up, also mapped beneath it (Beneath), so that the
  // window manager can give it the keyboard; its place is then the one the
  // program gave it, whatever the window manager makes of it unseen.
  enum class UnderCover { No, Later, Beneath };
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
    WindowImage image;
    WindowImage on_cover;  // its surface drawn onto the screen cover
    UnderCover cover = UnderCover::No;
  };
  using Clock = TimerQueue::Clock;

  TopLevel* Find(Window window);
  Insets InsetsOf(const TopLevel& top) const;
  std::vector<Window> TopmostShown() const;
  void RiseOver(Window other);
  int ReadDpi();
  void PutSurface(TopLevel& top);
  void Handle(XEvent& event);
  void HandleButton(const XButtonEvent& event);
  void HandleKey(XKeyEvent& event);
  void HandleProperty(const XPropertyEvent& event);
  void HandleClientMessage(const XClientMessageEvent& event);
  void HandleConfigure(const XConfigureEvent& event);
  void HandleDestroy(const XDestroyWindowEvent& event);
  void TellScreenAccess();
  Rect ClientRectOf(const TopLevel& top) const;
  void CoverWhenPictured();
  void RedrawCover();
  void Uncover();
  void MapAfterCover();
  void MapBeneathCover();
  void Map(TopLevel& top);
  void GiveWayToQuestion();
  void TellMonitors();
  bool RegisterPortalShortcut(const Shortcut& shortcut);

  Display* display_;
  X11Screen& screen_;
  soft::SoftGdi& gdi_;
  Atoms atoms_;
  ClipboardOwner clipboard_;
  Window root_;
  WindowManager wm_;
  Presenter presenter_;
  WindowEvents* listener_ = nullptr;
  std::map<Window, TopLevel> windows_;
  TimerQueue timers_;
  int dpi_ = 96;
  std::string dpi_note_;          // what was last said about an Xft.dpi no monitor has
  Time last_time_ = CurrentTime;  // of the last event that carried the server's time
  Point press_root_;              // where the last press on one of ours was, on the root
  PointerCapture capture_;
  ScreenCover cover_;
  // A capture with no press waits for a picture of the screen taken since
  // the pointer was hidden, at this moment (CLOCK_MONOTONIC, ns).
  std::optional<std::int64_t> cover_awaited_;
  GlobalShortcut shortcut_;
  std::unique_ptr<PortalShortcut> portal_shortcut_;  // on Xwayland, instead
  Window modal_ = 0;                                 // a box waiting to be closed
  std::function<bool(XEvent&)> modal_closes_;
  bool modal_done_ = false;
  PollSet poll_;
  bool quit_ = false;
  bool timers_ran_ = false;  // a timer was running at the last wait
  bool yielding_ = false;    // our topmost windows give way to the desktop's question
  bool keep_clipboard_ = false;
};

}  // namespace huevex::x11
