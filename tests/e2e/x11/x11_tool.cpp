// Small X client chores for the end-to-end tests.
//
//   huevex_x11_tool close WINDOW
//       sends WM_DELETE_WINDOW to WINDOW, as a window manager's close box does.
//   huevex_x11_tool clipboard-manager
//       a minimal clipboard manager: owns CLIPBOARD_MANAGER; on SAVE_TARGETS it
//       fetches the clipboard's UTF8_STRING from its owner, takes CLIPBOARD
//       over and serves the text from then on. Prints "ready", then
//       "saved TEXT" for each save.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Close(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  return 0;
}

void Reply(Display* display, const XSelectionRequestEvent& request, Atom property) {
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = request.requestor;
  reply.xselection.selection = request.selection;
  reply.xselection.target = request.target;
  reply.xselection.time = request.time;
  reply.xselection.property = property;
  XSendEvent(display, request.requestor, False, NoEventMask, &reply);
  XFlush(display);
}

int ClipboardManager(Display* display) {
  const Atom manager = XInternAtom(display, "CLIPBOARD_MANAGER", False);
  const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
  const Atom save_targets = XInternAtom(display, "SAVE_TARGETS", False);
  const Atom targets = XInternAtom(display, "TARGETS", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  const Atom transfer = XInternAtom(display, "HUEVEX_TOOL_TRANSFER", False);
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(display, manager, window, CurrentTime);
  if (XGetSelectionOwner(display, manager) != window) return 1;
  std::printf("ready\n");
  std::fflush(stdout);

  std::string text;
  bool have_text = false;
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type != SelectionRequest) continue;
    const XSelectionRequestEvent request = event.xselectionrequest;
    const Atom property = request.property == None ? request.target : request.property;
    if (request.selection == manager && request.target == save_targets) {
      XConvertSelection(display, clipboard, utf8, transfer, window, CurrentTime);
      XEvent answer;
      do {
        XNextEvent(display, &answer);
      } while (answer.type != SelectionNotify || answer.xselection.requestor != window);
      if (answer.xselection.property == None) {
        Reply(display, request, None);
        continue;
      }
      Atom type = None;
      int format = 0;
      unsigned long count = 0, left = 0;
      unsigned char* data = nullptr;
      XGetWindowProperty(display, window, transfer, 0, 1 << 16, True, AnyPropertyType, &type,
                         &format, &count, &left, &data);
      text.assign(data ? reinterpret_cast<const char*>(data) : "", data ? count : 0);
      if (data) XFree(data);
      have_text = true;
      XSetSelectionOwner(display, clipboard, window, CurrentTime);
      Reply(display, request, property);
      std::printf("saved %s\n", text.c_str());
      std::fflush(stdout);
    } else if (request.selection == clipboard && have_text &&
               (request.target == utf8 || request.target == XA_STRING)) {
      XChangeProperty(display, request.requestor, property, request.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(text.data()),
                      static_cast<int>(text.size()));
      Reply(display, request, property);
    } else if (request.selection == clipboard && have_text && request.target == targets) {
      const Atom list[] = {targets, utf8, XA_STRING};
      XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(list), 3);
      Reply(display, request, property);
    } else {
      Reply(display, request, None);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (!display || argc < 2) {
    std::fprintf(stderr, "usage: %s close WINDOW | clipboard-manager\n", argv[0]);
    return 2;
  }
  if (std::strcmp(argv[1], "close") == 0 && argc == 3) {
    return Close(display, static_cast<Window>(std::strtoul(argv[2], nullptr, 0)));
  }
  if (std::strcmp(argv[1], "clipboard-manager") == 0) return ClipboardManager(display);
  return 2;
}
