// The monitors of the X screen: RandR 1.5's (XRRGetMonitors, with its
// primary flag), else Xinerama's screens, else the whole screen as one
// monitor. libXrandr and libXinerama are opened the first time the monitors
// are wanted, as libXi is, so that the program links neither. The list is
// kept until the screen changes: RRScreenChangeNotify, or the root window's
// ConfigureNotify, which is all `xrandr --setmonitor` sends.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <vector>

#include "shell/platform/platform.h"

namespace huevex::x11 {

class MonitorList {
 public:
  explicit MonitorList(Display* display) : display_(display) {}

  // The monitors on a screen of this size, each cut to it; work areas are
  // the monitors themselves here (the window manager's are the desktop's
  // business). The first look selects RandR's change events.
  const std::vector<MonitorInfo>& Get(Rect screen);
  // Whether a point lies on a monitor (false in the gaps between them).
  bool Covers(Rect screen, Point point);
  // Whether a block lies wholly on one monitor.
  bool Holds(Rect screen, Rect block);
  // The list is read again at the next look.
  void Changed() { stale_ = true; }
  // Takes RandR's screen change event: true for it (the list is then stale).
  bool Handle(const XEvent& event);

 private:
  std::vector<MonitorInfo> Read(Rect screen);
  bool ReadRandr(std::vector<MonitorInfo>& out);
  bool ReadXinerama(std::vector<MonitorInfo>& out);

  Display* display_;
  bool stale_ = true;
  Rect screen_{};  // the screen the list was read for
  std::vector<MonitorInfo> monitors_;
  std::optional<int> randr_event_;  // RandR's first event code, once it is selected
  bool looked_up_ = false;
};

// The monitors as the program uses them: their rectangles cut to the screen,
// none left empty, and at most one primary; the whole screen where none is left.
std::vector<MonitorInfo> UsableMonitors(std::vector<MonitorInfo> found, Rect screen);

}  // namespace huevex::x11
