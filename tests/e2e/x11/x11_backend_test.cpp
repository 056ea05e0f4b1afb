// The X11 backend against a real X server (a private Xvfb without a window
// manager, started for each test by the test command): reading the screen,
// the pointer, windows and their properties, the DPI, the work area, the keys
// during a capture, the shortcut, timers, watched connections, X errors and
// the error box.
// clang-format off
// Before any X header: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>
// clang-format on

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "resources/pictures.h"
#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_desktop.h"
#include "shell/platform/x11/x11_errors.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_screen.h"

namespace huevex::x11 {

struct ScreenForTests {
  static void DisableShm(X11Screen& screen) { screen.shm_ = false; }
};

struct DesktopForTests {
  static bool WindowManagerRunning(const X11Desktop& desktop) { return desktop.wm_.Running(); }
};

namespace {

using namespace std::chrono_literals;

class Recorder : public WindowEvents {
 public:
  void OnMouseDown(Hwnd, MouseButton, Point) override {}
  void OnMouseUp(Hwnd, MouseButton, Point) override {}
  void OnCloseRequest(Hwnd window) override { closed.push_back(window); }
  void OnTimer(TimerId timer) override { ticks.push_back(timer); }
  void OnDpiChanged(Hwnd window, int dpi) override { dpis.emplace_back(window, dpi); }
  void OnKeyDown(Hwnd window, int key, bool) override { keys.emplace_back(window, key); }
  void OnShortcut() override { ++shortcuts; }
  void OnShortcutRefused(std::string_view) override { ++refusals; }
  std::vector<Hwnd> closed;
  std::vector<std::pair<Hwnd, int>> keys;
  int shortcuts = 0;
  int refusals = 0;
  std::vector<TimerId> ticks;
  std::vector<std::pair<Hwnd, int>> dpis;
};

class X11Backend : public ::testing::Test {
 protected:
  void SetUp() override {
    display_.reset(XOpenDisplay(nullptr));
    ASSERT_TRUE(display_) << "these tests need an X display (run them under Xvfb)";
    root_ = DefaultRootWindow(display());
  }

  Display* display() { return display_.get(); }

  // Moves the pointer as a pointing device does, with raw motion (XTest),
  // unlike XWarpPointer.
  void MoveAsADevice(int dx, int dy) {
    XTestFakeRelativeMotionEvent(display(), dx, dy, CurrentTime);
    XSync(display(), False);
  }

  // A plain mapped window of one color, at a known place on the screen.
  Window Paint(Rect area, unsigned long rgb) {
    const Window window = XCreateSimpleWindow(display(), root_, area.left, area.top,
                                              static_cast<unsigned>(area.Width()),
                                              static_cast<unsigned>(area.Height()), 0, 0, rgb);
    XSelectInput(display(), window, ExposureMask);
    XMapWindow(display(), window);
    XEvent event;
    XWindowEvent(display(), window, ExposureMask, &event);
    XSync(display(), False);
    return window;
  }

  std::vector<long> Longs(Window window, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    std::vector<long> out;
    XGetWindowProperty(display(), window, XInternAtom(display(), name, False), 0, 1 << 16, False,
                       AnyPropertyType, &type, &format, &count, &left, &data);
    if (data && format == 32) {
      out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    }
    if (data) XFree(data);
    return out;
  }

  long Atom_(const char* name) { return static_cast<long>(XInternAtom(display(), name, False)); }

  // Keys pressed in order and released in reverse, as a hand types a chord.
  void Type(std::initializer_list<KeySym> chord) {
    for (KeySym key : chord) {
      XTestFakeKeyEvent(display(), XKeysymToKeycode(display(), key), True, CurrentTime);
    }
    for (auto key = std::rbegin(chord); key != std::rend(chord); ++key) {
      XTestFakeKeyEvent(display(), XKeysymToKeycode(display(), *key), False, CurrentTime);
    }
    XSync(display(), False);
  }

