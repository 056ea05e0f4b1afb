#include "shell/platform/x11/x11_window_manager.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>

#include "shell/platform/monitors.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_pixels.h"
#include "shell/platform/x11/x11_properties.h"

namespace huevex::x11 {
namespace {

// _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
constexpr long kMwmHintsFunctions = 1, kMwmHintsDecorations = 2;
constexpr long kMwmFuncMove = 4, kMwmFuncClose = 32;
constexpr long kMwmDecorBorder = 2, kMwmDecorTitle = 8, kMwmDecorMenu = 16;
// A framed window: title, thin border and a close box; it can be moved and
// closed, not resized, maximised or minimised.
constexpr std::array<long, 5> kFramedMotif = {
    kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove | kMwmFuncClose,
    kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu, 0, 0};
// A panel: no decoration at all.
constexpr std::array<long, 5> kPanelMotif = {kMwmHintsDecorations, 0, 0, 0, 0};

constexpr long kNetWmStateRemove = 0;
constexpr long kNetWmStateAdd = 1;
constexpr std::chrono::milliseconds kFrameAnswerLimit{200};

// A request about a window to the window manager, which listens on the root.
void TellWindowManager(Display* display, Window root, Window window, Atom type,
                       std::array<long, 5> data = {}) {
  XEvent message{};
  message.xclient.type = ClientMessage;
  message.xclient.window = window;
  message.xclient.message_type = type;
  message.xclient.format = 32;
  std::copy(data.begin(), data.end(), message.xclient.data.l);
  XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &message);
}

}  // namespace

WindowManager::WindowManager(Display* display, const Atoms& atoms, Window root)
    : display_(display), atoms_(atoms), root_(root) {
  Follow();
}

// Whether one runs.

bool WindowManager::Detect() {
  const std::vector<long> check =
      ReadLongs(display_, root_, atoms_.net_supporting_wm_check, XA_WINDOW);
  if (check.empty() || check[0] == 0) return false;
  const auto child = static_cast<Window>(check[0]);
  const std::vector<long> confirm =
      ReadLongs(display_, child, atoms_.net_supporting_wm_check, XA_WINDOW);
  return !confirm.empty() && static_cast<Window>(confirm[0]) == child;
}

// Whether a window manager runs decides who keeps topmost windows up.
void WindowManager::Follow() {
  running_ = Detect();
  check_ = 0;
  if (running_) {
    const std::vector<long> check =
        ReadLongs(display_, root_, atoms_.net_supporting_wm_check, XA_WINDOW);
    check_ = static_cast<Window>(check[0]);
    XSelectInput(display_, check_, StructureNotifyMask);
  }
  // Without a window manager nobody keeps topmost windows on top but
  // themselves: watching the root's children shows when another window rises.
  XSelectInput(display_, root_,
               PropertyChangeMask | StructureNotifyMask | (running_ ? 0 : SubstructureNotifyMask));
}

bool WindowManager::Gone(Window destroyed) {
  if (check_ == 0 || destroyed != check_) return false;
  // Gone without a word: the program's windows are back on the root, unframed,
  // and only the program keeps them on top now.
  running_ = false;
  check_ = 0;
  XSelectInput(display_, root_, PropertyChangeMask | StructureNotifyMask | SubstructureNotifyMask);
  return true;
}

// The hints.

void WindowManager::Describe(Window window, const WindowDesc& desc, int client_width,
                             int client_height) {
  WriteNormalHints(window, client_width, client_height, desc.position);
  XWMHints wm_hints{};
  wm_hints.flags = InputHint | StateHint;
  // Panels take no keyboard focus: showing one leaves the focus where it was.
  wm_hints.input = desc.framed ? True : False;
  wm_hints.initial_state = NormalState;
  XSetWMHints(display_, window, &wm_hints);
  XClassHint class_hint{const_cast<char*>("huevex"), const_cast<char*>("Huevex")};
  XSetClassHint(display_, window, &class_hint);
  Atom protocols[] = {atoms_.wm_delete_window, atoms_.net_wm_ping};
  XSetWMProtocols(display_, window, protocols, 2);
  WriteTitle(display_, atoms_, window, desc.title);
  const long pid[] = {static_cast<long>(getpid())};
  WriteLongs(display_, window, atoms_.net_wm_pid, XA_CARDINAL, pid);
  // A normal window keeps its taskbar entry and takes the focus when clicked.
  // Openbox keeps a minimise box on it whatever the Motif hints say; a toolbar
  // would lose the box, but also the focus on a click (see docs/x11.md).
  const long type[] = {static_cast<long>(atoms_.net_wm_window_type_normal)};
  WriteLongs(display_, window, atoms_.net_wm_window_type, XA_ATOM, type);
  WriteLongs(display_, window, atoms_.motif_wm_hints, atoms_.motif_wm_hints,
             desc.framed ? kFramedMotif : kPanelMotif);
  if (desc.icon && !desc.icon->Empty()) {
    const std::vector<unsigned long> icon = IconProperty(*desc.icon);
    XChangeProperty(display_, window, atoms_.net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(icon.data()),
                    static_cast<int>(icon.size()));
  }
}

