#include "shell/platform/x11/x11_errors.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <map>
#include <mutex>

namespace huevex::x11 {
namespace {

// Xlib calls the handler on the thread whose request failed, for any display.
std::mutex counts_mutex;

std::map<ErrorCause, std::uint64_t>& Counts() {
  static std::map<ErrorCause, std::uint64_t> counts;
  return counts;
}

int TakeError(Display* display, XErrorEvent* error) {
  const ErrorCause cause{error->error_code, error->request_code, error->minor_code};
  {
    const std::lock_guard lock(counts_mutex);
    if (++Counts()[cause] > 1) return 0;
  }
  char text[160] = {};
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr,
               "huevex: X error ignored: %s (request %d.%d, resource 0x%lx); later ones of this "
               "kind are counted, not printed\n",
               text, error->request_code, error->minor_code, error->resourceid);
  std::fflush(stderr);
  return 0;
}

}  // namespace

void InstallErrorHandler() {
  {
    const std::lock_guard lock(counts_mutex);
    Counts().clear();
  }
  XSetErrorHandler(TakeError);
}

std::uint64_t ErrorCount(const ErrorCause& cause) {
  const std::lock_guard lock(counts_mutex);
  const auto it = Counts().find(cause);
  return it == Counts().end() ? 0 : it->second;
}

std::uint64_t ErrorCount() {
  const std::lock_guard lock(counts_mutex);
  std::uint64_t total = 0;
  for (const auto& [cause, count] : Counts()) total += count;
  return total;
}

std::uint64_t ErrorCountOfRequest(int request_code) {
  const std::lock_guard lock(counts_mutex);
  std::uint64_t total = 0;
  for (const auto& [cause, count] : Counts()) {
    if (cause.request_code == request_code) total += count;
  }
  return total;
}

}  // namespace huevex::x11
