#include "shell/platform/x11/x11_screen_source.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string_view>

namespace huevex::x11 {
namespace {

// The module's folder relative to the program's once installed (from
// ${bindir} to ${libdir}/huevex), set by the build.
#ifndef HUEVEX_MODULE_DIR_FROM_PROGRAM
#define HUEVEX_MODULE_DIR_FROM_PROGRAM "../lib/huevex"
#endif

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  const std::string_view exe(path, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  return slash == std::string_view::npos ? "." : std::string(exe.substr(0, slash));
}

}  // namespace

// Choosing.

ScreenSourceChoice ChooseScreenSource(const char* forced, bool xwayland) {
  const std::string_view value = forced ? forced : "";
  if (value == "x11") return {ScreenSourceKind::X11, false};
  if (value == "screencopy") return {ScreenSourceKind::Screencopy, false};
  if (value == "screencast") return {ScreenSourceKind::Screencast, false};
  if (value == "portal") return {ScreenSourceKind::Portal, false};
  const bool unknown = !value.empty();
  return {xwayland ? ScreenSourceKind::Auto : ScreenSourceKind::X11, unknown};
}

bool IsXwayland(Display* display) {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && *wayland) return true;
  int opcode = 0, event = 0, error = 0;
  return XQueryExtension(display, "XWAYLAND", &opcode, &event, &error);
}

const char* ModuleKind(ScreenSourceKind kind) {
  switch (kind) {
    case ScreenSourceKind::Screencopy:
      return "screencopy";
    case ScreenSourceKind::Screencast:
      return "screencast";
    case ScreenSourceKind::Portal:
      return "portal";
    case ScreenSourceKind::Auto:
    case ScreenSourceKind::X11:
      break;
  }
  return "auto";
}

// Loading.

std::shared_ptr<CaptureLibrary> CaptureLibrary::Load(std::string* why) {
  const std::string folder = ProgramFolder();
  void* library = nullptr;
  std::string error;
  for (const std::string& path :
       {folder + "/" HUEVEX_CAPTURE_MODULE,
        folder + "/" HUEVEX_MODULE_DIR_FROM_PROGRAM "/" HUEVEX_CAPTURE_MODULE}) {
    // Only a file that is there counts: what went wrong with it is the reason.
    if (access(path.c_str(), F_OK) != 0) continue;
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library) break;
    const char* text = dlerror();
    error = text ? text : path;
  }
  if (!library) {
    *why = error.empty() ? "its screen capture module (" HUEVEX_CAPTURE_MODULE ") is not installed"
                         : "its screen capture module could not be loaded: " + error;
    return nullptr;
  }
  const auto entry =
      reinterpret_cast<huevex_capture_entry_fn>(dlsym(library, HUEVEX_CAPTURE_ENTRY));
  const huevex_capture_api* api = entry ? entry(HUEVEX_CAPTURE_ABI_VERSION) : nullptr;
  if (!api || api->size < sizeof(huevex_capture_api)) {
    dlclose(library);
    *why = "its screen capture module is of another version than the program";
    return nullptr;
  }
  return std::shared_ptr<CaptureLibrary>(new CaptureLibrary(library, api));
}

CaptureLibrary::~CaptureLibrary() {
  if (library_) dlclose(library_);
}

std::unique_ptr<CaptureModule> CaptureModule::Open(std::shared_ptr<CaptureLibrary> library,
                                                   const char* kind, std::string* why) {
  char reason[256] = {};
  const huevex_capture_options options{sizeof(huevex_capture_options), 0};
  huevex_capture* capture = library->api().open(kind, &options, reason, sizeof reason);
  if (!capture) {
    *why = reason;
    return nullptr;
  }
  return std::make_unique<CaptureModule>(std::move(library), capture);
}

CaptureModule::~CaptureModule() { api().close(capture_); }

// Driving it.

WaylandScreen::WaylandScreen(std::unique_ptr<CaptureModule> module, Tell tell,
                             std::chrono::milliseconds linger)
    : module_(std::move(module)),
      api_(module_->api()),
      capture_(module_->capture()),
      tell_(std::move(tell)),
      linger_(linger) {
  Note(api_.state(capture_, nullptr, 0));
}

WaylandScreen::~WaylandScreen() = default;

const char* WaylandScreen::Kind() const { return api_.kind(capture_); }

void WaylandScreen::SetRootSize(int width, int height) {
  api_.set_root_size(capture_, width, height);
}

bool WaylandScreen::Read(Rect block, std::uint32_t* out, std::int64_t* captured_ns) {
  last_read_ = Clock::now();
  if (!wanted_) Want(true);  // the magnifier's first frame, say
  huevex_capture_frame_info info{};
  const int result =
      api_.read(capture_, block.left, block.top, block.Width(), block.Height(), out, &info);
  if (captured_ns) *captured_ns = info.captured_ns;
  // A snapshot kept while the next is awaited is not the screen as it is.
  return result == HUEVEX_READ_OK && !info.stale;
}

void WaylandScreen::Grabbed(bool held) {
  grabbed_ = held;
  last_read_ = Clock::now();
}

void WaylandScreen::PickStarted() {
  last_read_ = Clock::now();
  // A pick reads the screen as it is when it starts: the portal's screenshot
  // is taken anew even while the magnifier keeps capturing wanted. The kind
  // is asked each time, since a source may fall back to the screenshot.
  if (wanted_ && std::string_view(api_.kind(capture_)) == "portal") Want(false);
  Want(true);
}

void WaylandScreen::SetPointer(Rect area) {
  api_.set_pointer(capture_, area.left, area.top, area.Width(), area.Height());
}

void WaylandScreen::Want(bool wanted) {
  wanted_ = wanted;
  Note(api_.set_wanted(capture_, wanted ? 1 : 0));
}

void WaylandScreen::Note(int state) {
  asking_ = state == HUEVEX_CAPTURE_ASKING || state == HUEVEX_CAPTURE_STILL_ASKING;
  if (state == HUEVEX_CAPTURE_REFUSED || state == HUEVEX_CAPTURE_FAILED) {
    char reason[256] = {};
    api_.state(capture_, reason, sizeof reason);
    tell_({ScreenAccess::Unreadable, reason});
  } else if (state == HUEVEX_CAPTURE_STILL_ASKING) {
    tell_({ScreenAccess::StillAsking, ""});
  } else if (state == HUEVEX_CAPTURE_LIVE) {
    tell_({ScreenAccess::Readable, ""});
  }
}

int WaylandScreen::PollFds(pollfd* fds, int max) { return api_.poll_fds(capture_, fds, max); }

std::optional<Pollable::Clock::time_point> WaylandScreen::LingerEnd() const {
  if (!wanted_ || grabbed_) return std::nullopt;
  return last_read_ + linger_;
}

std::optional<Pollable::Clock::time_point> WaylandScreen::Deadline() {
  std::optional<Clock::time_point> due = LingerEnd();
  const int ms = api_.timeout_ms(capture_);
  if (ms >= 0) {
    const auto module_due = Clock::now() + std::chrono::milliseconds(ms);
    if (!due || module_due < *due) due = module_due;
  }
  return due;
}

void WaylandScreen::Dispatch() {
  Note(api_.dispatch(capture_));
  const std::optional<Clock::time_point> linger_end = LingerEnd();
  if (linger_end && Clock::now() >= *linger_end) Want(false);
}

}  // namespace huevex::x11