void WindowManager::WriteNormalHints(Window window, int client_width, int client_height,
                                     Point position) {
  XSizeHints hints{};
  // The position is the program's own choice (centred, or under the main
  // window): the window manager must not place the window elsewhere. With
  // north-west gravity the position is that of the frame's top-left corner.
  hints.flags = USPosition | PPosition | PMinSize | PMaxSize | PWinGravity;
  hints.x = position.x;
  hints.y = position.y;
  hints.min_width = hints.max_width = client_width;
  hints.min_height = hints.max_height = client_height;
  hints.win_gravity = NorthWestGravity;
  XSetWMNormalHints(display_, window, &hints);
}

void WindowManager::WriteState(Window window, bool topmost, bool taskbar) {
  std::vector<long> state;
  if (topmost) state.push_back(static_cast<long>(atoms_.net_wm_state_above));
  if (!taskbar) {
    state.push_back(static_cast<long>(atoms_.net_wm_state_skip_taskbar));
    state.push_back(static_cast<long>(atoms_.net_wm_state_skip_pager));
  }
  WriteLongs(display_, window, atoms_.net_wm_state, XA_ATOM, state);
}

// The frame and the work area.

std::optional<Insets> WindowManager::ReadFrame(Window window, bool framed) {
  const std::vector<long> v = ReadLongs(display_, window, atoms_.net_frame_extents, XA_CARDINAL);
  if (v.size() < 4) return std::nullopt;
  const Insets insets{static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
                      static_cast<int>(v[3])};
  if (framed) frame_ = insets;
  return insets;
}

void WindowManager::AskFrameOnce() {
  if (frame_ || frame_asked_) return;
  frame_asked_ = true;
  // A window manager that does not say what frame it draws (the Xwayland one
  // of wlroots) leaves it unknown: windows are then placed by their clients.
  const std::vector<long> list = ReadLongs(display_, root_, atoms_.net_supported, XA_ATOM);
  const auto supports = [&](Atom feature) {
    return std::find(list.begin(), list.end(), static_cast<long>(feature)) != list.end();
  };
  frame_unknown_ = !supports(atoms_.net_frame_extents);
  if (supports(atoms_.net_request_frame_extents)) frame_ = AskFrame();
}

// A window that is never mapped, with a framed window's hints, is the one
// asked about (_NET_REQUEST_FRAME_EXTENTS); the answer comes as its property.
std::optional<Insets> WindowManager::AskFrame() {
  WindowHandle probe(display_, XCreateSimpleWindow(display_, root_, 0, 0, 100, 100, 0, 0, 0));
  XSelectInput(display_, probe.get(), PropertyChangeMask);
  WriteLongs(display_, probe.get(), atoms_.motif_wm_hints, atoms_.motif_wm_hints, kFramedMotif);
  TellWindowManager(display_, root_, probe.get(), atoms_.net_request_frame_extents);
  XFlush(display_);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + kFrameAnswerLimit;
  pollfd connection{ConnectionNumber(display_), POLLIN, 0};
  while (Clock::now() < deadline) {
    XEvent event;
    while (XCheckWindowEvent(display_, probe.get(), PropertyChangeMask, &event)) {
      if (event.xproperty.atom == atoms_.net_frame_extents) return ReadFrame(probe.get(), false);
    }
    poll(&connection, 1, 10);
  }
  return std::nullopt;
}

