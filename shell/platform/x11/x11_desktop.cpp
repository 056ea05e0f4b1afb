#include "shell/platform/x11/x11_desktop.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/platform/x11/x11_pixels.h"

namespace huevex::x11 {
namespace {

constexpr long kWindowEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask |
                               StructureNotifyMask | PropertyChangeMask;
constexpr unsigned kGrabEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

// _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
constexpr long kMwmHintsFunctions = 1, kMwmHintsDecorations = 2;
constexpr long kMwmFuncMove = 4, kMwmFuncClose = 32;
constexpr long kMwmDecorBorder = 2, kMwmDecorTitle = 8, kMwmDecorMenu = 16;

constexpr long kNetWmStateAdd = 1;

std::optional<MouseButton> ButtonOf(unsigned button) {
  switch (button) {
    case Button1:
      return MouseButton::Left;
    case Button2:
      return MouseButton::Middle;
    case Button3:
      return MouseButton::Right;
    default:
      return std::nullopt;  // the wheel (4 to 7) and extra buttons
  }
}

// A whole property of 32-bit items (longs in Xlib), or nothing.
std::vector<long> ReadLongs(Display* display, Window window, Atom property, Atom type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actual, &format, &count,
                         &left, &data) == Success &&
      data && format == 32) {
    const auto* items = reinterpret_cast<const long*>(data);
    out.assign(items, items + count);
  }
  if (data) XFree(data);
  return out;
}

std::string ReadText(Display* display, Window window, Atom property) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  std::string out;
  if (XGetWindowProperty(display, window, property, 0, 1 << 20, False, AnyPropertyType, &actual,
                         &format, &count, &left, &data) == Success &&
      data && format == 8) {
    out.assign(reinterpret_cast<const char*>(data), count);
  }
  if (data) XFree(data);
  return out;
}

void WriteTitle(Display* display, const Atoms& atoms, Window window, std::string_view utf8) {
  const std::string latin1 = Latin1FromUtf8(utf8);
  XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(latin1.data()),
                  static_cast<int>(latin1.size()));
  XChangeProperty(display, window, atoms.net_wm_name, atoms.utf8_string, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()),
                  static_cast<int>(utf8.size()));
}

}  // namespace

X11Desktop::X11Desktop(Display* display, X11Screen& screen, soft::SoftGdi& gdi)
    : display_(display),
      screen_(screen),
      gdi_(gdi),
      atoms_(display),
      clipboard_(display, atoms_),
      root_(DefaultRootWindow(display)) {
  FollowWindowManager();
  dpi_ = ReadDpi();
  shm_ = ShmUsable(display_);
}

X11Desktop::~X11Desktop() {
  // The picked code outlives the program where a clipboard manager runs.
  clipboard_.HandOver(kHandOverLimit);
  if (grabbed_) XUngrabPointer(display_, CurrentTime);
  windows_.clear();
  cursors_.clear();
  XSync(display_, False);
}

