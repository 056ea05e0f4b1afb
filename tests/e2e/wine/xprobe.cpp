// What a person sees and does that xdotool cannot show or do, for the
// end-to-end scripts:
//
//   huevex_xprobe cursor          the pointer's image now: "WIDTHxHEIGHT HOTX,HOTY",
//                                 then one row per line, "#" dark opaque,
//                                 "W" light opaque, "." transparent
//   huevex_xprobe close WINDOW    asks the window manager to close WINDOW, as
//                                 its close box does (_NET_CLOSE_WINDOW; the
//                                 manager sends the client WM_DELETE_WINDOW)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int PrintCursor(Display* display) {
  int event_base = 0, error_base = 0;
  if (!XFixesQueryExtension(display, &event_base, &error_base)) {
    std::fprintf(stderr, "no XFIXES extension\n");
    return 1;
  }
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (!image) return 1;
  std::printf("%dx%d %d,%d\n", image->width, image->height, image->xhot, image->yhot);
  for (int y = 0; y < image->height; ++y) {
    std::string row;
    for (int x = 0; x < image->width; ++x) {
      // Premultiplied ARGB, one pixel per unsigned long.
      const unsigned long pixel = image->pixels[y * image->width + x];
      const unsigned alpha = (pixel >> 24) & 0xFF;
      const unsigned light = ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF);
      row += alpha < 128 ? '.' : light >= 3 * 128 ? 'W' : '#';
    }
    std::printf("%s\n", row.c_str());
  }
  XFree(image);
  return 0;
}

int Close(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = CurrentTime;
  event.xclient.data.l[1] = 2;  // from a pager or taskbar: a direct user action
  const Window root = DefaultRootWindow(display);
  XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XSync(display, False);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "cannot open display\n");
    return 1;
  }
  int status = 2;
  if (argc == 2 && std::strcmp(argv[1], "cursor") == 0) {
    status = PrintCursor(display);
  } else if (argc == 3 && std::strcmp(argv[1], "close") == 0) {
    status = Close(display, static_cast<Window>(std::strtoul(argv[2], nullptr, 0)));
  } else {
    std::fprintf(stderr, "usage: %s cursor | close WINDOW\n", argv[0]);
  }
  XCloseDisplay(display);
  return status;
}