Insets WindowManager::TypicalFrame(int dpi) const {
  if (frame_) return *frame_;
  if (frame_unknown_) return {};
  return {ScaleForDpi(3, dpi), ScaleForDpi(23, dpi), ScaleForDpi(3, dpi), ScaleForDpi(3, dpi)};
}

namespace {

// Rectangles as a property lists them: x, y, width and height each; those
// with no width or height are left out.
std::vector<Rect> Rects(const std::vector<long>& values, size_t first, size_t count) {
  std::vector<Rect> rects;
  for (size_t i = first; i < values.size() / 4 && i - first < count; ++i) {
    const long* v = &values[4 * i];
    if (v[2] <= 0 || v[3] <= 0) continue;
    // Any client can write these: far-off values are kept within 32 bits.
    const auto side = [](long a) {
      return static_cast<int>(std::clamp<long>(a, -(1l << 30), 1l << 30));
    };
    rects.push_back({side(v[0]), side(v[1]), side(v[0] + v[2]), side(v[1] + v[3])});
  }
  return rects;
}

}  // namespace

void WindowManager::SetWorkAreas(std::vector<MonitorInfo>& monitors) {
  const std::vector<long> desktop =
      ReadLongs(display_, root_, atoms_.net_current_desktop, XA_CARDINAL);
  const size_t index = desktop.empty() ? 0 : static_cast<size_t>(std::max(0l, desktop[0]));
  std::vector<Rect> areas;
  const std::string name = "_GTK_WORKAREAS_D" + std::to_string(index);
  if (const Atom per_monitor = XInternAtom(display_, name.c_str(), True)) {
    const std::vector<long> values = ReadLongs(display_, root_, per_monitor, XA_CARDINAL);
    areas = Rects(values, 0, values.size() / 4);
  }
  if (areas.empty()) {
    const std::vector<long> values = ReadLongs(display_, root_, atoms_.net_workarea, XA_CARDINAL);
    areas = Rects(values, index < values.size() / 4 ? index : 0, 1);
  }
  // Each monitor takes the area it has the most of.
  for (MonitorInfo& m : monitors) {
    m.work = m.monitor;
    std::int64_t most = 0;
    for (const Rect& area : areas) {
      const Rect shared = Intersect(area, m.monitor);
      if (AreaOf(shared) > most) {
        most = AreaOf(shared);
        m.work = shared;
      }
    }
  }
}

// Topmost windows.

void WindowManager::AskAbove(Window window, bool above) {
  TellWindowManager(
      display_, root_, window, atoms_.net_wm_state,
      {above ? kNetWmStateAdd : kNetWmStateRemove, static_cast<long>(atoms_.net_wm_state_above), 0,
       1 /* a normal application */});
}

void WindowManager::Activate(Window window, Time time) {
  TellWindowManager(display_, root_, window, atoms_.net_active_window,
                    {1 /* an application */, static_cast<long>(time)});
}

void WindowManager::KeepAbove(const std::vector<Window>& ours) {
  for (const Window window : ours) XRaiseWindow(display_, window);
}

void WindowManager::RiseOver(Window other, const std::vector<Window>& ours) {
  if (ours.empty()) return;
  const std::vector<long> state = ReadLongs(display_, other, atoms_.net_wm_state, XA_ATOM);
  if (std::find(state.begin(), state.end(), static_cast<long>(atoms_.net_wm_state_above)) !=
      state.end()) {
    return;
  }
  KeepAbove(ours);
}

std::vector<unsigned long> IconProperty(const Picture& picture) {
  std::vector<unsigned long> out;
  out.reserve(2 + static_cast<size_t>(picture.width) * picture.height);
  out.push_back(static_cast<unsigned long>(picture.width));
  out.push_back(static_cast<unsigned long>(picture.height));
  for (size_t i = 0; i < static_cast<size_t>(picture.width) * picture.height; ++i) {
    if (picture.mask[i] != 0) {
      out.push_back(0);
      continue;
    }
    const std::uint32_t c = picture.color[i];
    out.push_back(0xFF000000ul | (static_cast<unsigned long>(GetRValue(c)) << 16) |
                  (static_cast<unsigned long>(GetGValue(c)) << 8) | GetBValue(c));
  }
  return out;
}

}  // namespace huevex::x11