X11Desktop::TopLevel* X11Desktop::Find(Window window) {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

// What the window manager is, and what it tells.

bool X11Desktop::DetectWindowManager() {
  const std::vector<long> check =
      ReadLongs(display_, root_, atoms_.net_supporting_wm_check, XA_WINDOW);
  if (check.empty() || check[0] == 0) return false;
  const auto child = static_cast<Window>(check[0]);
  const std::vector<long> confirm =
      ReadLongs(display_, child, atoms_.net_supporting_wm_check, XA_WINDOW);
  return !confirm.empty() && static_cast<Window>(confirm[0]) == child;
}

// Whether a window manager runs decides who keeps topmost windows up. It is
// asked again when one announces itself; one that is killed leaves its root
// property behind, so the end of its check window is what tells it has gone.
void X11Desktop::FollowWindowManager() {
  wm_ = DetectWindowManager();
  wm_check_ = 0;
  if (wm_) {
    const std::vector<long> check =
        ReadLongs(display_, root_, atoms_.net_supporting_wm_check, XA_WINDOW);
    wm_check_ = static_cast<Window>(check[0]);
    XSelectInput(display_, wm_check_, StructureNotifyMask);
  }
  // Without a window manager nobody keeps topmost windows on top but
  // themselves: watching the root's children shows when another window rises.
  XSelectInput(display_, root_,
               PropertyChangeMask | StructureNotifyMask | (wm_ ? 0 : SubstructureNotifyMask));
}

bool X11Desktop::Supported(Atom feature) {
  const std::vector<long> list = ReadLongs(display_, root_, atoms_.net_supported, XA_ATOM);
  return std::find(list.begin(), list.end(), static_cast<long>(feature)) != list.end();
}

std::optional<Insets> X11Desktop::ReadExtents(Window window) {
  const std::vector<long> v = ReadLongs(display_, window, atoms_.net_frame_extents, XA_CARDINAL);
  if (v.size() < 4) return std::nullopt;
  return Insets{static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
                static_cast<int>(v[3])};
}

// Asks the window manager what frame it would put around a framed window,
// before there is one to measure, so that start-up centring is exact.
std::optional<Insets> X11Desktop::AskFrameExtents() {
  if (!Supported(atoms_.net_request_frame_extents)) return std::nullopt;
  WindowHandle probe(display_, XCreateSimpleWindow(display_, root_, 0, 0, 100, 100, 0, 0, 0));
  XSelectInput(display_, probe.get(), PropertyChangeMask);
  const long motif[5] = {kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove | kMwmFuncClose,
                         kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu, 0, 0};
  XChangeProperty(display_, probe.get(), atoms_.motif_wm_hints, atoms_.motif_wm_hints, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(motif), 5);
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = probe.get();
  request.xclient.message_type = atoms_.net_request_frame_extents;
  request.xclient.format = 32;
  XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
  XFlush(display_);
  const auto deadline = Clock::now() + std::chrono::milliseconds(200);
  pollfd connection{ConnectionNumber(display_), POLLIN, 0};
  while (Clock::now() < deadline) {
    XEvent event;
    while (XCheckWindowEvent(display_, probe.get(), PropertyChangeMask, &event)) {
      if (event.xproperty.atom == atoms_.net_frame_extents) return ReadExtents(probe.get());
    }
    poll(&connection, 1, 10);
  }
  return std::nullopt;
}

Insets X11Desktop::FrameInsets(bool framed, int dpi) {
  if (!framed || !wm_) return {};
  if (!frame_extents_ && !frame_extents_asked_) {
    frame_extents_asked_ = true;
    frame_extents_ = AskFrameExtents();
  }
  if (frame_extents_) return *frame_extents_;
  // Until the window manager tells: a thin frame and a caption, as on Windows.
  const auto scale = [&](int pixels) { return static_cast<int>(std::lround(pixels * dpi / 96.0)); };
  return {scale(3), scale(23), scale(3), scale(3)};
}

Insets X11Desktop::InsetsOf(const TopLevel& top) const {
  if (top.extents) return *top.extents;
  if (!top.framed || !wm_) return {};
  if (frame_extents_) return *frame_extents_;
  const auto scale = [&](int pixels) {
    return static_cast<int>(std::lround(pixels * dpi_ / 96.0));
  };
  return {scale(3), scale(23), scale(3), scale(3)};
}

int X11Desktop::ReadDpi() {
  // As GTK and Qt do: Xft.dpi from the resource database, never the screen's millimetres.
  const std::string resources = ReadText(display_, root_, atoms_.resource_manager);
  return ParseXftDpi(resources).value_or(96);
}

// Windows.

void X11Desktop::WriteNormalHints(Window window, int client_width, int client_height,
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

Hwnd X11Desktop::CreateTopLevel(const WindowDesc& desc) {
  const int width = std::max(1, desc.client_width);
  const int height = std::max(1, desc.client_height);
  XSetWindowAttributes attributes{};
  attributes.event_mask = kWindowEvents;
  attributes.background_pixel =
      FromColorValue(static_cast<std::uint32_t>(gdi_.GetSysColor(COLOR_BTNFACE)), screen_.format());
  attributes.bit_gravity = NorthWestGravity;
  const Window window =
      XCreateWindow(display_, root_, desc.position.x, desc.position.y, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWEventMask | CWBackPixel | CWBitGravity, &attributes);

  TopLevel& top = windows_[window];
  top.window = WindowHandle(display_, window);
  top.framed = desc.framed;
  top.taskbar = desc.taskbar;
  top.client_width = width;
  top.client_height = height;
  top.outer = desc.position;

  WriteNormalHints(window, width, height, desc.position);
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
  const long pid = static_cast<long>(getpid());
  XChangeProperty(display_, window, atoms_.net_wm_pid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  const long type = static_cast<long>(atoms_.net_wm_window_type_normal);
  XChangeProperty(display_, window, atoms_.net_wm_window_type, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&type), 1);

  // A framed window: title, thin border and a close box; it can be moved and
  // closed, not resized, maximised or minimised. A panel: no decoration at all.
  const long motif[5] = {
      desc.framed ? kMwmHintsFunctions | kMwmHintsDecorations : kMwmHintsDecorations,
      desc.framed ? kMwmFuncMove | kMwmFuncClose : 0,
      desc.framed ? kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu : 0, 0, 0};
  XChangeProperty(display_, window, atoms_.motif_wm_hints, atoms_.motif_wm_hints, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(motif), 5);
  if (desc.icon && !desc.icon->Empty()) {
    const std::vector<unsigned long> icon = IconProperty(*desc.icon);
    XChangeProperty(display_, window, atoms_.net_wm_icon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(icon.data()),
                    static_cast<int>(icon.size()));
  }
  WriteState(top);
  return Hwnd{window};
}

void X11Desktop::DestroyTopLevel(Hwnd handle) {
  const auto window = static_cast<Window>(handle);
  TopLevel* top = Find(window);
  if (!top) return;
  if (capture_ == window) ReleaseCapture();
  FinishPut(*top);
  windows_.erase(window);
}

Rect X11Desktop::GetOuterRect(Hwnd handle) {
  const TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return {};
  const Insets insets = InsetsOf(*top);
  Point corner = top->outer;
  if (top->client_root)
    corner = {top->client_root->x - insets.left, top->client_root->y - insets.top};
  return {corner.x, corner.y, corner.x + insets.left + top->client_width + insets.right,
          corner.y + insets.top + top->client_height + insets.bottom};
}

void X11Desktop::MoveTopLevel(Hwnd handle, Point outer_top_left) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return;
  top->outer = outer_top_left;
  top->client_root.reset();
  // Framed or not yet, north-west gravity makes this the outer corner.
  XMoveWindow(display_, top->window.get(), outer_top_left.x, outer_top_left.y);
  if (!top->shown) {
    WriteNormalHints(top->window.get(), top->client_width, top->client_height, outer_top_left);
  }
}

void X11Desktop::ResizeClient(Hwnd handle, int client_width, int client_height) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return;
  top->client_width = std::max(1, client_width);
  top->client_height = std::max(1, client_height);
  WriteNormalHints(top->window.get(), top->client_width, top->client_height, top->outer);
  XResizeWindow(display_, top->window.get(), static_cast<unsigned>(top->client_width),
                static_cast<unsigned>(top->client_height));
}