  DisplayPtr display_;
  Window root_ = 0;
};

TEST_F(X11Backend, ReadsPixelsAsColorValuesAndOffScreenAsBlack) {
  Paint({0, 0, 40, 40}, 0x050AC8);
  Paint({40, 0, 80, 40}, 0x100F01);
  const int width = DisplayWidth(display(), DefaultScreen(display()));
  const int height = DisplayHeight(display(), DefaultScreen(display()));
  Paint({width - 20, height - 20, width, height}, 0xFF0000);
  X11Screen screen(display());
  EXPECT_EQ(screen.Bounds(), (Rect{0, 0, width, height}));

  struct Case {
    Rect block;
    std::vector<std::uint32_t> pixels;
  };
  const std::uint32_t blue = 0xC80A05, olive = 0x010F10, red = 0x0000FF;
  const Case cases[] = {
      {{10, 10, 11, 11}, {blue}},
      {{39, 5, 41, 6}, {blue, olive}},
      {{-1, -1, 1, 1}, {0, 0, 0, blue}},  // the top-left corner, partly off the screen
      {{width - 1, height - 1, width + 1, height + 1}, {red, 0, 0, 0}},
      {{-50, 10, -40, 11}, std::vector<std::uint32_t>(10, 0)},  // wholly off the screen
      {{width, height, width + 2, height + 1}, {0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint32_t> out(c.pixels.size(), 0xABCDEF);
    ASSERT_TRUE(screen.Read(c.block, out.data()));
    EXPECT_EQ(out, c.pixels) << c.block.left << "," << c.block.top;
  }
  XSync(display(), False);
}

// The program hears only of changes in whether the screen can be read: none
// while the root window reads, once when a capture module cannot be had, and
// then reads fail at once instead of asking the X server every tick.
TEST_F(X11Backend, OnlyChangesInWhetherTheScreenCanBeReadAreTold) {
  std::uint32_t pixel = 0;
  X11Screen root(display());
  root.ChooseSource(nullptr);
  for (int tick = 0; tick < 3; ++tick) {
    ASSERT_TRUE(root.Read({1, 1, 2, 2}, &pixel));
    EXPECT_FALSE(root.TakeNotice()) << "tick " << tick;
  }

  // No capture module lies beside the tests' program.
  X11Screen captured(display());
  captured.ChooseSource("screencopy");
  EXPECT_FALSE(captured.TakeNotice()) << "held until the program first reads";
  for (int tick = 0; tick < 3; ++tick) {
    EXPECT_FALSE(captured.Read({1, 1, 2, 2}, &pixel)) << "tick " << tick;
    const std::optional<AccessNotice> notice = captured.TakeNotice();
    EXPECT_EQ(notice.has_value(), tick == 0) << "tick " << tick;
    if (notice) {
      EXPECT_EQ(notice->access, ScreenAccess::Unreadable);
      EXPECT_NE(notice->reason.find("capture module"), std::string::npos) << notice->reason;
    }
  }
}

TEST_F(X11Backend, SharedMemoryAndPlainReadsAgree) {
  Paint({0, 0, 100, 100}, 0x808080);
  Paint({30, 30, 60, 60}, 0x00FF00);
  X11Screen screen(display());
  const Rect block{-10, -10, 110, 90};  // large enough for shared memory, partly off the screen
  std::vector<std::uint32_t> shared(static_cast<size_t>(block.Width()) * block.Height());
  std::vector<std::uint32_t> plain(shared.size());
  ASSERT_TRUE(screen.Read(block, shared.data()));
  ScreenForTests::DisableShm(screen);
  ASSERT_TRUE(screen.Read(block, plain.data()));
  EXPECT_EQ(shared, plain);
  const auto at = [&](int x, int y) {
    return plain[(y - block.top) * block.Width() + (x - block.left)];
  };
  EXPECT_EQ(at(-1, 5), 0u);
  EXPECT_EQ(at(5, 5), 0x808080u);
  EXPECT_EQ(at(45, 45), 0x00FF00u);
}

TEST_F(X11Backend, CursorFromTheServerOrFromTheGrabsEvents) {
  X11Screen screen(display());
  XWarpPointer(display(), None, root_, 0, 0, 0, 0, 123, 45);
  XSync(display(), False);
  Point point;
  ASSERT_TRUE(screen.CursorPos(&point));
  EXPECT_EQ(point, (Point{123, 45}));
  screen.FollowPointer(Point{7, 8});
  ASSERT_TRUE(screen.CursorPos(&point));
  EXPECT_EQ(point, (Point{7, 8}));
  // The grab's last report stands when it ends (the release's place), until
  // the watch stops trusting it; then the server is asked again.
  screen.FollowPointer(std::nullopt);
  ASSERT_TRUE(screen.CursorPos(&point));
  EXPECT_EQ(point, (Point{7, 8}));
  std::this_thread::sleep_for(PointerWatch::kTrustFor + 10ms);
  ASSERT_TRUE(screen.CursorPos(&point));
  EXPECT_EQ(point, (Point{123, 45}));
}

// While the pointer is grabbed, a read that nothing has changed since is
// answered from memory: ticks over a still window ask the server nothing; a
// repaint under the pointer is read at the next tick after its damage, and
// the program gets the new color; a move is read.
TEST_F(X11Backend, GrabbedReadsAskTheServerOnlyAfterAChange) {
  const Window window = Paint({100, 100, 140, 140}, 0x204060);
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  const Hdc dc = gdi.GetDC(Hwnd{});
  screen.Grabbed(true);
  screen.FollowPointer(Point{120, 120});
  EXPECT_EQ(gdi.GetPixel(dc, 120, 120), RGB(0x20, 0x40, 0x60));
  const unsigned long still = NextRequest(display());
  for (int tick = 0; tick < 3; ++tick) {
    desktop.Step(0ms);
    EXPECT_EQ(gdi.GetPixel(dc, 120, 120), RGB(0x20, 0x40, 0x60)) << "tick " << tick;
  }
  EXPECT_EQ(NextRequest(display()), still) << "asked the server again";

  XSetWindowBackground(display(), window, 0x00FF80);
  XClearWindow(display(), window);
  XSync(display(), False);
  desktop.Step(0ms);  // the damage
  ASSERT_EQ(XEventsQueued(display(), QueuedAlready), 0);
  EXPECT_EQ(gdi.GetPixel(dc, 120, 120), RGB(0x00, 0xFF, 0x80));

  screen.FollowPointer(Point{121, 120});
  const unsigned long moved = NextRequest(display());
  EXPECT_EQ(gdi.GetPixel(dc, 121, 120), RGB(0x00, 0xFF, 0x80));
  EXPECT_NE(NextRequest(display()), moved) << "a move answered from memory";
  screen.Grabbed(false);
  screen.FollowPointer(std::nullopt);
}

// The magnifier asks twenty times a second; a pointer at rest is asked about
// only once in a while, a device's movement is seen at the next ask, and a
// warp, which devices do not report, a moment later.
TEST_F(X11Backend, PointerAtRestIsNotAskedAgainUntilItMoves) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  XWarpPointer(display(), None, root_, 0, 0, 0, 0, 200, 100);
  XSync(display(), False);
  Point point;
  ASSERT_TRUE(screen.CursorPos(&point));
  EXPECT_EQ(point, (Point{200, 100}));
  const unsigned long next_request = NextRequest(display());
  ASSERT_TRUE(screen.CursorPos(&point));
  EXPECT_EQ(point, (Point{200, 100}));
  EXPECT_EQ(NextRequest(display()), next_request) << "asked the server again";

  MoveAsADevice(7, 3);
  desktop.Step(0ms);  // the loop takes in the device's raw motion
  ASSERT_TRUE(screen.CursorPos(&point));
  EXPECT_EQ(point, (Point{207, 103}));

  XWarpPointer(display(), None, root_, 0, 0, 0, 0, 300, 150);
  XSync(display(), False);
  desktop.Step(0ms);
  std::this_thread::sleep_for(PointerWatch::kTrustFor + 10ms);
  ASSERT_TRUE(screen.CursorPos(&point));
  EXPECT_EQ(point, (Point{300, 150}));
}

// Once the pointer has moved, nothing more comes until the position is asked
// for again: a program without its magnifier is not woken by the mouse.
TEST_F(X11Backend, PointerMovesWakeTheProgramOnlyWhileItAsks) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  Point point;
  ASSERT_TRUE(screen.CursorPos(&point));
  MoveAsADevice(5, 0);
  desktop.Step(0ms);
  MoveAsADevice(5, 0);
  MoveAsADevice(0, 5);
  EXPECT_EQ(XPending(display()), 0);
  ASSERT_TRUE(screen.CursorPos(&point));
  MoveAsADevice(5, 0);
  EXPECT_GT(XPending(display()), 0) << "asking again watches the pointer again";
}

TEST_F(X11Backend, DpiFromXftDpiAndItsChanges) {
  const Atom resources = XInternAtom(display(), "RESOURCE_MANAGER", False);
  const auto set = [&](const char* text) {
    XChangeProperty(display(), root_, resources, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text),
                    static_cast<int>(std::strlen(text)));
    XSync(display(), False);
  };
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  {
    XDeleteProperty(display(), root_, resources);
    X11Desktop desktop(display(), screen, gdi);
    EXPECT_EQ(desktop.GetDpi(Hwnd{}), 96);  // unset
  }
  set("Xft.antialias:\t1\nXft.dpi:\t144\n");
  X11Desktop desktop(display(), screen, gdi);
  Recorder recorder;
  desktop.SetListener(&recorder);
  EXPECT_EQ(desktop.GetDpi(Hwnd{}), 144);
  const Hwnd window = desktop.CreateTopLevel(
      {.title = "dpi", .position = {}, .client_width = 10, .client_height = 10});
  set("Xft.dpi:\t120\n");
  for (int i = 0; i < 50 && recorder.dpis.empty(); ++i) desktop.Step(20ms);
  ASSERT_EQ(recorder.dpis.size(), 1u);
  EXPECT_EQ(recorder.dpis[0], std::make_pair(window, 120));
  EXPECT_EQ(desktop.GetDpi(window), 120);
  XDeleteProperty(display(), root_, resources);
}

TEST_F(X11Backend, WorkAreaFromTheWindowManagerOrTheScreen) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  const Atom workarea = XInternAtom(display(), "_NET_WORKAREA", False);
  const Atom per_monitor = XInternAtom(display(), "_GTK_WORKAREAS_D1", False);
  const Atom current = XInternAtom(display(), "_NET_CURRENT_DESKTOP", False);
  const long desktop_one[] = {1};
  XChangeProperty(display(), root_, current, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(desktop_one), 1);
  const Rect all = screen.Bounds();
  // Xvfb's RandR has one monitor, the whole screen (no output is primary).
  ASSERT_EQ(desktop.GetMonitors().size(), 1u);
  ASSERT_EQ(desktop.GetMonitors().front().monitor, all);
  // Any client can write the properties, and only the part on the monitor
  // counts; the current desktop's (the second) is the one.
  const struct {
    std::vector<long> area;  // _NET_WORKAREA
    std::vector<long> gtk;   // _GTK_WORKAREAS_D1, the desktop's per monitor
    Rect expected;
  } cases[] = {
      {{}, {}, all},
      {{0, 0, 9, 9, 0, 30, 1000, 700}, {}, {0, 30, 1000, 730}},
      {{0, 30, 1000, 700}, {}, {0, 30, 1000, 730}},  // no second desktop: the first's
      {{0, 0, 9, 9, -500, -500, 100000, 100000}, {}, all},
      {{0, 0, 9, 9, all.right - 10, 0, 0x7FFFFFFF, 0x7FFFFFFF},
       {},
       {all.right - 10, 0, all.right, all.bottom}},
      {{0, 0, 9, 9, 5000, 5000, 100, 100}, {}, all},  // wholly off the screen
      {{0, 0, 9, 9, 0, 0, -1, 100}, {}, all},
      // Per monitor where given, the one the monitor has most of.
      {{0, 30, 1000, 700, 0, 30, 1000, 700}, {0, 0, 200, 20, 40, 0, 500, 600}, {40, 0, 540, 600}},
      {{0, 0, 9, 9, 0, 30, 1000, 700}, {5000, 0, 10, 10}, all},              // only off the screen
      {{0, 0, 9, 9, 0, 30, 1000, 700}, {0, 0, 0, 100}, {0, 30, 1000, 730}},  // none usable
  };
  for (const auto& c : cases) {
    XDeleteProperty(display(), root_, workarea);
    XDeleteProperty(display(), root_, per_monitor);
    if (!c.area.empty()) {
      XChangeProperty(display(), root_, workarea, XA_CARDINAL, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(c.area.data()),
                      static_cast<int>(c.area.size()));
    }
    if (!c.gtk.empty()) {
      XChangeProperty(display(), root_, per_monitor, XA_CARDINAL, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(c.gtk.data()),
                      static_cast<int>(c.gtk.size()));
    }
    XSync(display(), False);
    EXPECT_EQ(desktop.GetMonitors().front().work, c.expected)
        << (c.area.empty() ? 0 : c.area.back()) << "," << c.gtk.size();
  }
  XDeleteProperty(display(), root_, workarea);
  XDeleteProperty(display(), root_, per_monitor);
  XDeleteProperty(display(), root_, current);
}

