// "Another program" for the end-to-end tests: an X window of colored stripes
// that writes every mouse button event it receives to a log file.
//
//   huevex_colorboard X Y WIDTH HEIGHT RRGGBB[,RRGGBB...] LOGFILE
//
// The stripes run left to right, equally wide. "ready" goes to stdout once the
// window is mapped and painted.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT RRGGBB[,RRGGBB...] LOGFILE\n", argv[0]);
    return 2;
  }
  const int x = std::atoi(argv[1]), y = std::atoi(argv[2]);
  const int width = std::atoi(argv[3]), height = std::atoi(argv[4]);
  std::vector<unsigned long> colors;
  std::stringstream list(argv[5]);
  for (std::string item; std::getline(list, item, ',');) {
    colors.push_back(std::strtoul(item.c_str(), nullptr, 16));
  }
  FILE* log = std::fopen(argv[6], "a");
  Display* display = XOpenDisplay(nullptr);
  if (!display || !log || colors.empty()) return 1;

  const int screen = DefaultScreen(display);
  XSetWindowAttributes attributes{};
  attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
  attributes.background_pixel = BlackPixel(display, screen);
  const Window window =
      XCreateWindow(display, RootWindow(display, screen), x, y, width, height, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWEventMask | CWBackPixel, &attributes);
  XSizeHints hints{};
  hints.flags = USPosition | USSize | PPosition | PSize;
  hints.x = x;
  hints.y = y;
  hints.width = width;
  hints.height = height;
  XSetWMNormalHints(display, window, &hints);
  XStoreName(display, window, "colorboard");
  XMapWindow(display, window);
  const GC gc = XCreateGC(display, window, 0, nullptr);

  bool announced = false;
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    switch (event.type) {
      case Expose: {
        if (event.xexpose.count != 0) break;
        const int stripe = width / static_cast<int>(colors.size());
        for (size_t i = 0; i < colors.size(); ++i) {
          // TrueColor 24-bit: the pixel value is 0xRRGGBB.
          XSetForeground(display, gc, colors[i]);
          const int left = static_cast<int>(i) * stripe;
          const int right = i + 1 == colors.size() ? width : left + stripe;
          XFillRectangle(display, window, gc, left, 0, right - left, height);
        }
        XSync(display, False);
        if (!announced) {
          std::printf("ready\n");
          std::fflush(stdout);
          announced = true;
        }
        break;
      }
      case ButtonPress:
      case ButtonRelease:
        std::fprintf(log, "%s %u %d %d\n", event.type == ButtonPress ? "press" : "release",
                     event.xbutton.button, event.xbutton.x, event.xbutton.y);
        std::fflush(log);
        break;
      default:
        break;
    }
  }
}