void X11Desktop::WriteState(const TopLevel& top) {
  std::vector<long> state;
  if (top.topmost) state.push_back(static_cast<long>(atoms_.net_wm_state_above));
  if (!top.taskbar) {
    state.push_back(static_cast<long>(atoms_.net_wm_state_skip_taskbar));
    state.push_back(static_cast<long>(atoms_.net_wm_state_skip_pager));
  }
  XChangeProperty(display_, top.window.get(), atoms_.net_wm_state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(state.data()),
                  static_cast<int>(state.size()));
}

void X11Desktop::ShowTopLevel(Hwnd handle, bool visible) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top || top->shown == visible) return;
  top->shown = visible;
  if (visible) {
    // The window manager reads the state once, when the window is mapped.
    WriteState(*top);
    top->above_asked = top->topmost;
    XMapRaised(display_, top->window.get());
    if (!wm_) KeepAbove();
  } else {
    XWithdrawWindow(display_, top->window.get(), DefaultScreen(display_));
    top->above_asked = false;
  }
}

bool X11Desktop::IsMinimized(Hwnd handle) {
  const TopLevel* top = Find(static_cast<Window>(handle));
  return top && top->iconic;
}

void X11Desktop::SetTitle(Hwnd handle, std::string_view utf8) {
  if (TopLevel* top = Find(static_cast<Window>(handle))) {
    WriteTitle(display_, atoms_, top->window.get(), utf8);
  }
}

