// Start-up time to the first window mapped: starts COMMAND and reports, in
// microseconds, when the X server maps its first top-level window. Run it
// without a window manager, so that maps of top-level windows reach the root.
//
//   huevex_mapwatch [--unmanaged] COMMAND [ARGS...]
//
// Prints "pid PID" at once and "mapped MICROSECONDS WINDOW" (or "timeout"),
// then waits for the command to end. The command's own output goes to the
// standard error, so that the standard output carries these lines only.
// The clock starts in the child just before it execs the command, on the
// monotonic clock the parent reads too.
// A top-level window that carries _NET_WM_PID counts only when that is the
// command's process, so that windows of other programs do not; one without
// it (plain Xlib and Xt programs set none) counts as the command's.
//
// --unmanaged: override-redirect windows (menus, tooltips) count too, which
// otherwise do not: on Xwayland a pick from the command line covers the
// screen with one, and from then on the crosshair follows the pointer.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

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

}  // namespace

int main(int argc, char** argv) {
  bool unmanaged = false;
  int first = 1;
  for (; first < argc && argv[first][0] == '-'; ++first) {
    if (std::strcmp(argv[first], "--unmanaged") == 0) {
      unmanaged = true;
    } else {
      break;
    }
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: %s [--unmanaged] COMMAND [ARGS...]\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 1;
  const Atom net_wm_pid = XInternAtom(display, "_NET_WM_PID", False);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
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

  pollfd connection{ConnectionNumber(display), POLLIN, 0};
  bool mapped = false;
  while (!mapped) {
    while (!mapped && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != MapNotify || (event.xmap.override_redirect && !unmanaged)) continue;
      const long long at = NowNs();
      const long pid = WindowPid(display, event.xmap.window, net_wm_pid);
      if (pid != -1 && pid != child) continue;
      std::printf("mapped %lld 0x%lx\n", (at - start) / 1000, event.xmap.window);
      std::fflush(stdout);
      mapped = true;
    }
    if (!mapped && poll(&connection, 1, 20000) <= 0) {
      std::printf("timeout\n");
      std::fflush(stdout);
      break;
    }
  }
  XCloseDisplay(display);
  int status = 0;
  waitpid(child, &status, 0);
  return 0;
}
