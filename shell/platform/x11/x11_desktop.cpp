#include "shell/platform/x11/x11_desktop.h"

#include <X11/Xatom.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

#include "shell/platform/x11/x11_clipboard_server.h"
#include "shell/platform/x11/x11_message_box.h"
#include "shell/platform/x11/x11_pixels.h"
#include "shell/platform/x11/x11_properties.h"

namespace huevex::x11 {
namespace {

std::int64_t MonotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// The protocol's largest window side (16 bits).
constexpr int kMostWindowSide = 32767;

constexpr long kWindowEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask |
                               StructureNotifyMask | PropertyChangeMask;

}  // namespace

X11Desktop::X11Desktop(Display* display, X11Screen& screen, soft::SoftGdi& gdi)
    : display_(display),
      screen_(screen),
      gdi_(gdi),
      atoms_(display),
      clipboard_(display, atoms_),
      root_(DefaultRootWindow(display)),
      wm_(display, atoms_, root_),
      presenter_(display, screen.format()),
      capture_(display, root_, screen),
      cover_(display, root_, presenter_),
      shortcut_(display, root_),
      poll_(ConnectionNumber(display)) {
  dpi_ = ReadDpi();
  // The screen capture's connection, where the screen comes from the compositor.
  poll_.Attach(screen_.Connection());
  screen_.OnOffset([this](Point offset) { capture_.ShowOffset(offset, last_time_); });
}

X11Desktop::~X11Desktop() {
  screen_.OnOffset(nullptr);
  // The picked code outlives the program where a clipboard manager runs, and
  // where asked also where none does: the server takes it over, and the
  // program ends once it has.
  if (!clipboard_.HandOver(kHandOverLimit) && keep_clipboard_ && clipboard_.Owned() &&
      StartClipboardServer(clipboard_.text())) {
    clipboard_.ServeUntilTaken(kHandOverLimit);
  }
  capture_.Release(CurrentTime);
  windows_.clear();
  XSync(display_, False);
}

X11Desktop::TopLevel* X11Desktop::Find(Window window) {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

// Windows.

Hwnd X11Desktop::CreateTopLevel(const WindowDesc& desc) {
  const int width = std::clamp(desc.client_width, 1, kMostWindowSide);
  const int height = std::clamp(desc.client_height, 1, kMostWindowSide);
  XSetWindowAttributes attributes{};
  attributes.event_mask = kWindowEvents;
  attributes.background_pixel =
      FromColorValue(static_cast<std::uint32_t>(gdi_.GetSysColor(COLOR_BTNFACE)), screen_.format());
  attributes.bit_gravity = NorthWestGravity;
  // Placed by the program itself where the window manager would not.
  const bool unmanaged = !desc.framed && screen_.Xwayland();
  attributes.override_redirect = unmanaged ? True : False;
  const Window window =
      XCreateWindow(display_, root_, desc.position.x, desc.position.y, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWEventMask | CWBackPixel | CWBitGravity | CWOverrideRedirect, &attributes);

  TopLevel& top = windows_[window];
  top.window = WindowHandle(display_, window);
  top.framed = desc.framed;
  top.taskbar = desc.taskbar;
  top.client_width = width;
  top.client_height = height;
  top.outer = desc.position;
  wm_.Describe(window, desc, width, height);
  wm_.WriteState(window, top.topmost, top.taskbar);
  return Hwnd{window};
}

void X11Desktop::DestroyTopLevel(Hwnd handle) {
  const auto window = static_cast<Window>(handle);
  TopLevel* top = Find(window);
  if (!top) return;
  if (capture_.window() == window) ReleaseCapture();
  const bool covered = top->shown && cover_.Shown();
  if (covered) cover_.Uncover(ClientRectOf(*top));
  presenter_.Finish(top->image);
  presenter_.Finish(top->on_cover);
  windows_.erase(window);
  if (covered) RedrawCover();
}

Insets X11Desktop::FrameInsets(bool framed, int dpi) {
  if (!framed || !wm_.Running()) return {};
  wm_.AskFrameOnce();
  return wm_.TypicalFrame(dpi);
}

Insets X11Desktop::InsetsOf(const TopLevel& top) const {
  if (top.extents) return *top.extents;
  if (!top.framed || !wm_.Running()) return {};
  return wm_.TypicalFrame(dpi_);
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
  const bool covered = top->shown && cover_.Shown();
  if (covered) cover_.Uncover(ClientRectOf(*top));
  top->outer = outer_top_left;
  top->client_root.reset();
  // Framed or not yet, north-west gravity makes this the outer corner.
  XMoveWindow(display_, top->window.get(), outer_top_left.x, outer_top_left.y);
  if (!top->shown || top->cover == UnderCover::Later) {
    wm_.WriteNormalHints(top->window.get(), top->client_width, top->client_height, outer_top_left);
  }
  if (covered) RedrawCover();
}

void X11Desktop::ResizeClient(Hwnd handle, int client_width, int client_height) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return;
  top->client_width = std::clamp(client_width, 1, kMostWindowSide);
  top->client_height = std::clamp(client_height, 1, kMostWindowSide);
  wm_.WriteNormalHints(top->window.get(), top->client_width, top->client_height, top->outer);
  XResizeWindow(display_, top->window.get(), static_cast<unsigned>(top->client_width),
                static_cast<unsigned>(top->client_height));
}

void X11Desktop::ShowTopLevel(Hwnd handle, bool visible) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top || top->shown == visible) return;
  top->shown = visible;
  if (visible) {
    // Under the screen cover a window shows on the cover (the picture the
    // cover is made from must not have it), and is mapped once the cover has
    // gone, unless it has gone first; a framed one, beneath it too.
    if (cover_awaited_ || cover_.Shown()) {
      top->cover = UnderCover::Later;
      MapBeneathCover();
      RedrawCover();
      return;
    }
    Map(*top);
  } else {
    if (cover_.Shown()) cover_.Uncover(ClientRectOf(*top));
    top->cover = UnderCover::No;
    XWithdrawWindow(display_, top->window.get(), DefaultScreen(display_));
    top->above_asked = false;
    RedrawCover();
  }
}