void X11Desktop::SendAbove(Window window) {
  XEvent message{};
  message.xclient.type = ClientMessage;
  message.xclient.window = window;
  message.xclient.message_type = atoms_.net_wm_state;
  message.xclient.format = 32;
  message.xclient.data.l[0] = kNetWmStateAdd;
  message.xclient.data.l[1] = static_cast<long>(atoms_.net_wm_state_above);
  message.xclient.data.l[3] = 1;  // a normal application
  XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &message);
}

// Another client's top-level window was mapped or restacked. Ours rise over
// it, unless it stays on top itself: two such programs would otherwise take
// turns raising over each other for ever. Pop-ups (menus, tooltips) are left
// above.
void X11Desktop::RiseOver(Window other) {
  if (other == clipboard_.window() || Find(other)) return;
  const bool ours_shown = std::any_of(windows_.begin(), windows_.end(), [](const auto& entry) {
    return entry.second.topmost && entry.second.shown;
  });
  if (!ours_shown) return;
  const std::vector<long> state = ReadLongs(display_, other, atoms_.net_wm_state, XA_ATOM);
  if (std::find(state.begin(), state.end(), static_cast<long>(atoms_.net_wm_state_above)) !=
      state.end()) {
    return;
  }
  KeepAbove();
}

// Raises every shown topmost window, always in the same order, so that two of
// them never take turns covering each other.
void X11Desktop::KeepAbove() {
  for (auto& [window, top] : windows_) {
    if (top.topmost && top.shown) XRaiseWindow(display_, window);
  }
}

bool X11Desktop::SetWindowPos(Hwnd handle, Hwnd insert_after, int, int, int, int, std::uint32_t) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return false;
  if (insert_after == HWND_TOPMOST) {
    top->topmost = true;
    if (!top->shown) {
      WriteState(*top);
    } else if (wm_) {
      if (!top->above_asked) SendAbove(top->window.get());
      top->above_asked = true;
      XRaiseWindow(display_, top->window.get());
    } else {
      KeepAbove();
    }
  }
  return true;
}

void X11Desktop::DrawTitleBarActive(Hwnd) {
  // The window manager draws the title bar; the pointer grab keeps the focus
  // where it is, so the main window's title stays as it was during a pick.
}

// Putting surfaces on screen.

void X11Desktop::Present(Hwnd handle, Hdc surface) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return;
  top->surface = surface;
  PutSurface(*top);
}

// The server has read a shared segment once it has answered any request sent
// after the put. The magnifier's next frame reads the screen before it paints,
// and that answer comes after the last put, so a frame seldom waits here and
// the server sends no completion event to wake the program for.
void X11Desktop::FinishPut(const TopLevel& top) {
  if (top.put_serial != 0 && LastKnownRequestProcessed(display_) < top.put_serial) {
    XSync(display_, False);
  }
}

XImage* X11Desktop::ImageFor(TopLevel& top, int width, int height) {
  Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
  const int depth = DefaultDepth(display_, DefaultScreen(display_));
  if (shm_) {
    FinishPut(top);
    if (!top.shm_image || top.shm_image->width() != width || top.shm_image->height() != height) {
      top.shm_image = ShmImage::Create(display_, visual, depth, width, height);
    }
    if (top.shm_image) return top.shm_image->image();
    shm_ = false;  // the server would not attach: plain puts from now on
  }
  if (!top.image || top.image->width != width || top.image->height != height) {
    top.image.reset(XCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                 nullptr, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 32, 0));
    if (!top.image) return nullptr;
    // XDestroyImage frees the pixels with free().
    top.image->data =
        static_cast<char*>(std::malloc(static_cast<size_t>(top.image->bytes_per_line) * height));
    if (!top.image->data) {
      top.image.reset();
      return nullptr;
    }
  }
  return top.image.get();
}

