// What a person sees and does that xdotool cannot show or do, for the
// end-to-end scripts:
//
//   huevex_xprobe cursor          the pointer's image now: "WIDTHxHEIGHT HOTX,HOTY",
//                                 then one row per line, "#" dark opaque,
//                                 "W" light opaque, "." transparent
//   huevex_xprobe close WINDOW    asks the window manager to close WINDOW, as
//                                 its close box does (_NET_CLOSE_WINDOW; the
//                                 manager sends the client WM_DELETE_WINDOW)
//   huevex_xprobe hold TEXT       owns the CLIPBOARD with TEXT until another
//                                 client takes it; prints "holding", then
//                                 "request TARGET" for every request served,
//                                 and "lost" at the end, each line at once
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

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

int Hold(Display* display, const char* text) {
  const Window root = DefaultRootWindow(display);
  const Window window = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
  const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
  const Atom targets = XInternAtom(display, "TARGETS", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  XSetSelectionOwner(display, clipboard, window, CurrentTime);
  if (XGetSelectionOwner(display, clipboard) != window) return 1;
  Say("holding");
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == SelectionClear) {
      Say("lost");
      return 0;
    }
    if (event.type != SelectionRequest) continue;
    const XSelectionRequestEvent& request = event.xselectionrequest;
    // Old clients name no property: the target is the property then.
    Atom property = request.property != None ? request.property : request.target;
    if (request.target == targets) {
      const Atom offered[] = {targets, utf8, XA_STRING};
      XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(offered), 3);
    } else if (request.target == utf8 || request.target == XA_STRING) {
      XChangeProperty(display, request.requestor, property, request.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(text),
                      static_cast<int>(std::strlen(text)));
    } else {
      property = None;
    }
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = property;
    reply.xselection.time = request.time;
    XSendEvent(display, request.requestor, False, NoEventMask, &reply);
    XFlush(display);
    char* name = XGetAtomName(display, request.target);
    std::printf("request %s\n", name ? name : "?");
    std::fflush(stdout);
    if (name) XFree(name);
  }
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
  } else if (argc == 3 && std::strcmp(argv[1], "hold") == 0) {
    status = Hold(display, argv[2]);
  } else if (argc == 3 && std::strcmp(argv[1], "close") == 0) {
    status = Close(display, static_cast<Window>(std::strtoul(argv[2], nullptr, 0)));
  } else {
    std::fprintf(stderr, "usage: %s cursor | close WINDOW | hold TEXT\n", argv[0]);
  }
  XCloseDisplay(display);
  return status;
}
