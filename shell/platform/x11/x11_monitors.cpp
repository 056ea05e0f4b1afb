#include "shell/platform/x11/x11_monitors.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <dlfcn.h>

#include <algorithm>

#include "shell/platform/soft/library_function.h"

namespace huevex::x11 {
namespace {

// The libraries, loaded at the first look at the monitors and kept: Xlib
// keeps the extension's hooks for the display from then on.
struct Randr {
  decltype(&XRRQueryExtension) QueryExtension = nullptr;
  decltype(&XRRQueryVersion) QueryVersion = nullptr;
  decltype(&XRRSelectInput) SelectInput = nullptr;
  decltype(&XRRGetMonitors) GetMonitors = nullptr;
  decltype(&XRRFreeMonitors) FreeMonitors = nullptr;
};

struct Xinerama {
  decltype(&XineramaIsActive) IsActive = nullptr;
  decltype(&XineramaQueryScreens) QueryScreens = nullptr;
};

const Randr* LoadRandr() {
  static const Randr loaded = [] {
    Randr r;
    void* library = dlopen("libXrandr.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!library || !soft::BindFunction(library, "XRRQueryExtension", r.QueryExtension) ||
        !soft::BindFunction(library, "XRRQueryVersion", r.QueryVersion) ||
        !soft::BindFunction(library, "XRRSelectInput", r.SelectInput) ||
        !soft::BindFunction(library, "XRRGetMonitors", r.GetMonitors) ||
        !soft::BindFunction(library, "XRRFreeMonitors", r.FreeMonitors)) {
      r = Randr{};
    }
    return r;
  }();
  return loaded.GetMonitors ? &loaded : nullptr;
}

const Xinerama* LoadXinerama() {
  static const Xinerama loaded = [] {
    Xinerama x;
    void* library = dlopen("libXinerama.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library || !soft::BindFunction(library, "XineramaIsActive", x.IsActive) ||
        !soft::BindFunction(library, "XineramaQueryScreens", x.QueryScreens)) {
      x = Xinerama{};
    }
    return x;
  }();
  return loaded.QueryScreens ? &loaded : nullptr;
}

}  // namespace

std::vector<MonitorInfo> UsableMonitors(std::vector<MonitorInfo> found, Rect screen) {
  std::vector<MonitorInfo> usable;
  bool primary = false;
  for (MonitorInfo m : found) {
    m.monitor = Intersect(m.monitor, screen);
    if (m.monitor.Width() <= 0 || m.monitor.Height() <= 0) continue;
    m.work = m.monitor;
    m.primary = m.primary && !primary;
    primary = primary || m.primary;
    usable.push_back(m);
  }
  if (usable.empty()) usable.push_back({screen, screen, true});
  return usable;
}

const std::vector<MonitorInfo>& MonitorList::Get(Rect screen) {
  if (stale_ || screen != screen_) {
    monitors_ = Read(screen);
    screen_ = screen;
    stale_ = false;
  }
  return monitors_;
}

bool MonitorList::Covers(Rect screen, Point point) {
  const std::vector<MonitorInfo>& list = Get(screen);
  return std::any_of(list.begin(), list.end(),
                     [point](const MonitorInfo& m) { return m.monitor.Contains(point); });
}

bool MonitorList::Holds(Rect screen, Rect block) {
  const std::vector<MonitorInfo>& list = Get(screen);
  return std::any_of(list.begin(), list.end(), [block](const MonitorInfo& m) {
    return Intersect(m.monitor, block) == block;
  });
}

bool MonitorList::Handle(const XEvent& event) {
  if (!randr_event_ || event.type != *randr_event_ + RRScreenChangeNotify) return false;
  stale_ = true;
  return true;
}

std::vector<MonitorInfo> MonitorList::Read(Rect screen) {
  std::vector<MonitorInfo> found;
  if (!ReadRandr(found)) ReadXinerama(found);
  return UsableMonitors(std::move(found), screen);
}

bool MonitorList::ReadRandr(std::vector<MonitorInfo>& out) {
  const Randr* randr = nullptr;
  int event_base = 0, error_base = 0;
  if (!looked_up_) {
    looked_up_ = true;
    int major = 0, minor = 0;
    if ((randr = LoadRandr()) && randr->QueryExtension(display_, &event_base, &error_base) &&
        randr->QueryVersion(display_, &major, &minor) && (major > 1 || minor >= 5)) {
      randr_event_ = event_base;
      randr->SelectInput(display_, DefaultRootWindow(display_), RRScreenChangeNotifyMask);
    }
  }
  if (!randr_event_) return false;
  randr = LoadRandr();
  int count = 0;
  XRRMonitorInfo* monitors =
      randr->GetMonitors(display_, DefaultRootWindow(display_), True, &count);
  for (int i = 0; i < count; ++i) {
    const XRRMonitorInfo& m = monitors[i];
    const Rect area{m.x, m.y, m.x + m.width, m.y + m.height};
    out.push_back({area, area, m.primary != 0});
  }
  if (monitors) randr->FreeMonitors(monitors);
  return count > 0;
}

// Xinerama has no primary: the program then goes by the pointer.
bool MonitorList::ReadXinerama(std::vector<MonitorInfo>& out) {
  int opcode = 0, event_base = 0, error_base = 0;
  if (!XQueryExtension(display_, "XINERAMA", &opcode, &event_base, &error_base)) return false;
  const Xinerama* xinerama = LoadXinerama();
  if (!xinerama || !xinerama->IsActive(display_)) return false;
  int count = 0;
  XineramaScreenInfo* screens = xinerama->QueryScreens(display_, &count);
  for (int i = 0; i < count; ++i) {
    const XineramaScreenInfo& s = screens[i];
    const Rect area{s.x_org, s.y_org, s.x_org + s.width, s.y_org + s.height};
    out.push_back({area, area, false});
  }
  if (screens) XFree(screens);
  return count > 0;
}

}  // namespace huevex::x11