TEST_F(X11Backend, WindowsCarryTheirHintsAndKeepTheirPlace) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  ASSERT_FALSE(DesktopForTests::WindowManagerRunning(desktop));
  // No window manager: no frame, the outer rectangle is the client's.
  EXPECT_EQ(desktop.FrameInsets(true, 96).top, 0);

  const Hwnd main = desktop.CreateTopLevel({.title = "HUEVEX",
                                            .position = {100, 200},
                                            .client_width = 169,
                                            .client_height = 105,
                                            .icon = &pictures::ApplicationIcon32()});
  const Hwnd panel = desktop.CreateTopLevel({.title = "Screen Zoom",
                                             .framed = false,
                                             .taskbar = false,
                                             .position = {100, 305},
                                             .client_width = 175,
                                             .client_height = 106});
  desktop.KeepOnTop(main, true);
  desktop.ShowTopLevel(main, true);
  desktop.Step(10ms);
  XSync(display(), False);
  const auto main_x = static_cast<Window>(main);
  const auto panel_x = static_cast<Window>(panel);

  EXPECT_EQ(desktop.GetOuterRect(main), (Rect{100, 200, 269, 305}));
  desktop.MoveTopLevel(panel, {150, 305});
  EXPECT_EQ(desktop.GetOuterRect(panel), (Rect{150, 305, 325, 411}));
  XSync(display(), False);
  XWindowAttributes attributes;
  XGetWindowAttributes(display(), panel_x, &attributes);
  EXPECT_EQ(attributes.x, 150);
  EXPECT_EQ(attributes.y, 305);
  // Placed by the window manager's leave on a real X server; only Xwayland's
  // panels go around it.
  EXPECT_FALSE(attributes.override_redirect);

  XSizeHints hints{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(display(), main_x, &hints, &supplied));
  EXPECT_TRUE(hints.flags & USPosition);
  EXPECT_TRUE(hints.flags & PPosition);
  EXPECT_EQ(hints.min_width, 169);
  EXPECT_EQ(hints.max_width, 169);
  EXPECT_EQ(hints.min_height, 105);
  EXPECT_EQ(hints.max_height, 105);

  const std::vector<long> main_motif = Longs(main_x, "_MOTIF_WM_HINTS");
  ASSERT_EQ(main_motif.size(), 5u);
  EXPECT_EQ(main_motif[0], 1 | 2);       // both the functions and the decorations are hinted
  EXPECT_EQ(main_motif[1], 4 | 32);      // move and close only
  EXPECT_EQ(main_motif[2], 2 | 8 | 16);  // border, title, menu: no minimise or maximise box
  const std::vector<long> panel_motif = Longs(panel_x, "_MOTIF_WM_HINTS");
  ASSERT_EQ(panel_motif.size(), 5u);
  EXPECT_EQ(panel_motif[2], 0);  // no decoration

  EXPECT_EQ(Longs(main_x, "_NET_WM_STATE"), std::vector<long>{Atom_("_NET_WM_STATE_ABOVE")});
  EXPECT_EQ(
      Longs(panel_x, "_NET_WM_STATE"),
      (std::vector<long>{Atom_("_NET_WM_STATE_SKIP_TASKBAR"), Atom_("_NET_WM_STATE_SKIP_PAGER")}));
  Window owner = 0;  // a panel of its own: no window manager keeps it above the main window
  EXPECT_FALSE(XGetTransientForHint(display(), panel_x, &owner));
  const std::vector<long> icon = Longs(main_x, "_NET_WM_ICON");
  ASSERT_EQ(icon.size(), 2u + 32u * 32u);
  EXPECT_EQ(icon[0], 32);
  EXPECT_EQ(icon[1], 32);
  const std::vector<long> protocols = Longs(main_x, "WM_PROTOCOLS");
  EXPECT_NE(std::find(protocols.begin(), protocols.end(), Atom_("WM_DELETE_WINDOW")),
            protocols.end());
}

