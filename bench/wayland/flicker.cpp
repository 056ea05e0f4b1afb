// A window whose color changes every few milliseconds, so that the
// compositor has a new frame to show at every refresh: what the frame-age
// measurement samples.
//
//   huevex_flicker X Y WIDTH HEIGHT PERIOD_MS
#include <X11/Xlib.h>
#include <time.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 6) return 2;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 1;
  const int screen = DefaultScreen(display);
  const int width = std::atoi(argv[3]), height = std::atoi(argv[4]);
  const Window window =
      XCreateSimpleWindow(display, RootWindow(display, screen), std::atoi(argv[1]),
                          std::atoi(argv[2]), width, height, 0, 0, 0);
  XStoreName(display, window, "flicker");
  XMapWindow(display, window);
  const GC gc = XCreateGC(display, window, 0, nullptr);
  const long period_ns = std::atol(argv[5]) * 1'000'000L;
  for (unsigned long n = 0;; ++n) {
    XSetForeground(display, gc, (n * 0x010305UL) & 0xFFFFFF);
    XFillRectangle(display, window, gc, 0, 0, width, height);
    XFlush(display);
    timespec wait{0, period_ns};
    nanosleep(&wait, nullptr);
  }
}
