// Finding a monitor in the list the window system gives (GetMonitors), as
// Win32's MonitorFromPoint and MonitorFromRect do with
// MONITOR_DEFAULTTONEAREST, and where the program puts a window of its own.
// The same on every platform, so the simulated desktop tests the rules that ship.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "shell/platform/platform.h"

namespace huevex {

inline const MonitorInfo* PrimaryMonitor(const std::vector<MonitorInfo>& monitors) {
  for (const MonitorInfo& m : monitors) {
    if (m.primary) return &m;
  }
  return nullptr;
}

// How far a point is from a rectangle (squared; zero inside).
inline std::int64_t DistanceSquared(Rect r, Point p) {
  const std::int64_t dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - (r.right - 1) : 0;
  const std::int64_t dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - (r.bottom - 1) : 0;
  return dx * dx + dy * dy;
}

// The monitor that holds the point, else the nearest one; the first of a tie.
// The list must not be empty.
inline const MonitorInfo& MonitorFromPoint(const std::vector<MonitorInfo>& monitors, Point p) {
  return *std::min_element(monitors.begin(), monitors.end(),
                           [p](const MonitorInfo& a, const MonitorInfo& b) {
                             return DistanceSquared(a.monitor, p) < DistanceSquared(b.monitor, p);
                           });
}

inline std::int64_t AreaOf(Rect r) { return std::int64_t{r.Width()} * r.Height(); }

// The monitor a rectangle has most of, else the one nearest its centre.
inline const MonitorInfo& MonitorFromRect(const std::vector<MonitorInfo>& monitors, Rect r) {
  const MonitorInfo* best = nullptr;
  std::int64_t most = 0;
  for (const MonitorInfo& m : monitors) {
    const std::int64_t shared = AreaOf(Intersect(m.monitor, r));
    if (shared > most) {
      most = shared;
      best = &m;
    }
  }
  if (best) return *best;
  return MonitorFromPoint(monitors, {r.left + r.Width() / 2, r.top + r.Height() / 2});
}

// Whether any part of the rectangle lies on a monitor.
inline bool OnAnyMonitor(const std::vector<MonitorInfo>& monitors, Rect r) {
  return std::any_of(monitors.begin(), monitors.end(),
                     [r](const MonitorInfo& m) { return AreaOf(Intersect(m.monitor, r)) > 0; });
}

// The top-left corner of a box of this size centred in an area. A box larger
// than the area keeps its top-left corner (and title bar) inside it.
inline Point CentredIn(Rect area, int width, int height) {
  return {std::max(area.left, area.left + (area.Width() - width) / 2),
          std::max(area.top, area.top + (area.Height() - height) / 2)};
}

// The top-left corner of a box of this size beside a point, never over it:
// `gap` below and right of it, or above or left of it where the area has no
// room on that side, and kept inside the area as far as it fits.
inline Point BesidePoint(Point p, int width, int height, Rect area, int gap) {
  int x = p.x + gap;
  if (x + width > area.right) x = p.x - gap - width;
  int y = p.y + gap;
  if (y + height > area.bottom) y = p.y - gap - height;
  return {std::max(x, area.left), std::max(y, area.top)};
}

}  // namespace huevex