TEST_F(X11Backend, TopmostWindowRisesAgainWhenCovered) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  const Hwnd main = desktop.CreateTopLevel(
      {.title = "top", .position = {0, 0}, .client_width = 50, .client_height = 50});
  desktop.KeepOnTop(main, true);
  desktop.ShowTopLevel(main, true);
  for (int i = 0; i < 5; ++i) desktop.Step(10ms);
  Paint({0, 0, 100, 100}, 0xFF0000);  // another client's window over it
  const auto topmost_child = [&] {
    Window parent = 0, root = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display(), root_, &root, &parent, &children, &count);
    const Window top = count ? children[count - 1] : 0;
    if (children) XFree(children);
    return top;
  };
  for (int i = 0; i < 50 && topmost_child() != static_cast<Window>(main); ++i) desktop.Step(10ms);
  EXPECT_EQ(topmost_child(), static_cast<Window>(main));
}

TEST_F(X11Backend, NoRaisingDuelWithAnotherWindowThatStaysOnTop) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  const Hwnd main = desktop.CreateTopLevel(
      {.title = "top", .position = {0, 0}, .client_width = 50, .client_height = 50});
  desktop.KeepOnTop(main, true);
  desktop.ShowTopLevel(main, true);
  for (int i = 0; i < 5; ++i) desktop.Step(10ms);
  // Another program's window that stays on top itself, mapped over ours.
  const Window other = XCreateSimpleWindow(display(), root_, 0, 0, 100, 100, 0, 0, 0xFF0000);
  const long above = Atom_("_NET_WM_STATE_ABOVE");
  XChangeProperty(display(), other, XInternAtom(display(), "_NET_WM_STATE", False), XA_ATOM, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&above), 1);
  XMapRaised(display(), other);
  XSync(display(), False);
  for (int i = 0; i < 20; ++i) desktop.Step(10ms);
  Window parent = 0, root = 0, *children = nullptr;
  unsigned count = 0;
  XQueryTree(display(), root_, &root, &parent, &children, &count);
  ASSERT_GT(count, 0u);
  EXPECT_EQ(children[count - 1], other);
  XFree(children);
}

