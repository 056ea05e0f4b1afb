// Where the screen's pixels come from, chosen once at start-up. On a real X
// server it is the root window, which X11Screen reads itself. On Xwayland
// (GNOME, KDE, sway and the other Wayland desktops) a read of the root fails,
// so the pixels come from the compositor's capture or the desktop portal's
// screenshot, through the capture module (huevex-wayland.so, capture_abi.h),
// loaded only then: a program on a real X server maps none of the Wayland
// libraries. HUEVEX_SCREEN=x11|screencopy|portal forces a source.
//
// WaylandScreen drives the module: the loop polls its descriptors and
// deadline (Pollable); capturing is wanted from the start of a pick, or from
// the first read outside one (the magnifier's), until nothing has read for
// kLinger and no pick holds the pointer, so that nothing is captured and
// nothing wakes at rest. Other presses (a button, a code box) ask for nothing.
// A read never waits for a frame: without a current one it fails, and the
// program keeps the swatch as it was.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "shell/platform/platform.h"
#include "shell/platform/wayland/capture_abi.h"
#include "shell/platform/x11/x11_poll.h"

namespace huevex::x11 {

enum class ScreenSourceKind { X11, Screencopy, Screencast, Portal, Auto };

struct ScreenSourceChoice {
  ScreenSourceKind kind = ScreenSourceKind::X11;
  // HUEVEX_SCREEN named none of the sources: said once on stderr, then taken as unset.
  bool unknown = false;
};

// From HUEVEX_SCREEN (null when unset) and whether the X server is Xwayland.
ScreenSourceChoice ChooseScreenSource(const char* forced, bool xwayland);
// Whether the display is Xwayland: it has the XWAYLAND extension, or a Wayland
// session is around it (WAYLAND_DISPLAY).
bool IsXwayland(Display* display);
// The module's name for a Wayland source.
const char* ModuleKind(ScreenSourceKind kind);

// Whether the screen can be read, as the user is to be told: once when it
// cannot, with the reason, once when the desktop's question stays open, and
// once when it can again.
struct AccessNotice {
  ScreenAccess access = ScreenAccess::Readable;
  std::string reason;
};

// The capture module's file, loaded, and its table: shared by the source
// open in it and the shortcut, and unloaded when the last of them goes.
class CaptureLibrary {
 public:
  // Beside the program, then in its library folder; null, with why for the
  // user, when it cannot be had.
  static std::shared_ptr<CaptureLibrary> Load(std::string* why);
  // A table the caller made (tests); nothing to unload.
  explicit CaptureLibrary(const huevex_capture_api* api) : CaptureLibrary(nullptr, api) {}
  ~CaptureLibrary();
  CaptureLibrary(const CaptureLibrary&) = delete;
  CaptureLibrary& operator=(const CaptureLibrary&) = delete;

  const huevex_capture_api& api() const { return *api_; }

 private:
  CaptureLibrary(void* library, const huevex_capture_api* api) : library_(library), api_(api) {}

  void* library_;
  const huevex_capture_api* api_;
};

// One source open in the module; it goes with it.
class CaptureModule {
 public:
  // Opens `kind`; null, with why for the user, when it cannot be had.
  static std::unique_ptr<CaptureModule> Open(std::shared_ptr<CaptureLibrary> library,
                                             const char* kind, std::string* why);
  // A table and source the caller made (tests).
  CaptureModule(const huevex_capture_api* api, huevex_capture* capture)
      : CaptureModule(std::make_shared<CaptureLibrary>(api), capture) {}
  CaptureModule(std::shared_ptr<CaptureLibrary> library, huevex_capture* capture)
      : library_(std::move(library)), capture_(capture) {}
  ~CaptureModule();
  CaptureModule(const CaptureModule&) = delete;
  CaptureModule& operator=(const CaptureModule&) = delete;

  const huevex_capture_api& api() const { return library_->api(); }
  huevex_capture* capture() const { return capture_; }

 private:
  std::shared_ptr<CaptureLibrary> library_;
  huevex_capture* capture_;
};

class WaylandScreen : public Pollable {
 public:
  // How long capturing stays wanted after the last read outside a pick, or
  // after the pick: longer than the magnifier's slowest frames (250 ms).
  static constexpr std::chrono::milliseconds kLinger{500};
  using Tell = std::function<void(const AccessNotice&)>;

  // `tell` hears of every state that says whether the screen can be read.
  WaylandScreen(std::unique_ptr<CaptureModule> module, Tell tell,
                std::chrono::milliseconds linger = kLinger);
  ~WaylandScreen() override;
  WaylandScreen(const WaylandScreen&) = delete;
  WaylandScreen& operator=(const WaylandScreen&) = delete;

  // Reads X root pixels from the newest frame; false when there is none that
  // is current (none yet, a snapshot being replaced, a source that failed).
  // `captured_ns`, where asked for: when the oldest frame read was taken
  // (CLOCK_MONOTONIC).
  bool Read(Rect block, std::uint32_t* out, std::int64_t* captured_ns = nullptr);
  // The pointer grab was taken (true) or let go: while it is held, capturing
  // that is wanted stays wanted.
  void Grabbed(bool held);
  // A pick started: frames are wanted, and a snapshot source takes a new one.
  void PickStarted();
  // Whether the last state the module told was ASKING or STILL_ASKING.
  bool AwaitsAnswer() const { return asking_; }
  // Where the pointer's picture may lie now (root pixels; empty: nowhere known).
  void SetPointer(Rect area);
  void SetRootSize(int width, int height);
  const char* Kind() const;

  int PollFds(pollfd* fds, int max) override;
  std::optional<Clock::time_point> Deadline() override;
  void Dispatch() override;

 private:
  void Want(bool wanted);
  void Note(int state);
  std::optional<Clock::time_point> LingerEnd() const;

  std::unique_ptr<CaptureModule> module_;
  const huevex_capture_api& api_;
  huevex_capture* capture_;
  Tell tell_;
  std::chrono::milliseconds linger_;
  bool wanted_ = false;
  bool asking_ = false;
  bool grabbed_ = false;
  Clock::time_point last_read_{};
};

}  // namespace huevex::x11