void X11Desktop::PutSurface(TopLevel& top) {
  if (!top.shown) return;  // the first Expose after mapping puts it
  const soft::Bitmap* bitmap = gdi_.SelectedBitmap(top.surface);
  if (!bitmap) return;
  const int width = std::min(top.client_width, bitmap->width);
  const int height = std::min(top.client_height, bitmap->height);
  if (width <= 0 || height <= 0) return;
  XImage* image = ImageFor(top, width, height);
  if (!image) return;
  const PixelFormat& format = screen_.format();
  const bool direct = image->bits_per_pixel == 32 && format.red_mask == 0xFF0000 &&
                      format.green_mask == 0xFF00 && format.blue_mask == 0xFF &&
                      image->byte_order == LSBFirst;
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* from = &bitmap->pixels[static_cast<size_t>(y) * bitmap->width];
    if (direct) {
      auto* to = reinterpret_cast<std::uint32_t*>(image->data +
                                                  static_cast<size_t>(y) * image->bytes_per_line);
      for (int x = 0; x < width; ++x) {
        const std::uint32_t c = from[x];  // 0x00BBGGRR to 0x00RRGGBB
        to[x] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
      }
    } else {
      for (int x = 0; x < width; ++x) XPutPixel(image, x, y, FromColorValue(from[x], format));
    }
  }
  const GC gc = DefaultGC(display_, DefaultScreen(display_));
  if (top.shm_image && image == top.shm_image->image()) {
    top.put_serial = NextRequest(display_);
    XShmPutImage(display_, top.window.get(), gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
                 static_cast<unsigned>(height), False);
  } else {
    XPutImage(display_, top.window.get(), gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
  }
}

// The mouse.

Cursor X11Desktop::CursorFor(const Picture* picture) {
  if (!picture || picture->Empty()) return None;
  auto it = cursors_.find(picture);
  if (it != cursors_.end()) return it->second.get();
  const CursorBitmaps bitmaps = MakeCursorBitmaps(*picture);
  const PixmapHandle source(
      display_, XCreateBitmapFromData(
                    display_, root_, reinterpret_cast<const char*>(bitmaps.source.data()),
                    static_cast<unsigned>(bitmaps.width), static_cast<unsigned>(bitmaps.height)));
  const PixmapHandle mask(
      display_, XCreateBitmapFromData(
                    display_, root_, reinterpret_cast<const char*>(bitmaps.mask.data()),
                    static_cast<unsigned>(bitmaps.width), static_cast<unsigned>(bitmaps.height)));
  XColor black{}, white{};
  white.red = white.green = white.blue = 0xFFFF;
  black.flags = white.flags = DoRed | DoGreen | DoBlue;
  const Cursor cursor = XCreatePixmapCursor(display_, source.get(), mask.get(), &black, &white,
                                            static_cast<unsigned>(bitmaps.hot_x),
                                            static_cast<unsigned>(bitmaps.hot_y));
  cursors_.emplace(picture, CursorHandle(display_, cursor));
  return cursor;
}

void X11Desktop::SetPointer(Hwnd handle, const Picture* picture) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return;
  top->pointer = picture;
  const Cursor cursor = CursorFor(picture);
  if (cursor != None) {
    XDefineCursor(display_, top->window.get(), cursor);
  } else {
    XUndefineCursor(display_, top->window.get());
  }
  // While the pointer is grabbed, the grab's cursor is what shows everywhere.
  if (grabbed_ && capture_ == top->window.get()) {
    XChangeActivePointerGrab(display_, kGrabEvents, cursor, last_time_);
  }
}

void X11Desktop::SetCapture(Hwnd handle) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return;
  if (grabbed_ && capture_ != top->window.get()) ReleaseCapture();
  capture_ = top->window.get();
  Window child = 0;
  XTranslateCoordinates(display_, capture_, root_, 0, 0, &capture_origin_.x, &capture_origin_.y,
                        &child);
  // The grab takes over the press's own implicit grab: the release and every
  // motion come to this program wherever the pointer goes, and no other
  // client sees them.
  const int status = XGrabPointer(display_, root_, False, kGrabEvents, GrabModeAsync, GrabModeAsync,
                                  None, CursorFor(top->pointer), last_time_);
  grabbed_ = status == GrabSuccess;
  if (grabbed_) screen_.FollowPointer(press_root_);
}

void X11Desktop::ReleaseCapture() {
  if (grabbed_) XUngrabPointer(display_, last_time_);
  grabbed_ = false;
  capture_ = 0;
  screen_.FollowPointer(std::nullopt);
}