// During a pick the keys come to the program whichever window has the
// focus (where the focus follows the mouse, the window under the pointer
// may have it), and go back to that window after the pick.
TEST_F(X11Backend, KeysComeToTheCaptureWhereverTheFocusIs) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  Recorder recorder;
  desktop.SetListener(&recorder);
  const Hwnd main = desktop.CreateTopLevel(
      {.title = "main", .position = {0, 0}, .client_width = 50, .client_height = 50});
  desktop.ShowTopLevel(main, true);
  // Another client's window, with the focus.
  const DisplayPtr other(XOpenDisplay(nullptr));
  ASSERT_TRUE(other);
  const Window focused =
      XCreateSimpleWindow(other.get(), DefaultRootWindow(other.get()), 100, 0, 50, 50, 0, 0, 0);
  XSelectInput(other.get(), focused, KeyPressMask | ExposureMask);
  XMapWindow(other.get(), focused);
  XEvent event;
  XWindowEvent(other.get(), focused, ExposureMask, &event);
  XSetInputFocus(other.get(), focused, RevertToParent, CurrentTime);
  XSync(other.get(), False);
  // Escape typed: whether it reached the program, and the other client.
  const auto escape = [&] {
    Type({XK_Escape});
    for (int i = 0; i < 5; ++i) desktop.Step(10ms);
    XSync(other.get(), False);
    const bool to_other = XCheckTypedWindowEvent(other.get(), focused, KeyPress, &event);
    const auto keys = std::exchange(recorder.keys, {});
    return std::pair{keys == decltype(keys){{main, VK_ESCAPE}}, to_other};
  };
  // The capture of a press, and a capture with no button held.
  for (const std::function<bool()>& take :
       std::vector<std::function<bool()>>{[&] { return desktop.SetCapture(main), true; },
                                          [&] { return desktop.CaptureAll(main); }}) {
    ASSERT_TRUE(take());
    EXPECT_EQ(escape(), std::pair(true, false)) << "the key went to the window with the focus";
    desktop.ReleaseCapture();
    EXPECT_EQ(escape(), std::pair(false, true)) << "the keyboard was not given back";
  }
}

