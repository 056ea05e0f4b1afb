#include "shell/platform/x11/x11_clipboard_server.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "shell/platform/x11/x11_atoms.h"
#include "shell/platform/x11/x11_clipboard.h"
#include "shell/platform/x11/x11_errors.h"
#include "shell/platform/x11/x11_handles.h"

extern char** environ;

namespace huevex::x11 {
namespace {

// The program's own file. Its path, where it still names it, so that the
// server shows as "huevex" in process lists; else (the file was replaced
// since the start) the running program's file through /proc.
std::string OwnFile() {
  char path[PATH_MAX];
  const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
  if (size > 0) {
    path[size] = '\0';
    if (access(path, X_OK) == 0) return path;
  }
  return "/proc/self/exe";
}

// Without its display the server has nothing left to serve.
int DisplayGone(Display*) { std::_Exit(0); }

}  // namespace

bool StartClipboardServer(std::string_view text) {
  const std::string file = OwnFile();
  std::string name(kClipboardServerName), argument(text);
  char* argv[] = {name.data(), argument.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDWR, 0);
  posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, file.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0;
}

int ServeClipboard(std::string_view text) {
  // A requestor that vanishes mid-reply must not end the server.
  std::signal(SIGPIPE, SIG_IGN);
  const DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return 1;
  InstallErrorHandler();
  XSetIOErrorHandler(DisplayGone);
  const Atoms atoms(display.get());
  ClipboardOwner owner(display.get(), atoms);
  if (!owner.Own(text, CurrentTime)) return 1;
  owner.ServeUntilTaken(std::nullopt);
  return 0;
}

}  // namespace huevex::x11
