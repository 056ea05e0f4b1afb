#include "shell/platform/sim/sim_desktop.h"

#include <algorithm>

namespace huevex::sim {
namespace {

constexpr std::uint32_t kDesktopTeal = 0x808000;  // RGB(0, 128, 128)
constexpr std::uint32_t kCaptionBlue = 0xD77800;  // RGB(0, 120, 215)
constexpr std::uint32_t kFrameGray = 0xF0F0F0;

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

// The mouse.

Point SimDesktop::ClientPoint(Hwnd window) const {
  const Rect client = ClientRect(window);
  return {cursor_.x - client.left, cursor_.y - client.top};
}

void SimDesktop::Press(MouseButton button) { Button(button, true); }
void SimDesktop::Release(MouseButton button) { Button(button, false); }

// With the mouse captured, the capturing window gets the button wherever the
// cursor is; otherwise the window under the cursor does, our own only in
// their client area.
void SimDesktop::Button(MouseButton button, bool down) {
  Hwnd target = capture_;
  if (target == Hwnd{}) {
    target = WindowAt(cursor_);
    Window* w = Find(target);
    if (!w) return;
    if (!w->ours) {
      ++w->mouse_events;
      return;
    }
    if (!ClientRect(target).Contains(cursor_)) return;
  }
  if (!listener_) return;
  if (down) {
    listener_->OnMouseDown(target, button, ClientPoint(target));
  } else {
    listener_->OnMouseUp(target, button, ClientPoint(target));
  }
}

void SimDesktop::SetCapture(Hwnd window) {
  log_.Add("SetCapture(" + HandleText(window) + ")");
  capture_ = window;
}

void SimDesktop::ReleaseCapture() {
  log_.Add("ReleaseCapture");
  capture_ = Hwnd{};
}

void SimDesktop::SetPointer(Hwnd window, const Picture* picture) {
  if (Window* w = Find(window)) w->pointer = picture;
}

const Picture* SimDesktop::ShownPointer() const {
  const Hwnd window = capture_ != Hwnd{} ? capture_ : WindowAt(cursor_);
  const Window* w = Find(window);
  return w && w->ours ? w->pointer : nullptr;
}

// Keys go to the window that holds the mouse, else to ours on top.
void SimDesktop::KeyDown(int key, bool shift) {
  Hwnd target = capture_;
  for (Hwnd window : order_) {
    if (target != Hwnd{}) break;
    if (const Window* w = Find(window); w && w->ours && w->visible) target = window;
  }
  if (listener_) listener_->OnKeyDown(target, key, shift);
}

void SimDesktop::ClickCloseBox(Hwnd window) {
  if (listener_ && Find(window)) listener_->OnCloseRequest(window);
}

void SimDesktop::DragWindow(Hwnd window, Point outer_top_left) {
  Window* w = Find(window);
  if (!w) return;
  w->outer = {outer_top_left.x, outer_top_left.y, outer_top_left.x + w->outer.Width(),
              outer_top_left.y + w->outer.Height()};
}

// Timers fire in the order they fall due, only while the clock is advanced.

TimerId SimDesktop::SetTimer(unsigned interval_ms) {
  const TimerId id{next_timer_++};
  timers_[id] = {std::max(1u, interval_ms), now_ + std::max(1u, interval_ms)};
  return id;
}

void SimDesktop::KillTimer(TimerId timer) { timers_.erase(timer); }

void SimDesktop::Advance(int milliseconds) {
  const std::int64_t end = now_ + milliseconds;
  while (true) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due <= end && (next == timers_.end() || it->second.due < next->second.due)) {
        next = it;
      }
    }
    if (next == timers_.end()) break;
    now_ = next->second.due;
    next->second.due += next->second.interval;
    const TimerId id = next->first;
    if (listener_) listener_->OnTimer(id);
  }
  now_ = end;
}

// The clipboard.

bool SimDesktop::SetClipboardText(Hwnd owner, std::string_view utf8) {
  log_.Add("SetClipboardText(" + HandleText(owner) + "," + std::string(utf8) + ")");
  if (clipboard_busy_ > 0) {
    --clipboard_busy_;
    return false;
  }
  clipboard_ = std::string(utf8);
  return true;
}

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
