// The screen as the software GDI reads it. The pointer position comes from
// XQueryPointer, or, while the program holds the pointer grab, from the grab's
// own motion events, which saves a round trip on every sampling tick; outside
// a grab a pointer at rest is not asked about again until it moves
// (PointerWatch). Pixels come from the source chosen at start-up
// (x11_screen_source): on a real X server the root window, through XGetImage
// (XShmGetImage for large blocks where MIT-SHM works), with the block clamped
// to the screen so that no read can fail with BadMatch, pixels off the screen
// reading black, as do those in the gaps between monitors; on Xwayland the
// capture module. While the pointer is grabbed, a read of the root window
// that nothing has changed since is answered from memory (x11_read_cache).
// A change in whether the
// screen can be read waits in TakeNotice for the loop to tell the program.
#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_monitors.h"
#include "shell/platform/x11/x11_pixels.h"
#include "shell/platform/x11/x11_pointer_watch.h"
#include "shell/platform/x11/x11_read_cache.h"
#include "shell/platform/x11/x11_screen_source.h"

namespace huevex::x11 {

// Where the pick's pointer picture may lie in a captured frame: the cursor's
// box around the hot spot at `at`, a pixel larger all round (Xwayland has
// been seen to put its pointer a pixel above and left of where the compositor
// draws it).
Rect PointerBox(Point at, Rect cursor);

class X11Screen : public soft::ScreenSource {
 public:
  // Blocks of at least this many pixels go through shared memory.
  static constexpr int kShmMinPixels = 4096;

  explicit X11Screen(Display* display);
  ~X11Screen() override;
  X11Screen(const X11Screen&) = delete;
  X11Screen& operator=(const X11Screen&) = delete;

  // Chooses where pixels come from (`forced`: HUEVEX_SCREEN, null when unset)
  // and opens it; what cannot be had is told through TakeNotice.
  void ChooseSource(const char* forced);
  // Whether the server is Xwayland (as ChooseSource found).
  bool Xwayland() const { return xwayland_; }
  // The capture module on Xwayland, loaded once, by the source's choice or
  // at the first ask (the shortcut's); null elsewhere or when it cannot be had.
  std::shared_ptr<CaptureLibrary> Module();
  // The source's connection for the loop to poll; null for the root window.
  Pollable* Connection() { return wayland_.get(); }
  // The pick's pointer grab was taken (true) or let go.
  void Grabbed(bool held);
  // The box the grab's cursor covers around the hot spot; none when unknown.
  // A grab that takes a cursor of ours is a pick.
  void GrabCursor(std::optional<Rect> box);
  // Whether the desktop is asking the user if the screen may be read.
  bool AwaitsAnswer() const { return wayland_ && wayland_->AwaitsAnswer(); }
  // A change in whether the screen can be read, not yet told to the program;
  // none before the program has first read the screen (nor, with `only`,
  // one of another kind).
  std::optional<AccessNotice> TakeNotice(std::optional<ScreenAccess> only = std::nullopt);

  bool CursorPos(Point* point) override;
  // Moves the pointer (XWarpPointer). On Xwayland, whose warps move only X's
  // idea of the pointer until the real one next moves, the point moves instead
  // as an offset from the pointer that lasts until the grab ends; `on_offset`
  // hears of it, so that the pointer's picture can show where the point is.
  bool WarpCursor(Point point) override;
  void OnOffset(std::function<void(Point)> on_offset) { on_offset_ = std::move(on_offset); }
  bool OnScreen(Point point) override;
  bool Read(Rect block, std::uint32_t* out) override;
  // A pick's reads would only be answered again from memory: the pointer
  // has not moved and nothing on screen has changed since they were made.
  bool Settled() const { return followed_.has_value() && cache_.Settled(); }
  // Keeps the screen as it is now (the whole root, read from the source) and
  // gives reads from that picture until Thaw; false while the source has no
  // picture of it taken at `not_before_ns` (CLOCK_MONOTONIC) or later.
  bool Freeze(std::int64_t not_before_ns);
  void Thaw() { frozen_.reset(); }
  const soft::Bitmap* Frozen() const { return frozen_ ? &*frozen_ : nullptr; }
  // Takes the events that tell of the pointer's movement.
  bool Handle(XEvent& event);
  // The monitors (x11_monitors): pixels on none of them read black.
  const std::vector<MonitorInfo>& Monitors() { return monitors_.Get(Bounds()); }
  // Takes RandR's screen change event: true for it, the monitors having changed.
  bool MonitorsChanged(const XEvent& event);

  // Where the grabbed pointer is, as its events report it; none when the
  // program does not hold the pointer and must ask the server.
  void FollowPointer(std::optional<Point> position);
  void SetSize(int width, int height);
  Rect Bounds() const { return {0, 0, width_, height_}; }
  const PixelFormat& format() const { return format_; }

 private:
  bool ReadRoot(Rect block, std::uint32_t* out);
  bool ReadPlain(Rect area, Rect block, std::uint32_t* out);
  bool ShmWorks();
  bool ReadShm(Rect area, Rect block, std::uint32_t* out);
  void Convert(XImage* image, Rect area, Rect block, std::uint32_t* out);
  void BlankOffMonitors(Rect block, std::uint32_t* out);
  void Tell(const AccessNotice& notice);
  void TellPointer();
  // The backend's tests turn shared memory off to compare both ways of reading.
  friend struct ScreenForTests;

  Display* display_;
  Window root_;
  int width_;
  int height_;
  PixelFormat format_;
  bool true_color_ = true;
  // Whether MIT-SHM works, asked at the first read large enough to use it: a
  // start-up asks the server nothing it does not need.
  std::optional<bool> shm_;
  std::unique_ptr<ShmImage> shm_image_;
  std::optional<Point> followed_;
  Point offset_;  // the nudge from the grabbed pointer, on Xwayland
  std::function<void(Point)> on_offset_;
  std::optional<Rect> cursor_;  // the grab's cursor around the hot spot
  PointerWatch pointer_watch_;
  ReadCache cache_;  // the reads of a pick, while nothing changes
  MonitorList monitors_;
  bool xwayland_ = false;
  std::optional<std::shared_ptr<CaptureLibrary>> module_;  // none: not loaded yet
  std::unique_ptr<WaylandScreen> wayland_;
  std::optional<soft::Bitmap> frozen_;
  bool unreadable_ = false;  // a Wayland source was to be used and cannot be had
  ScreenAccess told_ = ScreenAccess::Readable;
  bool read_once_ = false;
  std::optional<AccessNotice> notice_;
};

}  // namespace huevex::x11