void X11Desktop::Map(TopLevel& top) {
  // The window manager reads the state once, when the window is mapped.
  const bool above = top.topmost && !yielding_;
  wm_.WriteState(top.window.get(), above, top.taskbar);
  top.above_asked = above;
  if (yielding_) {
    XMapWindow(display_, top.window.get());  // not over the desktop's dialog
  } else {
    XMapRaised(display_, top.window.get());
    if (!wm_.Running()) wm_.KeepAbove(TopmostShown());
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

// X has no activation to spare here: raising a window does not focus it.
bool X11Desktop::KeepOnTop(Hwnd handle, bool) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return false;
  top->topmost = true;
  if (!top->shown) {
    wm_.WriteState(top->window.get(), !yielding_, top->taskbar);
  } else if (yielding_) {
    // Taken back once the desktop's question is answered.
  } else if (wm_.Running()) {
    if (!top->above_asked) wm_.AskAbove(top->window.get());
    top->above_asked = true;
    XRaiseWindow(display_, top->window.get());
  } else {
    wm_.KeepAbove(TopmostShown());
  }
  return true;
}

// The program's topmost windows that are shown, always in the same order.
std::vector<Window> X11Desktop::TopmostShown() const {
  std::vector<Window> ours;
  for (const auto& [window, top] : windows_) {
    if (top.topmost && top.shown) ours.push_back(window);
  }
  return ours;
}

// Another client's top-level window was mapped or restacked, where no window
// manager runs. Pop-ups (menus, tooltips) are left above.
void X11Desktop::RiseOver(Window other) {
  if (other == clipboard_.window() || Find(other) || yielding_) return;
  wm_.RiseOver(other, TopmostShown());
}

void X11Desktop::DrawTitleBarActive(Hwnd) {
  // The window manager draws the title bar; the pointer grab keeps the focus
  // where it is, so the main window's title stays as it was during a pick.
}

// Putting surfaces on screen, on Present and again on every Expose.

void X11Desktop::Present(Hwnd handle, Hdc surface) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return;
  top->surface = surface;
  PutSurface(*top);
}