// The shortcut comes whichever lock keys are on. Taken by another client
// first, it is refused once, and can be had once that client lets it go.
TEST_F(X11Backend, TheShortcutComesWithAnyLockOnAndIsRefusedWhenTaken) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  Recorder recorder;
  desktop.SetListener(&recorder);
  const Shortcut super_alt_c{'C', false, true, false, true};
  const auto presses = [&](std::initializer_list<KeySym> chord) {
    Type(chord);
    for (int i = 0; i < 5; ++i) desktop.Step(10ms);
    return std::exchange(recorder.shortcuts, 0);
  };

  DisplayPtr other(XOpenDisplay(nullptr));
  ASSERT_TRUE(other);
  XGrabKey(other.get(), XKeysymToKeycode(other.get(), XK_c), Mod1Mask | Mod4Mask,
           DefaultRootWindow(other.get()), False, GrabModeAsync, GrabModeAsync);
  XSync(other.get(), False);
  desktop.RegisterShortcut(super_alt_c);
  EXPECT_EQ(recorder.refusals, 1);
  other.reset();  // its grabs go with it
  XSync(display(), False);
  desktop.RegisterShortcut(super_alt_c);
  EXPECT_EQ(recorder.refusals, 1);

  // The lock keys turned on before the shortcut, and off after it.
  for (const std::vector<KeySym>& locks : std::vector<std::vector<KeySym>>{
           {}, {XK_Num_Lock}, {XK_Caps_Lock}, {XK_Caps_Lock, XK_Num_Lock}}) {
    SCOPED_TRACE(locks.size() == 1 ? XKeysymToString(locks[0]) : std::to_string(locks.size()));
    for (KeySym lock : locks) Type({lock});
    EXPECT_EQ(presses({XK_Super_L, XK_Alt_L, XK_c}), 1);
    EXPECT_EQ(presses({XK_Super_L, XK_Alt_L, XK_Shift_L, XK_c}), 0) << "another chord";
    for (KeySym lock : locks) Type({lock});
  }
}

