// Start-up time to the first window mapped: starts COMMAND and reports, in
// microseconds, when the X server maps its first top-level window. Run it
// without a window manager, so that maps of top-level windows reach the root.
//
//   huevex_mapwatch COMMAND [ARGS...]
//
// Prints "pid PID" at once and "mapped MICROSECONDS" (or "timeout"), then
// waits for the command to end.
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s COMMAND [ARGS...]\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 1;
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  std::printf("pid %d\n", static_cast<int>(child));
  std::fflush(stdout);
  pollfd connection{ConnectionNumber(display), POLLIN, 0};
  bool mapped = false;
  while (!mapped) {
    while (!mapped && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && !event.xmap.override_redirect) {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        std::printf("mapped %lld\n",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()));
        std::fflush(stdout);
        mapped = true;
      }
    }
    if (!mapped && poll(&connection, 1, 10000) <= 0) {
      std::printf("timeout\n");
      std::fflush(stdout);
      break;
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  return 0;
}