void X11Desktop::PutSurface(TopLevel& top) {
  if (!top.shown) return;  // the first Expose after mapping puts it
  const soft::Bitmap* bitmap = gdi_.SelectedBitmap(top.surface);
  if (!bitmap) return;
  presenter_.Put(top.window.get(), top.image, *bitmap, top.client_width, top.client_height);
  cover_.Put(top.on_cover, *bitmap, ClientRectOf(top));
}

Rect X11Desktop::ClientRectOf(const TopLevel& top) const {
  const Insets insets = InsetsOf(top);
  Point corner{top.outer.x + insets.left, top.outer.y + insets.top};
  if (top.client_root) corner = *top.client_root;
  return {corner.x, corner.y, corner.x + top.client_width, corner.y + top.client_height};
}

// The screen cover (Xwayland): up once the picture of the screen it shows is
// there, with our shown windows drawn onto it where they are, and gone with
// the capture.
void X11Desktop::CoverWhenPictured() {
  if (!cover_awaited_) return;
  const bool still = MonotonicNow() >= *cover_awaited_ + kStillScreenNs;
  if (!screen_.Freeze(still ? 0 : *cover_awaited_ + kPointerGoneNs)) return;
  cover_awaited_.reset();
  const TopLevel* captured = Find(capture_.window());
  cover_.Show(*screen_.Frozen(), capture_.CursorFor(captured ? captured->pointer : nullptr));
  capture_.HidePointer(false, last_time_);
  MapBeneathCover();
  RedrawCover();
}

// A compositor gives the keyboard to the X window its window manager
// focuses, and neither GNOME's nor KDE's ever focuses an unmanaged one such
// as the cover (sway does): so a real keyboard's keys would go to the window
// the user left, never to Xwayland, and the grab would not see Enter or Esc.
// Our framed windows shown meanwhile are therefore mapped beneath the cover,
// unseen, and the window manager is asked to focus them.
void X11Desktop::MapBeneathCover() {
  if (!cover_.Shown()) return;
  for (auto& [window, top] : windows_) {
    if (top.cover != UnderCover::Later || !top.framed) continue;
    top.cover = UnderCover::Beneath;
    Map(top);
    wm_.Activate(window, last_time_);
  }
}

void X11Desktop::RedrawCover() {
  if (!cover_.Shown()) return;
  for (auto& [window, top] : windows_) PutSurface(top);
}

void X11Desktop::Uncover() {
  cover_awaited_.reset();
  cover_.Hide();
  screen_.Thaw();
}

// Between events, so that a window the program takes away in the event that
// ended the capture (a command's pick, which ends the program) never shows.
void X11Desktop::MapAfterCover() {
  if (cover_awaited_ || cover_.Shown()) return;
  for (auto& [window, top] : windows_) {
    if (std::exchange(top.cover, UnderCover::No) != UnderCover::Later) continue;
    Map(top);
    PutSurface(top);
  }
}

// The mouse.

void X11Desktop::SetPointer(Hwnd handle, const Picture* picture) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return;
  top->pointer = picture;
  const Cursor cursor = capture_.CursorFor(picture);
  if (cursor != None) {
    XDefineCursor(display_, top->window.get(), cursor);
  } else {
    XUndefineCursor(display_, top->window.get());
  }
  // While the pointer is grabbed, the grab's cursor is what shows everywhere.
  if (capture_.window() == top->window.get()) capture_.PointerChanged(picture, last_time_);
}

void X11Desktop::SetCapture(Hwnd handle) {
  if (TopLevel* top = Find(static_cast<Window>(handle))) {
    capture_.Take(top->window.get(), top->pointer, press_root_, last_time_);
  }
}

