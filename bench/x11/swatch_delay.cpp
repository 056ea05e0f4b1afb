// How long a pick's swatch takes to show what is under the pointer: from a
// change on the screen under a still pointer, and from a move of the pointer
// onto another color, to the server having put the new color into the
// swatch. The picking program must hold a pick with the pointer over the
// left half of this program's window.
//
//   huevex_swatch_delay WINDOW SWATCH_X SWATCH_Y X Y COUNT
//
// WINDOW is the picker's main window and SWATCH_X, SWATCH_Y a pixel of its
// swatch (client coordinates); X, Y where this program's window (two halves
// of two colors, 64 x 32) goes. Once it is mapped "ready" goes to stdout; it
// then waits until the swatch shows the left half's color (the pick is on
// it), repaints the left half COUNT times, and moves the pointer (XTest, as
// a device does) between the two halves COUNT times, each a random 20 to
// 60 ms after the swatch showed the last one. The swatch is watched with
// XDamage on WINDOW, so no polling loads the server. Prints
// "change N MEDIAN_US MAX_US LOST" and "move N MEDIAN_US MAX_US LOST".
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr unsigned long kLeft[] = {0x2080C0, 0xC08020, 0x40C060, 0x603090};
constexpr unsigned long kRight = 0xE0E040;
constexpr std::int64_t kGiveUpNs = 2'000'000'000;

std::int64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

struct Watch {
  Display* display;
  Window window;
  int x, y;
  int damage_event;

  unsigned long Swatch() {
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0UL;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
  }

  // The time the swatch was seen showing `color` (a damage event over it
  // whose pixel reads so), or -1 after kGiveUpNs.
  std::int64_t Until(unsigned long color, std::int64_t since) {
    for (;;) {
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != damage_event + XDamageNotify) continue;
        const std::int64_t at = NowNs();
        const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
        const XRectangle& a = notify.area;
        if (x < a.x || y < a.y || x >= a.x + a.width || y >= a.y + a.height) continue;
        if (Swatch() == color) return at;
      }
      const std::int64_t left = since + kGiveUpNs - NowNs();
      if (left <= 0) return -1;
      pollfd fd{ConnectionNumber(display), POLLIN, 0};
      poll(&fd, 1, static_cast<int>(left / 1'000'000) + 1);
    }
  }
};

void Report(const char* what, std::vector<std::int64_t> delays, int lost) {
  std::sort(delays.begin(), delays.end());
  const std::int64_t median = delays.empty() ? -1 : delays[delays.size() / 2] / 1000;
  const std::int64_t most = delays.empty() ? -1 : delays.back() / 1000;
  std::printf("%s %zu %lld %lld %d\n", what, delays.size(), static_cast<long long>(median),
              static_cast<long long>(most), lost);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: %s WINDOW SWATCH_X SWATCH_Y X Y COUNT\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  int damage_event = 0, damage_error = 0, major = 1, minor = 1, xtest = 0;
  if (!display || !XDamageQueryExtension(display, &damage_event, &damage_error) ||
      !XDamageQueryVersion(display, &major, &minor) ||
      !XTestQueryExtension(display, &xtest, &xtest, &major, &minor)) {
    return 1;
  }
  const auto target = static_cast<Window>(std::strtoul(argv[1], nullptr, 0));
  Watch watch{display, target, std::atoi(argv[2]), std::atoi(argv[3]), damage_event};
  const int x = std::atoi(argv[4]), y = std::atoi(argv[5]), count = std::atoi(argv[6]);

  const Window root = DefaultRootWindow(display);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window board = XCreateWindow(display, root, x, y, 64, 32, 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect, &attributes);
  const Window left = XCreateSimpleWindow(display, board, 0, 0, 32, 32, 0, 0, kLeft[0]);
  XCreateSimpleWindow(display, board, 32, 0, 32, 32, 0, 0, kRight);
  XSelectInput(display, board, StructureNotifyMask);
  XMapSubwindows(display, board);
  XMapWindow(display, board);
  for (XEvent event;
       XWindowEvent(display, board, StructureNotifyMask, &event), event.type != MapNotify;) {
  }
  XDamageCreate(display, target, XDamageReportRawRectangles);
  XSync(display, False);
  std::printf("ready\n");
  std::fflush(stdout);
  std::int64_t since = NowNs();
  while (watch.Until(kLeft[0], since) < 0) {
    if (NowNs() - since > 30'000'000'000) return 1;  // no pick came onto the left half
    since = NowNs();
  }

  std::uint32_t random = 12345;
  const auto pause = [&] {
    random = random * 1103515245 + 12345;
    timespec wait{0, (20 + static_cast<long>((random >> 16) % 41)) * 1'000'000L};
    nanosleep(&wait, nullptr);
  };
  std::vector<std::int64_t> changes, moves;
  int changes_lost = 0, moves_lost = 0;
  unsigned long shown = kLeft[0];
  for (int i = 1; i <= count; ++i) {
    pause();
    shown = kLeft[i % 4];
    XSetWindowBackground(display, left, shown);
    XClearWindow(display, left);
    const std::int64_t t0 = NowNs();
    XFlush(display);
    const std::int64_t t1 = watch.Until(shown, t0);
    if (t1 < 0) {
      ++changes_lost;
    } else {
      changes.push_back(t1 - t0);
    }
  }
  for (int i = 1; i <= count; ++i) {
    pause();
    const bool onto_right = i % 2 == 1;
    XTestFakeMotionEvent(display, DefaultScreen(display), x + (onto_right ? 48 : 16), y + 16,
                         CurrentTime);
    const std::int64_t t0 = NowNs();
    XFlush(display);
    const std::int64_t t1 = watch.Until(onto_right ? kRight : shown, t0);
    if (t1 < 0) {
      ++moves_lost;
    } else {
      moves.push_back(t1 - t0);
    }
  }
  Report("change", changes, changes_lost);
  Report("move", moves, moves_lost);
  XCloseDisplay(display);
  return 0;
}
