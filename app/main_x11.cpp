// HUEVEX on an X11 desktop: the command line, the screen, the software GDI
// over it, the window system, and the program.
#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/project.h"
#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_clipboard_server.h"
#include "shell/platform/x11/x11_desktop.h"
#include "shell/platform/x11/x11_errors.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_screen.h"

namespace {

// Without its display the program has nothing left to show or serve.
[[noreturn]] void ExitForLostDisplay(int status) {
  std::fprintf(stderr, "huevex: the connection to the X display was lost; exiting.\n");
  std::fflush(stderr);
  std::_Exit(status);
}
int DisplayLost(Display*) { ExitForLostDisplay(1); }
// A command's pick that loses it is trouble, not backed out of (status 1).
int DisplayLostDuringPick(Display*) { ExitForLostDisplay(huevex::kExitTrouble); }

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

void Say(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void Trouble(std::string_view text) { Say(stderr, "huevex: " + std::string(text) + "\n"); }

}  // namespace

int main(int argc, char** argv) {
  // The program started again to keep a command's pick on the clipboard.
  if (argc == 2 && argv[0] == huevex::x11::kClipboardServerName) {
    return huevex::x11::ServeClipboard(argv[1]);
  }
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const huevex::CommandLine line = huevex::ParseCommandLine(args, false);
  const huevex::Output output{[](std::string_view text) { Say(stdout, text); }, Trouble};
  if (const std::optional<int> status = huevex::AnswerAtOnce(line, false, output)) return *status;
  const bool pick = line.action == huevex::CommandLine::Action::Pick;

  const char* name = std::getenv("DISPLAY");
  huevex::x11::DisplayPtr display(name && *name ? XOpenDisplay(nullptr) : nullptr);
  if (!display) {
    if (!pick) {
      ExplainNoDisplay(name);
      return 1;
    }
    // A script wants one line.
    Trouble(!name || !*name ? "no X display: the DISPLAY variable is not set"
                            : "cannot open the X display \"" + std::string(name) + "\"");
    return huevex::kExitTrouble;
  }
  // A clipboard requestor that vanishes mid-reply must not kill the program.
  std::signal(SIGPIPE, SIG_IGN);
  huevex::x11::InstallErrorHandler();
  XSetIOErrorHandler(pick ? DisplayLostDuringPick : DisplayLost);

  const std::optional<huevex::Shortcut> shortcut = huevex::ShortcutFor(line, output);

  huevex::x11::X11Screen screen(display.get());
  // The root window on a real X server, the compositor's capture or the desktop
  // portal on Xwayland; HUEVEX_SCREEN forces one.
  screen.ChooseSource(std::getenv("HUEVEX_SCREEN"));
  huevex::soft::SoftGdi gdi(screen);
  int status = 0;
  {
    huevex::x11::X11Desktop desktop(display.get(), screen, gdi);
    // A script pastes the code after the command has returned.
    if (pick) desktop.KeepClipboardAfterExit();
    status = huevex::RunHuevex(gdi, desktop, line.action, shortcut, output);
  }  // the desktop hands the clipboard over as it goes
  return status;
}