void X11Desktop::HandleButton(const XButtonEvent& event) {
  last_time_ = event.time;
  const std::optional<MouseButton> button = ButtonOf(event.button);
  if (!button || !listener_) return;
  const bool press = event.type == ButtonPress;
  if (capture_ != 0) {
    const Point client{event.x_root - capture_origin_.x, event.y_root - capture_origin_.y};
    if (grabbed_) screen_.FollowPointer(Point{event.x_root, event.y_root});
    if (press) {
      listener_->OnMouseDown(Hwnd{capture_}, *button, client);
    } else {
      listener_->OnMouseUp(Hwnd{capture_}, *button, client);
    }
    return;
  }
  if (!Find(event.window)) return;
  if (press) {
    press_root_ = {event.x_root, event.y_root};
    listener_->OnMouseDown(Hwnd{event.window}, *button, {event.x, event.y});
  } else {
    listener_->OnMouseUp(Hwnd{event.window}, *button, {event.x, event.y});
  }
}

// Timers and the loop.

TimerId X11Desktop::SetTimer(unsigned interval_ms) {
  return timers_.Add(interval_ms, Clock::now());
}

void X11Desktop::KillTimer(TimerId timer) { timers_.Remove(timer); }

void X11Desktop::WaitForInput(std::optional<Clock::time_point> deadline) {
  pollfd connection{ConnectionNumber(display_), POLLIN, 0};
  if (!deadline) {
    poll(&connection, 1, -1);  // nothing is due: sleep until the server speaks
    return;
  }
  const auto left = *deadline - Clock::now();
  if (left <= Clock::duration::zero()) return;
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  ppoll(&connection, 1, &timeout, nullptr);
}

void X11Desktop::Step(std::chrono::milliseconds limit) {
  while (!quit_ && XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    Handle(event);
  }
  // Each due timer ticks once per turn, however long the ticks take, so that
  // events are never starved by a timer that cannot keep up. A tick may stop
  // a timer that is due later in the same turn.
  for (const TimerId due : timers_.TakeDue(Clock::now())) {
    if (quit_) break;
    if (listener_ && timers_.Contains(due)) listener_->OnTimer(due);
  }
  // Flushes, then takes in whatever has arrived: an event that a reply wait
  // read off the socket is no longer visible to poll().
  if (quit_ || XEventsQueued(display_, QueuedAfterFlush) > 0) return;
  std::optional<Clock::time_point> deadline = timers_.NextDeadline();
  // The last timer has stopped (a pick has ended, the magnifier has gone):
  // what they freed goes back to the system before the program waits idle.
  if (!deadline && timers_ran_) {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
  }
  timers_ran_ = deadline.has_value();
  if (limit.count() >= 0) {
    const auto until = Clock::now() + limit;
    if (!deadline || *deadline > until) deadline = until;
  }
  WaitForInput(deadline);
}

void X11Desktop::Run() {
  quit_ = false;
  while (!quit_) Step(std::chrono::milliseconds(-1));
  XFlush(display_);
}

// Events.

void X11Desktop::Handle(XEvent& event) {
  if (clipboard_.Handle(event) || screen_.Handle(event)) return;
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) {
        if (TopLevel* top = Find(event.xexpose.window)) PutSurface(*top);
      }
      break;
    case ButtonPress:
    case ButtonRelease:
      if (modal_ != 0) {
        if (event.xbutton.window == modal_ && event.type == ButtonRelease &&
            modal_ok_.Contains({event.xbutton.x, event.xbutton.y})) {
          modal_done_ = true;
        }
        break;
      }
      HandleButton(event.xbutton);
      break;
    case MotionNotify:
      last_time_ = event.xmotion.time;
      if (grabbed_) screen_.FollowPointer(Point{event.xmotion.x_root, event.xmotion.y_root});
      break;
    case KeyPress:
      last_time_ = event.xkey.time;
      if (modal_ != 0 && event.xkey.window == modal_) {
        const KeySym key = XLookupKeysym(&event.xkey, 0);
        if (key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space) {
          modal_done_ = true;
        }
      }
      break;
    case ClientMessage:
      HandleClientMessage(event.xclient);
      break;
    case PropertyNotify:
      HandleProperty(event.xproperty);
      break;
    case ConfigureNotify:
      HandleConfigure(event.xconfigure);
      break;
    case ReparentNotify:
      if (TopLevel* top = Find(event.xreparent.window)) {
        top->managed = event.xreparent.parent != root_;
        if (!top->managed) {
          top->outer = {event.xreparent.x, event.xreparent.y};
          top->client_root.reset();
          top->extents.reset();  // the frame went with the window manager that drew it
        }
      }
      break;
    case MapNotify:
      if (TopLevel* top = Find(event.xmap.window)) {
        top->mapped = true;
      } else if (!wm_ && event.xmap.event == root_ && !event.xmap.override_redirect) {
        RiseOver(event.xmap.window);  // another program's window came up, perhaps over ours
      }
      break;
    case UnmapNotify:
      if (TopLevel* top = Find(event.xunmap.window)) top->mapped = false;
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == wm_check_ && wm_check_ != 0) {
        // The window manager has gone without a word: our windows are back on
        // the root, unframed, and only the program keeps them on top now.
        wm_ = false;
        wm_check_ = 0;
        XSelectInput(display_, root_,
                     PropertyChangeMask | StructureNotifyMask | SubstructureNotifyMask);
        KeepAbove();
        break;
      }
      // Destroyed by someone else (ours are gone from the table before they
      // are destroyed): the program takes it as the window being closed.
      if (TopLevel* top = Find(event.xdestroywindow.window)) {
        top->window.release();
        top->shm_image.reset();
        if (modal_ == event.xdestroywindow.window) modal_done_ = true;
        if (listener_ && modal_ == 0) {
          listener_->OnCloseRequest(Hwnd{event.xdestroywindow.window});
        }
      }
      break;
    default:
      break;
  }
}