TEST_F(X11Backend, TimersTickInTheLoopUntilKilled) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  Recorder recorder;
  desktop.SetListener(&recorder);
  const TimerId fast = desktop.SetTimer(2);
  const TimerId slow = desktop.SetTimer(1000000);
  for (int i = 0; i < 100 && recorder.ticks.size() < 3; ++i) desktop.Step(50ms);
  ASSERT_GE(recorder.ticks.size(), 3u);
  EXPECT_EQ(std::count(recorder.ticks.begin(), recorder.ticks.end(), slow), 0);
  desktop.KillTimer(fast);
  recorder.ticks.clear();
  for (int i = 0; i < 3; ++i) desktop.Step(10ms);
  EXPECT_TRUE(recorder.ticks.empty());
  desktop.KillTimer(slow);
}

// A fault that comes back on every tick must not flood the log: each cause
// (error code and request) is told once on stderr, and every error counted.
TEST_F(X11Backend, XErrorsAreToldOncePerCauseAndCounted) {
  InstallErrorHandler();
  const Window gone = XCreateSimpleWindow(display(), root_, 0, 0, 10, 10, 0, 0, 0);
  XDestroyWindow(display(), gone);
  struct Case {
    const char* what;
    std::function<void()> provoke;
    std::uint64_t times;
    ErrorCause cause;
  };
  const Case cases[] = {
      {"reading a window that has gone",
       [&] {
         if (XImage* image = XGetImage(display(), gone, 0, 0, 1, 1, AllPlanes, ZPixmap)) {
           XDestroyImage(image);
         }
       },
       50,
       {BadDrawable, X_GetImage, 0}},
      {"mapping it", [&] { XMapWindow(display(), gone); }, 20, {BadWindow, X_MapWindow, 0}},
      {"freeing it as a pixmap",
       [&] { XFreePixmap(display(), gone); },
       3,
       {BadPixmap, X_FreePixmap, 0}},
  };
  std::FILE* log = std::tmpfile();
  ASSERT_TRUE(log);
  std::fflush(stderr);
  const int saved_stderr = dup(2);
  dup2(fileno(log), 2);
  for (const Case& c : cases) {
    for (std::uint64_t i = 0; i < c.times; ++i) c.provoke();
  }
  XSync(display(), False);
  std::fflush(stderr);
  dup2(saved_stderr, 2);
  close(saved_stderr);

  std::rewind(log);
  std::vector<std::string> lines;
  char line[512];
  while (std::fgets(line, sizeof line, log)) lines.emplace_back(line);
  std::fclose(log);
  ASSERT_EQ(lines.size(), std::size(cases));
  std::uint64_t total = 0;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(ErrorCount(c.cause), c.times) << c.what;
    const std::string request = "(request " + std::to_string(c.cause.request_code) + ".0";
    EXPECT_NE(lines[i].find(request), std::string::npos) << c.what << ": " << lines[i];
    EXPECT_NE(lines[i].find("X error ignored"), std::string::npos) << lines[i];
    EXPECT_NE(lines[i].find("counted, not printed"), std::string::npos) << lines[i];
    total += c.times;
  }
  EXPECT_EQ(ErrorCount(), total);
}

