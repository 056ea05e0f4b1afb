// The parts of the compositor capture (screencopy.h) that its files share:
// an output as the compositor describes it and the captures of it, and the
// source that drives them. The registry and the outputs' descriptions are
// in screencopy_outputs.cpp, each capture protocol in a file of its own
// (screencopy_ext.cpp, screencopy_wlr.cpp), the rest in screencopy.cpp.
#pragma once

#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "shell/platform/wayland/capture_book.h"
#include "shell/platform/wayland/clean_frame.h"
#include "shell/platform/wayland/output_map.h"
#include "shell/platform/wayland/shm_buffer.h"
#include "shell/platform/wayland/source.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace huevex::wayland::copy {

inline constexpr const char* kLost = "the connection to the Wayland compositor was lost";
inline constexpr const char* kRejected = "the Wayland compositor rejected a screen capture request";
inline constexpr const char* kNoCapture = "the compositor offers no screen capture to programs";
inline constexpr const char* kCaptureFails = "the compositor failed to capture the screen";
inline constexpr const char* kNoFormat =
    "the compositor offers the screen's pixels only in a form HUEVEX cannot read";
inline constexpr const char* kNoMemory = "there is not enough memory to capture the screen";

// How an output lies in the layout, as its last done event completed it.
struct Geometry {
  std::int32_t x = 0, y = 0;  // wl_output's idea of the place
  std::int32_t mode_width = 0, mode_height = 0;
  std::int32_t scale = 1;
  std::uint32_t transform = 0;
  bool has_logical = false;  // xdg-output told the logical place and size
  Rect logical;
  friend bool operator==(const Geometry&, const Geometry&) = default;

  // The logical rectangle, from xdg-output, else worked out from the mode.
  Rect Place() const {
    if (has_logical) return logical;
    const bool swap = (transform & 1) != 0;
    const int s = std::max(scale, 1);
    return {x, y, x + (swap ? mode_height : mode_width) / s,
            y + (swap ? mode_width : mode_height) / s};
  }
};

// What the compositor said buffers for the capture in flight must be.
struct BufferShape {
  std::uint32_t format = 0;
  int width = 0, height = 0, stride = 0;
  bool readable = false;  // a format reads understand was offered
};

// How the frame in a buffer lies.
struct SlotFrame {
  std::uint32_t transform = 0;
  bool y_invert = false;
};

class Screencopy;

struct Output {
  Screencopy* owner = nullptr;
  std::uint32_t name = 0;  // the registry's
  wl_output* output = nullptr;
  zxdg_output_v1* xdg = nullptr;
  Geometry told, current;
  bool known = false;  // a done event completed the geometry once

  // Captures: wlr-screencopy's frame, or ext-image-copy-capture's session and frame.
  zwlr_screencopy_frame_v1* wlr_frame = nullptr;
  ext_image_capture_source_v1* ext_source = nullptr;
  ext_image_copy_capture_session_v1* session = nullptr;
  ext_image_copy_capture_frame_v1* ext_frame = nullptr;
  BufferShape offered, session_shape;  // the session's constraints as told, as completed
  bool session_ready = false;
  int shapes_told = 0;   // the session's done events so far
  int shape_in_use = 0;  // the one the frame in flight was made for

  // The capture in flight.
  int slot = -1;
  SlotFrame in_flight;
  std::int64_t presented_ns = 0;
  std::vector<Rect> damage;  // what changed since the frame before, buffer pixels
  bool damage_known = false;

  std::unique_ptr<ShmBuffer> buffers[2];
  SlotFrame frames[2];
  CaptureBook book;
  CleanFrame clean;           // what reads use: the frames without the pointer
  Rect swept;                 // the root area the pointer has been over since the last frame
  bool damaged_only = false;  // later wlr captures wait for a change
  bool start_pending = false;

  ~Output();
  // The newest frame as finished; reads use the clean copy of it.
  FrameView Front() const {
    const int s = book.ReadSlot();
    const ShmBuffer& b = *buffers[s];
    return {b.pixels(), b.width(),           b.height(),         b.stride(),
            b.format(), frames[s].transform, frames[s].y_invert, book.CapturedNs()};
  }
  FrameView Clean() const {
    FrameView view = Front();
    view.pixels = clean.pixels();
    return view;
  }
  void StopCapture();
};

class Screencopy final : public Source {
 public:
  ~Screencopy() override;
  bool Connect(std::string* why);

  const char* Kind() const override { return "screencopy"; }
  int PollFds(pollfd* fds, int max) override;
  int TimeoutMs() override { return -1; }
  void Dispatch() override;
  void SetWanted(bool wanted) override;
  void SetPointer(Rect area) override;
  ReadResult Read(Rect block, std::uint32_t* out, ReadInfo* info) override;
  State CurrentState() override;

  // The registry.
  void Global(std::uint32_t name, const char* interface, std::uint32_t version);
  void GlobalRemove(std::uint32_t name);
  // An output's description is complete (or changed).
  void OutputDone(Output& o);
  // wlr-screencopy.
  void WlrBuffer(Output& o, std::uint32_t format, int width, int height, int stride);
  void WlrBufferDone(Output& o);
  void WlrReady(Output& o);
  // A capture into o's write slot finished.
  void Finished(Output& o);
  // ext-image-copy-capture.
  void ExtSessionDone(Output& o);
  void ExtSessionStopped(Output& o);
  void ExtReady(Output& o);
  // A capture of o failed; retry unless it keeps failing.
  void CaptureFailed(Output& o, bool retry);
  // Enough to know when it has failed, for the parts in other files.
  void Fail(const char* why);

 private:
  void Track(Output& o);
  void StartCapture(Output& o);
  void StartExt(Output& o);
  void StartWlr(Output& o);
  void StartPending();
  // A buffer of the shape in the slot the next capture writes into.
  ShmBuffer* WriteBuffer(Output& o, const BufferShape& shape);
  void Flush();
  void CheckConnection();
  bool Roundtrip();

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_shm* shm_ = nullptr;
  zxdg_output_manager_v1* xdg_manager_ = nullptr;
  zwlr_screencopy_manager_v1* wlr_manager_ = nullptr;
  ext_image_copy_capture_manager_v1* ext_manager_ = nullptr;
  ext_output_image_capture_source_manager_v1* ext_sources_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
  std::vector<OutputView> views_;  // reused by every read
  std::vector<FrameView> frames_;
  Rect pointer_;  // where the pointer may be now (root pixels)
  bool wanted_ = false;
  bool failed_ = false;
  bool want_write_ = false;  // the socket was full: poll for room
};

inline void AddDamage(Output& o, std::int64_t x, std::int64_t y, std::int64_t width,
                      std::int64_t height) {
  o.damage.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                      static_cast<std::int32_t>(x + width), static_cast<std::int32_t>(y + height)});
  o.damage_known = true;
}

// Of the formats offered, the one that needs no channel swap wins.
inline void Offer(BufferShape& shape, std::uint32_t format) {
  if (!IsReadableFormat(format)) return;
  if (!shape.readable || format == WL_SHM_FORMAT_XBGR8888) shape.format = format;
  shape.readable = true;
}

}  // namespace huevex::wayland::copy
