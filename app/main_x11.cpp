// HUEVEX on an X11 desktop: the screen, the software GDI over it, the window
// system, and the program.
#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/project.h"
#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_desktop.h"
#include "shell/platform/x11/x11_errors.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_screen.h"

namespace {

// Without its display the program has nothing left to show or serve.
int DisplayLost(Display*) {
  std::fprintf(stderr, "huevex: the connection to the X display was lost; exiting.\n");
  std::fflush(stderr);
  std::_Exit(1);
}

void ExplainNoDisplay(const char* name) {
  if (!name || !*name) {
    std::fprintf(stderr, "huevex: no X display: the DISPLAY variable is not set.\n");
  } else {
    std::fprintf(stderr, "huevex: cannot open the X display \"%s\".\n", name);
  }
  std::fprintf(stderr,
               "Run it from a desktop session, or try it on a virtual display:\n"
               "  Xvfb :99 -screen 0 1280x1024x24 &\n"
               "  DISPLAY=:99 huevex\n");
}

}  // namespace

int main() {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    ExplainNoDisplay(name);
    return 1;
  }
  huevex::x11::DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) {
    ExplainNoDisplay(name);
    return 1;
  }
  // A clipboard requestor that vanishes mid-reply must not kill the program.
  std::signal(SIGPIPE, SIG_IGN);
  huevex::x11::InstallErrorHandler();
  XSetIOErrorHandler(DisplayLost);

  huevex::x11::X11Screen screen(display.get());
  // The root window on a real X server, the compositor's capture or the desktop
  // portal on Xwayland; HUEVEX_SCREEN forces one.
  screen.ChooseSource(std::getenv("HUEVEX_SCREEN"));
  huevex::soft::SoftGdi gdi(screen);
  int status = 0;
  {
    huevex::x11::X11Desktop desktop(display.get(), screen, gdi);
    status = huevex::RunHuevex(gdi, desktop);
  }  // the desktop hands the clipboard over as it goes
  return status;
}
