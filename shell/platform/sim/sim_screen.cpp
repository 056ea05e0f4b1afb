// The simulated desktop's monitors and its screen: the background with the
// windows over it, as the software GDI reads it.
#include <algorithm>

#include "shell/platform/sim/sim_desktop.h"

namespace huevex::sim {

// Monitors and the screen.

const Monitor& SimDesktop::MonitorOf(Point point) const {
  for (const Monitor& m : monitors_) {
    if (m.area.Contains(point)) return m;
  }
  return monitors_.front();
}

int SimDesktop::GetDpi(Hwnd window) {
  const Window* w = Find(window);
  if (!w) return monitors_[primary_ == kNoPrimary ? 0 : primary_].dpi;
  return MonitorOf({w->outer.left + w->outer.Width() / 2, w->outer.top + w->outer.Height() / 2})
      .dpi;
}

std::vector<MonitorInfo> SimDesktop::GetMonitors() {
  std::vector<MonitorInfo> list;
  for (size_t i = 0; i < monitors_.size(); ++i) {
    const Monitor& m = monitors_[i];
    list.push_back({m.area, m.work.Width() > 0 ? m.work : m.area, static_cast<int>(i) == primary_});
  }
  return list;
}

void SimDesktop::ShowError(Hwnd owner, std::string_view title, std::string_view message) {
  log_.Add("ShowError(" + HandleText(owner) + "," + std::string(title) + ")");
  errors_.emplace_back(message);
}

void SimDesktop::Quit() {
  log_.Add("Quit");
  quit_ = true;
}

bool SimDesktop::CursorPos(Point* point) {
  *point = cursor_;
  return true;
}

// As Windows does, the pointer stops at the screen's edges.
bool SimDesktop::WarpCursor(Point point) {
  cursor_ = {std::clamp(point.x, bounds_.left, bounds_.right - 1),
             std::clamp(point.y, bounds_.top, bounds_.bottom - 1)};
  return true;
}

bool SimDesktop::OnScreen(Point point) {
  return std::any_of(monitors_.begin(), monitors_.end(),
                     [&](const Monitor& m) { return m.area.Contains(point); });
}

std::uint32_t SimDesktop::ComposedPixel(Point p) const {
  if (const Window* w = Find(WindowAt(p))) {
    if (!w->ours) return static_cast<std::uint32_t>(w->fill) & 0xFFFFFFu;
    const int cx = p.x - w->outer.left - w->insets.left;
    const int cy = p.y - w->outer.top - w->insets.top;
    if (cx >= 0 && cy >= 0 && cx < w->client_width && cy < w->client_height) {
      return w->client[static_cast<size_t>(cy) * w->client_width + cx];
    }
    // The frame: a caption strip across the top, thin borders elsewhere.
    const bool caption = p.y >= w->outer.top + w->insets.left && p.y < w->outer.top + w->insets.top;
    return caption ? kCaptionBlue : kFrameGray;
  }
  return background_[static_cast<size_t>(p.y - bounds_.top) * bounds_.Width() +
                     (p.x - bounds_.left)];
}

bool SimDesktop::Read(Rect block, std::uint32_t* out) {
  if (!screen_readable_ || now_ < frames_from_) return false;
  for (int y = block.top; y < block.bottom; ++y) {
    for (int x = block.left; x < block.right; ++x) {
      const Point p{x, y};
      *out++ = OnScreen(p) ? ComposedPixel(p) : 0u;
    }
  }
  return true;
}

ColorValue SimDesktop::ScreenPixel(Point point) {
  if (!OnScreen(point)) return CLR_INVALID;
  return static_cast<ColorValue>(ComposedPixel(point));
}

}  // namespace huevex::sim