void X11Desktop::HandleClientMessage(const XClientMessageEvent& event) {
  if (event.message_type != atoms_.wm_protocols) return;
  const auto protocol = static_cast<Atom>(event.data.l[0]);
  if (protocol == atoms_.net_wm_ping) {
    XEvent pong{};
    pong.xclient = event;
    pong.xclient.window = root_;
    XSendEvent(display_, root_, False, SubstructureNotifyMask | SubstructureRedirectMask, &pong);
    return;
  }
  if (protocol != atoms_.wm_delete_window || !Find(event.window)) return;
  if (event.data.l[1] != 0) last_time_ = static_cast<Time>(event.data.l[1]);
  if (modal_ != 0) {
    if (event.window == modal_) modal_done_ = true;
    return;
  }
  if (listener_) listener_->OnCloseRequest(Hwnd{event.window});
}

void X11Desktop::HandleProperty(const XPropertyEvent& event) {
  last_time_ = event.time;
  if (event.window == root_) {
    if (event.atom == atoms_.resource_manager) {
      const int dpi = ReadDpi();
      if (dpi == dpi_) return;
      dpi_ = dpi;
      std::vector<Window> ours;
      for (auto& [window, top] : windows_) ours.push_back(window);
      for (Window window : ours) {
        if (listener_ && Find(window)) listener_->OnDpiChanged(Hwnd{window}, dpi_);
      }
    } else if (event.atom == atoms_.net_supporting_wm_check) {
      FollowWindowManager();
    }
    return;
  }
  TopLevel* top = Find(event.window);
  if (!top) return;
  if (event.atom == atoms_.net_frame_extents) {
    top->extents = ReadExtents(event.window);
    if (top->framed && top->extents) frame_extents_ = top->extents;
  } else if (event.atom == atoms_.wm_state) {
    const std::vector<long> state =
        ReadLongs(display_, event.window, atoms_.wm_state, atoms_.wm_state);
    top->iconic = !state.empty() && state[0] == IconicState;
  }
}

void X11Desktop::HandleConfigure(const XConfigureEvent& event) {
  if (event.window == root_) {
    screen_.SetSize(event.width, event.height);
    return;
  }
  TopLevel* top = Find(event.window);
  if (!top) {
    // Another program's window moved or rose; without a window manager ours
    // must rise again if it went above them.
    if (!wm_ && event.event == root_ && !event.override_redirect) RiseOver(event.window);
    return;
  }
  if (event.send_event) {
    // From the window manager: the client's position on the root window.
    top->client_root = Point{event.x, event.y};
  } else if (!top->managed) {
    top->outer = {event.x, event.y};
    top->client_root.reset();
  }
}

// The clipboard, the screen's numbers, errors.

bool X11Desktop::SetClipboardText(Hwnd, std::string_view utf8) {
  return clipboard_.Own(utf8, last_time_);
}

int X11Desktop::GetDpi(Hwnd) { return dpi_; }

