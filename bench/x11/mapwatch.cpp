// Start-up time to the first window mapped: starts COMMAND and reports, in
// microseconds, when the X server maps its first top-level window. Run it
// without a window manager, so that maps of top-level windows reach the root.
//
//   huevex_mapwatch [--cursor] [--keys KEY+KEY...] [--unmanaged] COMMAND [ARGS...]
//
// Prints "pid PID" at once and "mapped MICROSECONDS WINDOW" (or "timeout"
// after 20 s), then waits for the command to end; a command that ends first
// is waited for no longer. The command's own output goes to the
// standard error, so that the standard output carries these lines only.
// The clock starts in the child just before it execs the command, on the
// monotonic clock the parent reads too.
// A top-level window that carries _NET_WM_PID counts only when that is the
// command's process, so that windows of other programs do not; one without
// it (plain Xlib and Xt programs set none) counts as the command's.
//
// --cursor: also "cursor MICROSECONDS" from the exec to the first change of
// the pointer's image on the screen (XFIXES), such as a grab's cursor:
// for a pick from the command line, the crosshair following the pointer.
// --keys: once the window is mapped (and a moment later, so that the
// program has taken its shortcut), types the chord (keysym names joined
// by "+", XTest) and prints "keys MICROSECONDS" from the press of its last
// key to the pointer's next change: for a shortcut, to the crosshair.
// --unmanaged: override-redirect windows (menus, tooltips) count too, which
// otherwise do not: on Xwayland a pick from the command line covers the
// screen with one, and from then on the crosshair follows the pointer.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

namespace {

long long NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// The window's _NET_WM_PID, or -1 when it has none.
long WindowPid(Display* display, Window window, Atom net_wm_pid) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  long pid = -1;
  if (XGetWindowProperty(display, window, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format,
                         &count, &after, &data) == Success &&
      data && format == 32 && count == 1) {
    pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
  }
  if (data) XFree(data);
  return pid;
}

std::vector<KeyCode> Chord(Display* display, const std::string& keys) {
  std::vector<KeyCode> codes;
  std::istringstream names(keys);
  for (std::string name; std::getline(names, name, '+');) {
    codes.push_back(XKeysymToKeycode(display, XStringToKeysym(name.c_str())));
  }
  return codes;
}

}  // namespace

int main(int argc, char** argv) {
  bool cursor = false, unmanaged = false;
  const char* keys = nullptr;
  int first = 1;
  for (; first < argc && argv[first][0] == '-'; ++first) {
    if (std::strcmp(argv[first], "--cursor") == 0) {
      cursor = true;
    } else if (std::strcmp(argv[first], "--unmanaged") == 0) {
      unmanaged = true;
    } else if (std::strcmp(argv[first], "--keys") == 0 && first + 1 < argc) {
      keys = argv[++first];
    } else {
      break;
    }
  }
  if (first >= argc) {
    std::fprintf(stderr,
                 "usage: %s [--cursor] [--keys KEY+KEY...] [--unmanaged] COMMAND [ARGS...]\n",
                 argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 1;
  const Atom net_wm_pid = XInternAtom(display, "_NET_WM_PID", False);
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  int cursor_event = -1, error_base = 0;
  if ((cursor || keys) && XFixesQueryExtension(display, &cursor_event, &error_base)) {
    XFixesSelectCursorInput(display, root, XFixesDisplayCursorNotifyMask);
    cursor_event += XFixesCursorNotify;
  }
  XSync(display, False);

  int clock_pipe[2];
  if (pipe(clock_pipe) != 0) return 1;
  const pid_t child = fork();
  if (child == 0) {
    close(clock_pipe[0]);
    const long long start = NowNs();
    if (write(clock_pipe[1], &start, sizeof start) != sizeof start) _exit(126);
    close(clock_pipe[1]);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execvp(argv[first], argv + first);
    _exit(127);
  }
  close(clock_pipe[1]);
  long long start = 0;
  if (read(clock_pipe[0], &start, sizeof start) != sizeof start) start = NowNs();
  close(clock_pipe[0]);
  std::printf("pid %d\n", static_cast<int>(child));
  std::fflush(stdout);

  // What is still awaited, each printed once it comes.
  bool mapped = false, cursor_seen = !cursor, keys_done = !keys;
  long long typed = 0;  // when the chord's last key went down
  std::vector<KeyCode> chord;
  pollfd connection{ConnectionNumber(display), POLLIN, 0};
  int status = 0;
  bool ended = false;
  while (!mapped || !cursor_seen || !keys_done) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      const long long at = NowNs();
      if (event.type == cursor_event) {
        if (!cursor_seen) {
          std::printf("cursor %lld\n", (at - start) / 1000);
          cursor_seen = true;
        } else if (typed != 0 && !keys_done) {
          std::printf("keys %lld\n", (at - typed) / 1000);
          keys_done = true;
          for (auto key = chord.rbegin(); key != chord.rend(); ++key) {
            XTestFakeKeyEvent(display, *key, False, CurrentTime);
          }
          XFlush(display);
        }
      } else if (event.type == MapNotify && !mapped &&
                 (!event.xmap.override_redirect || unmanaged)) {
        const long pid = WindowPid(display, event.xmap.window, net_wm_pid);
        if (pid != -1 && pid != child) continue;
        std::printf("mapped %lld 0x%lx\n", (at - start) / 1000, event.xmap.window);
        mapped = true;
      }
      std::fflush(stdout);
    }
    if (mapped && cursor_seen && !keys_done && typed == 0) {
      usleep(300000);
      chord = Chord(display, keys);
      for (size_t i = 0; i < chord.size(); ++i) {
        if (i + 1 == chord.size()) typed = NowNs();
        XTestFakeKeyEvent(display, chord[i], True, CurrentTime);
      }
      XFlush(display);
      continue;
    }
    if (poll(&connection, 1, 100) > 0) continue;
    // A command that maps no window (a picker that only grabs the pointer)
    // is not waited for once it has ended.
    if (waitpid(child, &status, WNOHANG) == child) {
      ended = true;
      break;
    }
    if (NowNs() - start > 20000000000LL) {
      std::printf("timeout\n");
      std::fflush(stdout);
      break;
    }
  }
  XCloseDisplay(display);
  if (!ended) waitpid(child, &status, 0);
  return 0;
}
