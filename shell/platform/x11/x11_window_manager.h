// The window manager as the program deals with it: whether one runs, and
// noticing when it goes; the hints a window is created with, so that it gets
// the frame, the place and the taskbar entry the program asks for; the frame
// put around a framed window; and topmost windows, which the window manager
// keeps above the others where one runs, and the program itself raises again
// where none does. Under Xwayland the borderless panels are override-redirect
// (unmanaged): compositors such as sway centre every new floating X window
// whatever position it asks for, and the panels take no focus and have no
// frame anyway (see docs/wayland.md).
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <vector>

#include "shell/platform/platform.h"
#include "shell/platform/x11/x11_atoms.h"

namespace huevex::x11 {

// The _NET_WM_ICON value of a picture: width, height, then one ARGB value per
// pixel, rows top first; pixels the picture does not draw have alpha 0.
// Elements are longs, as Xlib takes 32-bit property data.
std::vector<unsigned long> IconProperty(const Picture& picture);

class WindowManager {
 public:
  WindowManager(Display* display, const Atoms& atoms, Window root);

  // Whether an EWMH window manager runs. Follow() asks again (when one
  // announces itself on the root window); Gone() tells of a destroyed window,
  // and is true when it was the window manager's check window: one that is
  // killed leaves its root property behind, so that is how its end shows.
  bool Running() const { return running_; }
  void Follow();
  bool Gone(Window destroyed);

  // The hints a new window carries, written before it is first mapped.
  void Describe(Window window, const WindowDesc& desc, int client_width, int client_height);
  // A fixed client size and the program's own position for the frame's corner.
  void WriteNormalHints(Window window, int client_width, int client_height, Point position);
  // _NET_WM_STATE, which the window manager reads when the window is mapped.
  void WriteState(Window window, bool topmost, bool taskbar);

  // The frame around one window, as the window manager wrote it there; that of
  // a framed window is remembered as what framed windows get.
  std::optional<Insets> ReadFrame(Window window, bool framed);
  // Asks, the first time only, what frame a framed window will get, before
  // there is one to measure, so that start-up centring is exact.
  void AskFrameOnce();
  // What a framed window gets: as the window manager last told, else a thin
  // frame and a caption, as on Windows; none where the window manager never
  // tells its frame (then the client area is all that can be known).
  Insets TypicalFrame(int dpi) const;

  // Sets each monitor's work area on the current desktop: the window
  // manager's own for that monitor (_GTK_WORKAREAS_D<n>) where it gives them,
  // else _NET_WORKAREA cut to the monitor; the whole monitor where neither
  // leaves anything of it.
  void SetWorkAreas(std::vector<MonitorInfo>& monitors);

  // Asks the window manager to keep a mapped window above the others, or
  // (above false) to let it go back among them.
  void AskAbove(Window window, bool above = true);
  // Asks the window manager to give a mapped window the keyboard focus, as
  // an application does (_NET_ACTIVE_WINDOW), at `time`, the server's time
  // of the event that led to it.
  void Activate(Window window, Time time);
  // Where none runs: raises the program's shown topmost windows, always in
  // the same order, so that two of them never take turns covering each other.
  void KeepAbove(const std::vector<Window>& ours);
  // Another client's window came up or rose over ours: they rise over it,
  // unless it stays on top itself (two such programs would otherwise take
  // turns raising over each other for ever).
  void RiseOver(Window other, const std::vector<Window>& ours);

 private:
  bool Detect();
  std::optional<Insets> AskFrame();

  Display* display_;
  const Atoms& atoms_;
  Window root_;
  bool running_ = false;
  Window check_ = 0;             // the window manager's check window, gone when it goes
  std::optional<Insets> frame_;  // what the window manager puts around a framed window
  bool frame_asked_ = false;
  bool frame_unknown_ = false;  // it does not support _NET_FRAME_EXTENTS
};

}  // namespace huevex::x11