// With no press to start it, the grab is asked for again for a moment: a
// launcher that started the command from a key of its own may still hold
// the keyboard until that key comes up.
bool X11Desktop::CaptureAll(Hwnd handle) {
  TopLevel* top = Find(static_cast<Window>(handle));
  if (!top) return false;
  const auto until = Clock::now() + kGrabPatience;
  while (!capture_.Take(top->window.get(), top->pointer, {}, CurrentTime, true)) {
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // On Xwayland the grab sees the pointer only over X windows: the screen
  // goes under a cover of ours as soon as its picture is there.
  if (screen_.Xwayland()) {
    capture_.HidePointer(true, CurrentTime);
    XFlush(display_);
    cover_awaited_ = MonotonicNow();
    CoverWhenPictured();
  }
  return true;
}

void X11Desktop::ReleaseCapture() {
  capture_.Release(last_time_);
  Uncover();
}

bool X11Desktop::RegisterShortcut(const Shortcut& shortcut) {
  if (screen_.Xwayland()) return RegisterPortalShortcut(shortcut);
  if (!shortcut_.Grab(shortcut) && listener_) {
    listener_->OnShortcutRefused("another program has it, or the keyboard has no such key");
  }
  return true;
}

// On Xwayland a key grab of X's sees the keys only while an X window has the
// keyboard: no shortcut at all is better than one that works now and then.
// The desktop portal's is asked for instead, through the capture module;
// where the portal has none, nothing is said, as where there is no module.
bool X11Desktop::RegisterPortalShortcut(const Shortcut& shortcut) {
  if (portal_shortcut_) poll_.Detach(portal_shortcut_.get());
  portal_shortcut_.reset();
  std::shared_ptr<CaptureLibrary> module = screen_.Module();
  if (!module) return false;
  portal_shortcut_ = PortalShortcut::Open(
      std::move(module), shortcut,
      [this] {
        if (listener_) listener_->OnShortcut();
      },
      [this](std::string_view why) {
        if (listener_) listener_->OnShortcutRefused(why);
      });
  if (!portal_shortcut_) return false;
  poll_.Attach(portal_shortcut_.get());
  return true;
}

// The clipboard, the screen's numbers, errors.

bool X11Desktop::SetClipboardText(Hwnd, std::string_view utf8) {
  return clipboard_.Own(utf8, last_time_);
}

int X11Desktop::GetDpi(Hwnd) { return dpi_; }

int X11Desktop::ReadDpi() {
  // As GTK and Qt do: Xft.dpi from the resource database, never the screen's millimetres.
  const XftDpi read = ParseXftDpi(ReadText(display_, root_, atoms_.resource_manager));
  // A setting no monitor has is said once, not again each time it is read.
  if (!read.note.empty() && read.note != dpi_note_) {
    std::fprintf(stderr, "huevex: %s\n", read.note.c_str());
    std::fflush(stderr);
  }
  dpi_note_ = read.note;
  return read.dpi;
}

std::vector<MonitorInfo> X11Desktop::GetMonitors() {
  std::vector<MonitorInfo> monitors = screen_.Monitors();
  wm_.SetWorkAreas(monitors);
  return monitors;
}

void X11Desktop::TellMonitors() {
  if (listener_) listener_->OnMonitorsChanged();
}

void X11Desktop::ShowError(Hwnd owner, std::string_view title, std::string_view message) {
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
               static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
  ShowMessageBox(*this, gdi_, Find(static_cast<Window>(owner)) ? owner : Hwnd{}, title, message);
  XFlush(display_);
}

// Timers, other connections and the loop.

TimerId X11Desktop::SetTimer(unsigned interval_ms) {
  return timers_.Add(interval_ms, Clock::now());
}

void X11Desktop::KillTimer(TimerId timer) { timers_.Remove(timer); }

std::uint32_t X11Desktop::GetTickCount() {
  const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(since.count());
}

void X11Desktop::SetTransientFor(Hwnd box, Hwnd owner) {
  XSetTransientForHint(display_, static_cast<Window>(box), static_cast<Window>(owner));
}

void X11Desktop::Watch(int fd, std::function<void()> on_readable) {
  poll_.Watch(fd, std::move(on_readable));
}

void X11Desktop::Unwatch(int fd) { poll_.Unwatch(fd); }

void X11Desktop::Step(std::chrono::milliseconds limit) {
  while (!quit_ && XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    Handle(event);
  }
  CoverWhenPictured();
  MapAfterCover();
  // Each due timer ticks once per turn, however long the ticks take, so that
  // events are never starved by a timer that cannot keep up. A tick may stop
  // a timer that is due later in the same turn.
  for (const TimerId due : timers_.TakeDue(Clock::now())) {
    if (quit_) break;
    if (listener_ && timers_.Contains(due)) listener_->OnTimer(due);
  }
  TellScreenAccess();
  GiveWayToQuestion();
  if (quit_) return;
  // Flushes, then takes in whatever has arrived: an event that a reply wait
  // read off the socket is no longer visible to poll(). While events wait,
  // the other connections get a look without a sleep, so that a stream of
  // events cannot starve them.
  if (XEventsQueued(display_, QueuedAfterFlush) > 0) {
    if (poll_.Watching()) poll_.Wait(Clock::now());
    return;
  }
  std::optional<Clock::time_point> deadline = timers_.NextDeadline();
  // The last timer has stopped (a pick has ended, the magnifier has gone):
  // what they freed goes back to the system before the program waits idle.
  if (!deadline && timers_ran_) {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
  }
  timers_ran_ = deadline.has_value();
  // A pick over a still screen: its ticks would only give again what the
  // last gave. Its quick timers wait for the server to tell of a move or a
  // change (which wakes the loop at once), or for a settled tick's interval.
  if (deadline && screen_.Settled()) {
    const auto settled = Clock::now() + kSettledTick;
    const std::optional<Clock::time_point> slow = timers_.NextDeadline(kSettledTick);
    deadline = std::max(*deadline, slow ? std::min(*slow, settled) : settled);
  }
  // A still screen's picture is taken as it is once kStillScreenNs has passed.
  if (cover_awaited_) {
    const std::int64_t left = *cover_awaited_ + kStillScreenNs - MonotonicNow();
    const auto still = Clock::now() + std::chrono::nanoseconds(left);
    if (left > 0 && (!deadline || still < *deadline)) deadline = still;
  }
  if (limit.count() >= 0) {
    const auto until = Clock::now() + limit;
    if (!deadline || *deadline > until) deadline = until;
  }
  poll_.Wait(deadline);
}

// Told between events, never from inside a read, and not during a pick: the
// program may show a box, whose own loop would swallow the pick's release.
// But a pick with no press that waits for its cover is told that the screen
// cannot be read: no picture will come, and it would wait for ever.
void X11Desktop::TellScreenAccess() {
  while (!quit_) {
    std::optional<AccessNotice> notice;
    if (capture_.window() == 0) {
      notice = screen_.TakeNotice();
    } else if (cover_awaited_) {
      notice = screen_.TakeNotice(ScreenAccess::Unreadable);
    }
    if (!notice) break;
    if (listener_) listener_->OnScreenAccess(notice->access, notice->reason);
  }
}

// While the desktop asks the user whether the screen may be read, its
// dialog must not lie under the windows we keep on top: they give up being
// above the others until it is answered, and take it back then.
void X11Desktop::GiveWayToQuestion() {
  if (screen_.AwaitsAnswer() == yielding_) return;
  yielding_ = !yielding_;
  for (auto& [window, top] : windows_) {
    if (!top.topmost || !top.shown) continue;
    if (wm_.Running()) {
      wm_.AskAbove(window, !yielding_);
      top.above_asked = !yielding_;
    }
    if (!yielding_) XRaiseWindow(display_, window);
  }
  if (!yielding_ && !wm_.Running()) wm_.KeepAbove(TopmostShown());
}

void X11Desktop::Run() {
  quit_ = false;
  while (!quit_) Step(std::chrono::milliseconds(-1));
  XFlush(display_);
}

// The error box's loop: like Run's, without the timers, and with input for
// the box only.
void X11Desktop::RunModal(Hwnd box, std::function<bool(XEvent&)> closes) {
  modal_ = static_cast<Window>(box);
  modal_closes_ = std::move(closes);
  modal_done_ = false;
  while (!modal_done_ && Find(modal_)) {
    if (XPending(display_) == 0) {
      poll_.Wait(std::nullopt);
      continue;
    }
    XEvent event;
    XNextEvent(display_, &event);
    Handle(event);
  }
  modal_ = 0;
  modal_closes_ = nullptr;
}

}  // namespace huevex::x11