// Other connections are waited on together with the X connection: a watched
// fd's callback runs as soon as the fd can be read (or its writer has gone),
// and a callback may unwatch its own fd.
TEST_F(X11Backend, LoopWaitsOnWatchedConnectionsToo) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  int watched[2], unwatched[2];
  ASSERT_EQ(pipe(watched), 0);
  ASSERT_EQ(pipe(unwatched), 0);
  std::string received;
  int calls = 0, unwatched_calls = 0;
  desktop.Watch(watched[0], [&] {
    ++calls;
    char buffer[64];
    const ssize_t n = read(watched[0], buffer, sizeof buffer);
    if (n > 0) received.append(buffer, static_cast<size_t>(n));
    if (n == 0) desktop.Unwatch(watched[0]);  // the writer has gone
  });
  desktop.Watch(unwatched[0], [&] { ++unwatched_calls; });
  desktop.Unwatch(unwatched[0]);
  ASSERT_EQ(write(watched[1], "abc", 3), 3);
  ASSERT_EQ(write(unwatched[1], "x", 1), 1);

  // No timer runs: without the watch the loop would sleep the whole limit.
  for (int i = 0; i < 5 && received.empty(); ++i) desktop.Step(1s);
  EXPECT_EQ(received, "abc");
  EXPECT_EQ(calls, 1);
  close(watched[1]);
  for (int i = 0; i < 5 && calls < 2; ++i) desktop.Step(1s);
  EXPECT_EQ(calls, 2);
  for (int i = 0; i < 3; ++i) desktop.Step(10ms);
  EXPECT_EQ(calls, 2) << "still called after unwatching itself";
  EXPECT_EQ(unwatched_calls, 0);
  close(watched[0]);
  close(unwatched[0]);
  close(unwatched[1]);
}

TEST_F(X11Backend, ErrorBoxOverItsOwnerWaitsForItsCloseAndGoes) {
  X11Screen screen(display());
  soft::SoftGdi gdi(screen);
  X11Desktop desktop(display(), screen, gdi);
  WindowDesc desc;
  desc.title = "owner";
  desc.position = {100, 80};
  desc.client_width = 300;
  desc.client_height = 200;
  const Hwnd owner = desktop.CreateTopLevel(desc);
  desktop.ShowTopLevel(owner, true);
  // Another client (as the user would) finds the box and closes it.
  std::string seen_title;
  Window seen_owner = 0;
  Point seen_centre{};
  std::thread user([&] {
    Display* other = XOpenDisplay(nullptr);
    if (!other) return;
    const Atom name_atom = XInternAtom(other, "_NET_WM_NAME", False);
    for (int attempt = 0; attempt < 500; ++attempt) {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned count = 0;
      XQueryTree(other, DefaultRootWindow(other), &root, &parent, &children, &count);
      for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        XGetWindowAttributes(other, children[i], &attributes);
        Atom type = None;
        int format = 0;
        unsigned long items = 0, left = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(other, children[i], name_atom, 0, 256, False, AnyPropertyType, &type,
                           &format, &items, &left, &data);
        const std::string title = data ? reinterpret_cast<const char*>(data) : "";
        if (data) XFree(data);
        if (title == "Oops" && attributes.map_state == IsViewable) {
          seen_title = title;
          XGetTransientForHint(other, children[i], &seen_owner);
          seen_centre = {attributes.x + attributes.width / 2, attributes.y + attributes.height / 2};
          XEvent close{};
          close.xclient.type = ClientMessage;
          close.xclient.window = children[i];
          close.xclient.message_type = XInternAtom(other, "WM_PROTOCOLS", False);
          close.xclient.format = 32;
          close.xclient.data.l[0] =
              static_cast<long>(XInternAtom(other, "WM_DELETE_WINDOW", False));
          XSendEvent(other, children[i], False, NoEventMask, &close);
          XSync(other, False);
          XFree(children);
          XCloseDisplay(other);
          return;
        }
      }
      if (children) XFree(children);
      std::this_thread::sleep_for(10ms);
    }
    XCloseDisplay(other);
  });
  desktop.ShowError(owner, "Oops", "Run-time error '6':\n\nOverflow");
  user.join();
  EXPECT_EQ(seen_title, "Oops");
  EXPECT_EQ(seen_owner, static_cast<Window>(owner));
  EXPECT_NEAR(seen_centre.x, 250, 1);  // over the owner's centre
  EXPECT_NEAR(seen_centre.y, 180, 1);
  desktop.DestroyTopLevel(owner);
  EXPECT_EQ(gdi.LiveContexts(), 0);  // the box's drawing went with it
  EXPECT_EQ(gdi.LiveObjects(), 0);
}

}  // namespace
}  // namespace huevex::x11
