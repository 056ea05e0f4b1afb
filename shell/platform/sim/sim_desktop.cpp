#include "shell/platform/sim/sim_desktop.h"

#include <algorithm>

namespace huevex::sim {
namespace {

constexpr std::uint32_t kDesktopTeal = 0x808000;  // RGB(0, 128, 128)

std::string Number(std::int64_t v) { return std::to_string(v); }

}  // namespace

SimDesktop::SimDesktop(std::vector<Monitor> monitors, int primary) : gdi_(*this, &log_) {
  SetMonitors(std::move(monitors), primary);
}

SimDesktop::~SimDesktop() = default;

void SimDesktop::SetMonitors(std::vector<Monitor> monitors, int primary) {
  monitors_ = std::move(monitors);
  primary_ = primary >= 0 && primary < static_cast<int>(monitors_.size()) ? primary : kNoPrimary;
  bounds_ = monitors_.front().area;
  for (const Monitor& m : monitors_) {
    bounds_ = {std::min(bounds_.left, m.area.left), std::min(bounds_.top, m.area.top),
               std::max(bounds_.right, m.area.right), std::max(bounds_.bottom, m.area.bottom)};
  }
  background_.assign(static_cast<size_t>(bounds_.Width()) * bounds_.Height(), kDesktopTeal);
  if (listener_) listener_->OnMonitorsChanged();
}

// The background.

void SimDesktop::FillBackground(Rect area, ColorValue color) {
  for (int y = std::max(area.top, bounds_.top); y < std::min(area.bottom, bounds_.bottom); ++y) {
    for (int x = std::max(area.left, bounds_.left); x < std::min(area.right, bounds_.right); ++x) {
      SetBackgroundPixel({x, y}, color);
    }
  }
}

void SimDesktop::SetBackgroundPixel(Point p, ColorValue color) {
  if (!bounds_.Contains(p)) return;
  background_[static_cast<size_t>(p.y - bounds_.top) * bounds_.Width() + (p.x - bounds_.left)] =
      static_cast<std::uint32_t>(color) & 0xFFFFFFu;
}

// Windows and their stacking.

SimDesktop::Window* SimDesktop::Find(Hwnd window) {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

const SimDesktop::Window* SimDesktop::Find(Hwnd window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

std::vector<Hwnd> SimDesktop::Windows() const {
  std::vector<Hwnd> ours;
  for (const auto& [handle, w] : windows_) {
    if (w.ours) ours.push_back(handle);
  }
  return ours;
}

void SimDesktop::Raise(Hwnd window) {
  order_.erase(std::remove(order_.begin(), order_.end(), window), order_.end());
  const bool topmost = Find(window)->topmost;
  auto at = order_.begin();
  if (!topmost) {
    at = std::find_if(order_.begin(), order_.end(), [&](Hwnd h) { return !Find(h)->topmost; });
  }
  order_.insert(at, window);
}

Hwnd SimDesktop::WindowAt(Point point) const {
  for (Hwnd handle : order_) {
    const Window& w = *Find(handle);
    if (w.visible && !w.minimized && w.outer.Contains(point)) return handle;
  }
  return Hwnd{};
}

Hwnd SimDesktop::CreateTopLevel(const WindowDesc& desc) {
  const Hwnd handle{next_window_};
  next_window_ += 0x10;
  Window w;
  w.framed = desc.framed;
  w.taskbar = desc.taskbar;
  w.title = desc.title;
  const int dpi = MonitorOf(desc.position).dpi;
  w.insets = desc.framed ? FrameInsets(true, dpi) : Insets{};
  w.client_width = desc.client_width;
  w.client_height = desc.client_height;
  w.outer = {desc.position.x, desc.position.y,
             desc.position.x + desc.client_width + w.insets.left + w.insets.right,
             desc.position.y + desc.client_height + w.insets.top + w.insets.bottom};
  w.client.assign(static_cast<size_t>(desc.client_width) * desc.client_height, kFrameGray);
  windows_.emplace(handle, std::move(w));
  order_.push_back(handle);
  Raise(handle);
  log_.Add("CreateWindow(" + HandleText(handle) + "," + desc.title + ")");
  return handle;
}

void SimDesktop::DestroyTopLevel(Hwnd window) {
  if (!Find(window)) return;
  log_.Add("DestroyWindow(" + HandleText(window) + ")");
  if (capture_ == window) capture_ = Hwnd{};
  windows_.erase(window);
  order_.erase(std::remove(order_.begin(), order_.end(), window), order_.end());
}

Insets SimDesktop::FrameInsets(bool framed, int dpi) {
  if (!framed) return {};
  return {ScaleForDpi(3, dpi), ScaleForDpi(23, dpi), ScaleForDpi(3, dpi), ScaleForDpi(3, dpi)};
}

Rect SimDesktop::GetOuterRect(Hwnd window) {
  const Window* w = Find(window);
  return w ? w->outer : Rect{};
}

void SimDesktop::MoveTopLevel(Hwnd window, Point p) {
  Window* w = Find(window);
  if (!w) return;
  log_.Add("MoveWindow(" + HandleText(window) + "," + Number(p.x) + "," + Number(p.y) + ")");
  w->outer = {p.x, p.y, p.x + w->outer.Width(), p.y + w->outer.Height()};
}

void SimDesktop::ResizeClient(Hwnd window, int client_width, int client_height) {
  Window* w = Find(window);
  if (!w) return;
  w->client_width = client_width;
  w->client_height = client_height;
  w->client.assign(static_cast<size_t>(client_width) * client_height, kFrameGray);
  w->outer.right = w->outer.left + client_width + w->insets.left + w->insets.right;
  w->outer.bottom = w->outer.top + client_height + w->insets.top + w->insets.bottom;
}

void SimDesktop::ShowTopLevel(Hwnd window, bool visible) {
  Window* w = Find(window);
  if (!w) return;
  log_.Add(std::string(visible ? "ShowWindow(" : "HideWindow(") + HandleText(window) + ")");
  w->visible = visible;
  if (visible) Raise(window);
}

bool SimDesktop::IsMinimized(Hwnd window) {
  const Window* w = Find(window);
  return w && w->minimized;
}

void SimDesktop::SetMinimized(Hwnd window, bool minimized) {
  if (Window* w = Find(window)) w->minimized = minimized;
}

void SimDesktop::SetTitle(Hwnd window, std::string_view utf8) {
  if (Window* w = Find(window)) w->title = utf8;
}

bool SimDesktop::KeepOnTop(Hwnd window, bool activate) {
  log_.Add("KeepOnTop(" + HandleText(window) + (activate ? ",activate)" : ",quietly)"));
  Window* w = Find(window);
  if (!w) return false;
  w->topmost = true;
  Raise(window);
  return true;
}

void SimDesktop::DrawTitleBarActive(Hwnd window) {
  log_.Add("DrawTitleBarActive(" + HandleText(window) + ")");
}

void SimDesktop::Present(Hwnd window, Hdc surface) {
  Window* w = Find(window);
  const soft::Bitmap* bitmap = gdi_.SelectedBitmap(surface);
  if (!w || !bitmap) return;
  ++w->presents;
  const int columns = std::min(w->client_width, bitmap->width);
  for (int y = 0; y < std::min(w->client_height, bitmap->height); ++y) {
    std::copy_n(&bitmap->pixels[static_cast<size_t>(y) * bitmap->width], columns,
                &w->client[static_cast<size_t>(y) * w->client_width]);
  }
}

int SimDesktop::Presents(Hwnd window) const {
  const Window* w = Find(window);
  return w ? w->presents : 0;
}

bool SimDesktop::IsVisible(Hwnd window) const {
  const Window* w = Find(window);
  return w && w->visible;
}

bool SimDesktop::IsTopmost(Hwnd window) const {
  const Window* w = Find(window);
  return w && w->topmost;
}

std::string SimDesktop::Title(Hwnd window) const {
  const Window* w = Find(window);
  return w ? w->title : std::string();
}

bool SimDesktop::HasTaskbarButton(Hwnd window) const {
  const Window* w = Find(window);
  return w && w->taskbar;
}

Rect SimDesktop::ClientRect(Hwnd window) const {
  const Window* w = Find(window);
  if (!w) return {};
  const int left = w->outer.left + w->insets.left, top = w->outer.top + w->insets.top;
  return {left, top, left + w->client_width, top + w->client_height};
}

// Other programs' windows: plain colored rectangles that count the mouse
// events they receive.

Hwnd SimDesktop::AddForeignWindow(Rect outer, ColorValue fill) {
  const Hwnd handle{next_window_};
  next_window_ += 0x10;
  Window w;
  w.ours = false;
  w.outer = outer;
  w.visible = true;
  w.fill = fill;
  windows_.emplace(handle, std::move(w));
  order_.push_back(handle);
  Raise(handle);
  return handle;
}

int SimDesktop::MouseEventsReceived(Hwnd foreign) const {
  const Window* w = Find(foreign);
  return w ? w->mouse_events : 0;
}

}  // namespace huevex::sim