Rect X11Desktop::PrimaryWorkArea() {
  const Rect screen = screen_.Bounds();
  const std::vector<long> area = ReadLongs(display_, root_, atoms_.net_workarea, XA_CARDINAL);
  const std::vector<long> desktop =
      ReadLongs(display_, root_, atoms_.net_current_desktop, XA_CARDINAL);
  size_t index = desktop.empty() ? 0 : static_cast<size_t>(std::max(0l, desktop[0]));
  if (area.size() < 4 * (index + 1)) index = 0;
  if (area.size() < 4 || area[4 * index + 2] <= 0 || area[4 * index + 3] <= 0) return screen;
  const long* a = &area[4 * index];
  return {static_cast<int>(a[0]), static_cast<int>(a[1]), static_cast<int>(a[0] + a[2]),
          static_cast<int>(a[1] + a[3])};
}

void X11Desktop::ShowError(std::string_view title, std::string_view message) {
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
               static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  // A small box with the message and an OK button, drawn with the same
  // software GDI as the forms, waiting for OK, Enter, Escape or its close box.
  const auto px = [&](int pixels) { return static_cast<int>(std::lround(pixels * dpi_ / 96.0)); };
  const FontDesc font{"Arial", 9, 400};
  int lines = 1;
  for (size_t at = 0, line_start = 0; at <= message.size(); ++at) {
    if (at == message.size() || message[at] == '\n') {
      lines += static_cast<int>((at - line_start) / 48);  // about 48 characters fit on a line
      if (at < message.size()) ++lines;
      line_start = at + 1;
    }
  }
  const int width = px(340);
  const int text_height = lines * px(16);
  const int height = px(16) + text_height + px(16) + px(24) + px(12);
  const Rect ok{width / 2 - px(40), height - px(12) - px(24), width / 2 + px(40), height - px(12)};
  const Rect work = PrimaryWorkArea();
  WindowDesc desc;
  desc.title = std::string(title);
  desc.framed = true;
  desc.client_width = width;
  desc.client_height = height;
  const Insets frame = FrameInsets(true, dpi_);
  desc.position = {work.left + (work.Width() - width - frame.left - frame.right) / 2,
                   work.top + (work.Height() - height - frame.top - frame.bottom) / 2};
  const Hwnd box = CreateTopLevel(desc);

  const Hdc screen = gdi_.GetDC(Hwnd{});
  const Hdc dc = gdi_.CreateCompatibleDC(screen);
  const Hgdiobj bitmap = gdi_.CreateCompatibleBitmap(screen, width, height);
  gdi_.ReleaseDC(Hwnd{}, screen);
  const Hgdiobj previous = gdi_.SelectObject(dc, bitmap);
  const Hgdiobj text_font = gdi_.CreateFontFor(font, dpi_);
  gdi_.FillSolidRect(dc, {0, 0, width, height}, gdi_.GetSysColor(COLOR_BTNFACE));
  gdi_.PaintText(dc, text_font, {px(16), px(16), width - px(16), px(16) + text_height}, message,
                 gdi_.GetSysColor(COLOR_BTNTEXT), TextAlign::Left, true);
  gdi_.FillSolidRect(dc, ok, gdi_.GetSysColor(COLOR_3DDKSHADOW));
  gdi_.FillSolidRect(dc, {ok.left + 1, ok.top + 1, ok.right - 1, ok.bottom - 1},
                     gdi_.GetSysColor(COLOR_BTNFACE));
  gdi_.PaintText(dc, text_font, {ok.left, ok.top + px(4), ok.right, ok.bottom}, "OK",
                 gdi_.GetSysColor(COLOR_BTNTEXT), TextAlign::Center, false);
  SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Present(box, dc);
  ShowTopLevel(box, true);
  RunMessageBox(static_cast<Window>(box), ok);

  DestroyTopLevel(box);
  gdi_.SelectObject(dc, previous);
  gdi_.DeleteDC(dc);
  gdi_.DeleteObject(bitmap);
  gdi_.DeleteObject(text_font);
  XFlush(display_);
}

bool X11Desktop::RunMessageBox(Window box, Rect ok_button) {
  // Modal: input goes to the box only and no timer ticks; the rest (exposure,
  // the clipboard, the window manager's messages) is handled as usual.
  modal_ = box;
  modal_ok_ = ok_button;
  modal_done_ = false;
  while (!modal_done_ && Find(box)) {
    XEvent event;
    XNextEvent(display_, &event);
    Handle(event);
  }
  modal_ = 0;
  return modal_done_;
}

}  // namespace huevex::x11
