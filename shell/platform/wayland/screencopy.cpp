#include "shell/platform/wayland/screencopy.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "shell/platform/wayland/capture_book.h"
#include "shell/platform/wayland/clean_frame.h"
#include "shell/platform/wayland/output_map.h"
#include "shell/platform/wayland/shm_buffer.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace huevex::wayland {
namespace {

constexpr int kRoundtripMs = 2000;
constexpr const char* kLost = "the connection to the Wayland compositor was lost";
constexpr const char* kRejected = "the Wayland compositor rejected a screen capture request";
constexpr const char* kNoCapture = "the compositor offers no screen capture to programs";
constexpr const char* kCaptureFails = "the compositor failed to capture the screen";
constexpr const char* kNoFormat =
    "the compositor offers the screen's pixels only in a form HUEVEX cannot read";
constexpr const char* kNoMemory = "there is not enough memory to capture the screen";

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

void Output::StopCapture() {
  if (wlr_frame) zwlr_screencopy_frame_v1_destroy(wlr_frame);
  if (ext_frame) ext_image_copy_capture_frame_v1_destroy(ext_frame);
  if (session) ext_image_copy_capture_session_v1_destroy(session);
  if (ext_source) ext_image_capture_source_v1_destroy(ext_source);
  wlr_frame = nullptr;
  ext_frame = nullptr;
  session = nullptr;
  ext_source = nullptr;
  session_ready = false;
  slot = -1;
  start_pending = false;
}

Output::~Output() {
  StopCapture();
  if (xdg) zxdg_output_v1_destroy(xdg);
  if (output) {
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(output)) >=
        WL_OUTPUT_RELEASE_SINCE_VERSION) {
      wl_output_release(output);
    } else {
      wl_output_destroy(output);
    }
  }
}

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

 private:
  void Track(Output& o);
  void StartCapture(Output& o);
  void StartPending();
  // A buffer of the shape in the slot the next capture writes into.
  ShmBuffer* WriteBuffer(Output& o, const BufferShape& shape);
  void Fail(const char* why);
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

// ---- Listeners: the protocol's events, passed on to the objects above. ----

bool Empty(Rect r) { return r.Width() <= 0 || r.Height() <= 0; }

// The smallest rectangle holding both (an empty one adds nothing).
Rect Enclose(Rect a, Rect b) {
  if (Empty(a)) return b;
  if (Empty(b)) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

void AddDamage(Output& o, std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height) {
  o.damage.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                      static_cast<std::int32_t>(x + width), static_cast<std::int32_t>(y + height)});
  o.damage_known = true;
}

const wl_output_listener kOutputListener = {
    [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
       std::int32_t, const char*, const char*, std::int32_t transform) {
      auto* o = static_cast<Output*>(data);
      o->told.x = x;
      o->told.y = y;
      o->told.transform = static_cast<std::uint32_t>(transform);
    },
    [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
       std::int32_t) {
      if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
      auto* o = static_cast<Output*>(data);
      o->told.mode_width = width;
      o->told.mode_height = height;
    },
    [](void* data, wl_output*) {
      auto* o = static_cast<Output*>(data);
      o->owner->OutputDone(*o);
    },
    [](void* data, wl_output*, std::int32_t factor) {
      static_cast<Output*>(data)->told.scale = factor;
    },
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener = {
    [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
      auto* o = static_cast<Output*>(data);
      const Rect r = o->told.logical;
      o->told.logical = {x, y, x + r.Width(), y + r.Height()};
      o->told.has_logical = true;
    },
    [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
      auto* o = static_cast<Output*>(data);
      const Rect r = o->told.logical;
      o->told.logical = {r.left, r.top, r.left + width, r.top + height};
      o->told.has_logical = true;
    },
    [](void* data, zxdg_output_v1*) {
      auto* o = static_cast<Output*>(data);
      o->owner->OutputDone(*o);
    },
    [](void*, zxdg_output_v1*, const char*) {},
    [](void*, zxdg_output_v1*, const char*) {},
};

const zwlr_screencopy_frame_v1_listener kWlrFrameListener = {
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width,
       std::uint32_t height, std::uint32_t stride) {
      auto* o = static_cast<Output*>(data);
      o->owner->WlrBuffer(*o, format, static_cast<int>(width), static_cast<int>(height),
                          static_cast<int>(stride));
    },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
      static_cast<Output*>(data)->in_flight.y_invert =
          (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
    },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t sec_hi, std::uint32_t sec_lo,
       std::uint32_t nsec) {
      auto* o = static_cast<Output*>(data);
      const std::int64_t sec = static_cast<std::int64_t>((std::uint64_t{sec_hi} << 32) | sec_lo);
      o->presented_ns = sec * 1'000'000'000 + nsec;
      o->owner->WlrReady(*o);
    },
    [](void* data, zwlr_screencopy_frame_v1*) {
      auto* o = static_cast<Output*>(data);
      o->owner->CaptureFailed(*o, true);
    },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t x, std::uint32_t y, std::uint32_t width,
       std::uint32_t height) { AddDamage(*static_cast<Output*>(data), x, y, width, height); },
    [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void* data, zwlr_screencopy_frame_v1*) {
      auto* o = static_cast<Output*>(data);
      o->owner->WlrBufferDone(*o);
    },
};

// Of the formats offered, the one that needs no channel swap wins.
void Offer(BufferShape& shape, std::uint32_t format) {
  if (!IsReadableFormat(format)) return;
  if (!shape.readable || format == WL_SHM_FORMAT_XBGR8888) shape.format = format;
  shape.readable = true;
}

const ext_image_copy_capture_session_v1_listener kSessionListener = {
    [](void* data, ext_image_copy_capture_session_v1*, std::uint32_t width, std::uint32_t height) {
      auto* o = static_cast<Output*>(data);
      o->offered.width = static_cast<int>(width);
      o->offered.height = static_cast<int>(height);
      o->offered.stride = static_cast<int>(width) * 4;
    },
    [](void* data, ext_image_copy_capture_session_v1*, std::uint32_t format) {
      Offer(static_cast<Output*>(data)->offered, format);
    },
    [](void*, ext_image_copy_capture_session_v1*, wl_array*) {},
    [](void*, ext_image_copy_capture_session_v1*, std::uint32_t, wl_array*) {},
    [](void* data, ext_image_copy_capture_session_v1*) {
      auto* o = static_cast<Output*>(data);
      o->owner->ExtSessionDone(*o);
    },
    [](void* data, ext_image_copy_capture_session_v1*) {
      auto* o = static_cast<Output*>(data);
      o->owner->ExtSessionStopped(*o);
    },
};

const ext_image_copy_capture_frame_v1_listener kExtFrameListener = {
    [](void* data, ext_image_copy_capture_frame_v1*, std::uint32_t transform) {
      static_cast<Output*>(data)->in_flight.transform = transform;
    },
    [](void* data, ext_image_copy_capture_frame_v1*, std::int32_t x, std::int32_t y,
       std::int32_t width,
       std::int32_t height) { AddDamage(*static_cast<Output*>(data), x, y, width, height); },
    [](void* data, ext_image_copy_capture_frame_v1*, std::uint32_t sec_hi, std::uint32_t sec_lo,
       std::uint32_t nsec) {
      auto* o = static_cast<Output*>(data);
      const std::int64_t sec = static_cast<std::int64_t>((std::uint64_t{sec_hi} << 32) | sec_lo);
      o->presented_ns = sec * 1'000'000'000 + nsec;
    },
    [](void* data, ext_image_copy_capture_frame_v1*) {
      auto* o = static_cast<Output*>(data);
      o->owner->ExtReady(*o);
    },
    [](void* data, ext_image_copy_capture_frame_v1*, std::uint32_t reason) {
      auto* o = static_cast<Output*>(data);
      ext_image_copy_capture_frame_v1_destroy(o->ext_frame);
      o->ext_frame = nullptr;
      o->slot = -1;
      // The buffer no longer fits: once the session has told the new
      // constraints (perhaps already), the next capture follows them. A
      // stopped session says so with its own event.
      if (reason == EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_BUFFER_CONSTRAINTS) {
        if (o->shapes_told != o->shape_in_use) {
          o->start_pending = true;
        } else {
          o->session_ready = false;
        }
      } else if (reason != EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_STOPPED) {
        o->owner->CaptureFailed(*o, true);
      }
    },
};

const wl_registry_listener kRegistryListener = {
    [](void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
      static_cast<Screencopy*>(data)->Global(name, interface, version);
    },
    [](void* data, wl_registry*, std::uint32_t name) {
      static_cast<Screencopy*>(data)->GlobalRemove(name);
    },
};

template <typename T>
T* Bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface,
        std::uint32_t offered, std::uint32_t highest) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, highest)));
}

// ---- The source. ----

Screencopy::~Screencopy() {
  outputs_.clear();
  if (wlr_manager_) zwlr_screencopy_manager_v1_destroy(wlr_manager_);
  if (ext_manager_) ext_image_copy_capture_manager_v1_destroy(ext_manager_);
  if (ext_sources_) ext_output_image_capture_source_manager_v1_destroy(ext_sources_);
  if (xdg_manager_) zxdg_output_manager_v1_destroy(xdg_manager_);
  if (shm_) wl_shm_destroy(shm_);
  if (registry_) wl_registry_destroy(registry_);
  if (display_) wl_display_disconnect(display_);
}

bool Screencopy::Connect(std::string* why) {
  display_ = wl_display_connect(nullptr);
  if (!display_) {
    *why = "the Wayland compositor could not be reached";
    return false;
  }
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The globals, then what the outputs say about themselves.
  if (!Roundtrip() || !Roundtrip()) {
    *why = failed_ ? reason_ : "the Wayland compositor did not answer";
    return false;
  }
  const bool ext = ext_manager_ && ext_sources_;
  if (!shm_ || (!ext && !wlr_manager_)) {
    *why = kNoCapture;
    return false;
  }
  // Only one protocol is used; the other manager goes.
  if (ext && wlr_manager_) {
    zwlr_screencopy_manager_v1_destroy(wlr_manager_);
    wlr_manager_ = nullptr;
  }
  Flush();
  return !failed_;
}

void Screencopy::Global(std::uint32_t name, const char* interface, std::uint32_t version) {
  const std::string_view i = interface;
  if (i == wl_shm_interface.name && !shm_) {
    shm_ = Bind<wl_shm>(registry_, name, &wl_shm_interface, version, 1);
  } else if (i == wl_output_interface.name) {
    auto o = std::make_unique<Output>();
    o->owner = this;
    o->name = name;
    o->output = Bind<wl_output>(registry_, name, &wl_output_interface, version, 4);
    wl_output_add_listener(o->output, &kOutputListener, o.get());
    outputs_.push_back(std::move(o));
    Track(*outputs_.back());
  } else if (i == zxdg_output_manager_v1_interface.name && !xdg_manager_) {
    xdg_manager_ = Bind<zxdg_output_manager_v1>(registry_, name, &zxdg_output_manager_v1_interface,
                                                version, 3);
    for (auto& o : outputs_) Track(*o);
  } else if (i == zwlr_screencopy_manager_v1_interface.name && !wlr_manager_) {
    wlr_manager_ = Bind<zwlr_screencopy_manager_v1>(
        registry_, name, &zwlr_screencopy_manager_v1_interface, version, 3);
  } else if (i == ext_image_copy_capture_manager_v1_interface.name && !ext_manager_) {
    ext_manager_ = Bind<ext_image_copy_capture_manager_v1>(
        registry_, name, &ext_image_copy_capture_manager_v1_interface, version, 1);
  } else if (i == ext_output_image_capture_source_manager_v1_interface.name && !ext_sources_) {
    ext_sources_ = Bind<ext_output_image_capture_source_manager_v1>(
        registry_, name, &ext_output_image_capture_source_manager_v1_interface, version, 1);
  }
}

void Screencopy::Track(Output& o) {
  if (!xdg_manager_ || o.xdg) return;
  o.xdg = zxdg_output_manager_v1_get_xdg_output(xdg_manager_, o.output);
  zxdg_output_v1_add_listener(o.xdg, &kXdgOutputListener, &o);
}

void Screencopy::GlobalRemove(std::uint32_t name) {
  // An unplugged output: its frames and captures go with it.
  std::erase_if(outputs_, [name](const std::unique_ptr<Output>& o) { return o->name == name; });
}

void Screencopy::OutputDone(Output& o) {
  if (o.known && o.told == o.current) return;
  // A new size, scale, transform or place: the last frame no longer shows
  // this output as it is, and a capture of the old shape may fail.
  o.current = o.told;
  o.known = true;
  o.book.Forget();
  o.clean.Reset();
  // A capture waiting for a change may wait for ever (a moved output shows
  // the same pixels): a fresh one is answered at once.
  o.StopCapture();
  o.damaged_only = false;
  if (wanted_) o.start_pending = true;
}

void Screencopy::SetWanted(bool wanted) {
  if (failed_ || wanted == wanted_) return;
  wanted_ = wanted;
  for (auto& o : outputs_) {
    o->StopCapture();
    o->book.Reset();
    o->clean.Reset();
    o->damaged_only = false;
    if (wanted) {
      o->start_pending = true;
    } else {
      // Nothing is kept at rest: the memory goes back.
      o->buffers[0].reset();
      o->buffers[1].reset();
    }
  }
  StartPending();
  Flush();
}

void Screencopy::StartPending() {
  if (failed_ || !wanted_) return;
  for (auto& o : outputs_) {
    if (o->start_pending) StartCapture(*o);
  }
}

void Screencopy::StartCapture(Output& o) {
  o.start_pending = false;
  if (!o.known || o.book.GaveUp()) return;
  o.in_flight = {o.current.transform, false};
  o.presented_ns = 0;
  o.damage.clear();
  o.damage_known = false;
  if (ext_manager_) {
    if (!o.session) {
      o.offered = {};
      o.ext_source =
          ext_output_image_capture_source_manager_v1_create_source(ext_sources_, o.output);
      o.session = ext_image_copy_capture_manager_v1_create_session(ext_manager_, o.ext_source, 0);
      ext_image_copy_capture_session_v1_add_listener(o.session, &kSessionListener, &o);
      return;  // the first capture starts once the session tells its constraints
    }
    if (!o.session_ready || o.ext_frame) return;
    ShmBuffer* buffer = WriteBuffer(o, o.session_shape);
    if (!buffer) return;
    o.shape_in_use = o.shapes_told;
    o.ext_frame = ext_image_copy_capture_session_v1_create_frame(o.session);
    ext_image_copy_capture_frame_v1_add_listener(o.ext_frame, &kExtFrameListener, &o);
    ext_image_copy_capture_frame_v1_attach_buffer(o.ext_frame, buffer->buffer());
    // Both buffers take turns, so each misses the changes of the frame
    // before: the whole of it is asked for.
    ext_image_copy_capture_frame_v1_damage_buffer(o.ext_frame, 0, 0, buffer->width(),
                                                  buffer->height());
    ext_image_copy_capture_frame_v1_capture(o.ext_frame);
    return;
  }
  o.offered = {};
  o.wlr_frame = zwlr_screencopy_manager_v1_capture_output(wlr_manager_, 0, o.output);
  zwlr_screencopy_frame_v1_add_listener(o.wlr_frame, &kWlrFrameListener, &o);
}

ShmBuffer* Screencopy::WriteBuffer(Output& o, const BufferShape& shape) {
  if (!shape.readable) {
    Fail(kNoFormat);
    return nullptr;
  }
  const int slot = o.book.WriteSlot();
  auto& buffer = o.buffers[slot];
  if (!buffer || !buffer->Fits(shape.width, shape.height, shape.stride, shape.format)) {
    buffer.reset();
    buffer = ShmBuffer::Create(shm_, shape.width, shape.height, shape.stride, shape.format);
    if (!buffer) {
      Fail(kNoMemory);
      return nullptr;
    }
  }
  o.slot = slot;
  return buffer.get();
}

void Screencopy::WlrBuffer(Output& o, std::uint32_t format, int width, int height, int stride) {
  if (IsReadableFormat(format)) {
    Offer(o.offered, format);
    o.offered.width = width;
    o.offered.height = height;
    o.offered.stride = stride;
  }
  // Before version 3 this one event is all there is.
  if (zwlr_screencopy_manager_v1_get_version(wlr_manager_) < 3) WlrBufferDone(o);
}

void Screencopy::WlrBufferDone(Output& o) {
  ShmBuffer* buffer = WriteBuffer(o, o.offered);
  if (!buffer) return;
  // The first capture after "wanted" turns on is answered at once; later ones
  // wait until the output changes, so that a still screen sends nothing.
  if (o.damaged_only && zwlr_screencopy_frame_v1_get_version(o.wlr_frame) >= 2) {
    zwlr_screencopy_frame_v1_copy_with_damage(o.wlr_frame, buffer->buffer());
  } else {
    zwlr_screencopy_frame_v1_copy(o.wlr_frame, buffer->buffer());
  }
}

void Screencopy::WlrReady(Output& o) {
  zwlr_screencopy_frame_v1_destroy(o.wlr_frame);
  o.wlr_frame = nullptr;
  Finished(o);
  o.damaged_only = true;
  o.start_pending = true;
}

void Screencopy::Finished(Output& o) {
  o.frames[o.slot] = o.in_flight;
  o.book.Finished(o.slot, o.presented_ns, MonotonicNs());
  o.slot = -1;
  // The pointer may be drawn wherever it was since the frame before; the
  // compositor may have drawn it before X told where it went.
  const FrameView front = o.Front();
  const Rect pointer = BufferArea(front, o.current.Place(), o.swept);
  const bool whole = !o.clean.Valid() || !o.damage_known;
  if (!o.clean.Apply(front.pixels, front.width, front.height, front.stride, o.damage, !whole,
                     pointer)) {
    Fail(kNoMemory);
  }
  o.swept = pointer_;
}

void Screencopy::SetPointer(Rect area) {
  pointer_ = area;
  for (auto& o : outputs_) o->swept = Enclose(o->swept, area);
}

void Screencopy::ExtSessionDone(Output& o) {
  o.session_shape = o.offered;
  o.session_ready = true;
  ++o.shapes_told;
  if (!o.ext_frame) o.start_pending = true;
}

void Screencopy::ExtSessionStopped(Output& o) {
  o.StopCapture();
  o.book.Forget();
  o.clean.Reset();
  CaptureFailed(o, true);
}

void Screencopy::ExtReady(Output& o) {
  ext_image_copy_capture_frame_v1_destroy(o.ext_frame);
  o.ext_frame = nullptr;
  Finished(o);
  o.start_pending = true;
}

void Screencopy::CaptureFailed(Output& o, bool retry) {
  if (o.wlr_frame) {
    zwlr_screencopy_frame_v1_destroy(o.wlr_frame);
    o.wlr_frame = nullptr;
  }
  o.slot = -1;
  // Retried once the events already here are handled: an output that is
  // going away is gone by then.
  if (o.book.Failed() && retry) {
    o.start_pending = true;
  } else if (o.book.GaveUp()) {
    Fail(kCaptureFails);
  }
}

void Screencopy::Fail(const char* why) {
  if (failed_) return;
  failed_ = true;
  reason_ = why;
  for (auto& o : outputs_) o->StopCapture();
}

int Screencopy::PollFds(pollfd* fds, int max) {
  if (failed_ || max < 1) return 0;
  fds[0] = {wl_display_get_fd(display_), static_cast<short>(POLLIN | (want_write_ ? POLLOUT : 0)),
            0};
  return 1;
}

void Screencopy::Dispatch() {
  if (failed_) return;
  // Read what has arrived, without waiting for more.
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) {
      CheckConnection();
      Fail(kLost);
      return;
    }
  }
  pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
  if (poll(&fd, 1, 0) > 0) {
    wl_display_read_events(display_);
  } else {
    wl_display_cancel_read(display_);
  }
  wl_display_dispatch_pending(display_);
  CheckConnection();
  StartPending();
  Flush();
}

void Screencopy::Flush() {
  if (failed_) return;
  want_write_ = false;
  if (wl_display_flush(display_) < 0) {
    if (errno == EAGAIN) {
      want_write_ = true;
    } else {
      CheckConnection();
      Fail(kLost);
    }
  }
}

void Screencopy::CheckConnection() {
  const int error = wl_display_get_error(display_);
  if (error != 0) Fail(error == EPROTO ? kRejected : kLost);
}

bool Screencopy::Roundtrip() {
  // wl_display_roundtrip, but never longer than kRoundtripMs.
  bool done = false;
  wl_callback* callback = wl_display_sync(display_);
  static const wl_callback_listener kDone = {
      [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
  wl_callback_add_listener(callback, &kDone, &done);
  const std::int64_t deadline = MonotonicNs() + std::int64_t{kRoundtripMs} * 1'000'000;
  while (!done && !failed_) {
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) break;
    const std::int64_t left_ms = (deadline - MonotonicNs()) / 1'000'000;
    if (left_ms <= 0) break;
    bool broken = false;
    while (!broken && wl_display_prepare_read(display_) != 0) {
      broken = wl_display_dispatch_pending(display_) < 0;
    }
    if (broken) break;
    pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left_ms)) > 0) {
      if (wl_display_read_events(display_) < 0) break;
    } else {
      wl_display_cancel_read(display_);
    }
    if (wl_display_dispatch_pending(display_) < 0) break;
  }
  wl_callback_destroy(callback);
  CheckConnection();
  return done && !failed_;
}

ReadResult Screencopy::Read(Rect block, std::uint32_t* out, ReadInfo* info) {
  if (failed_) return ReadResult::Failed;
  if (!wanted_) return ReadResult::NoFrame;
  views_.clear();
  frames_.clear();
  frames_.reserve(outputs_.size());
  for (const auto& o : outputs_) {
    if (!o->known) continue;
    const FrameView* frame = nullptr;
    if (o->book.HasFrame()) {
      frames_.push_back(o->Clean());
      frame = &frames_.back();
    }
    views_.push_back({o->current.Place(), frame});
  }
  std::int64_t oldest = MonotonicNs();
  if (!ReadOutputs(views_, block, out, &oldest)) return ReadResult::NoFrame;
  if (info) *info = {oldest, false};
  return ReadResult::Ok;
}

State Screencopy::CurrentState() {
  if (failed_) return State::Failed;
  if (!wanted_) return State::Idle;
  for (const auto& o : outputs_) {
    if (o->known && !o->book.HasFrame()) return State::Waiting;
  }
  return State::Live;
}

}  // namespace

std::unique_ptr<Source> OpenScreencopy(std::string* why) {
  auto source = std::make_unique<Screencopy>();
  if (!source->Connect(why)) return nullptr;
  return source;
}

}  // namespace huevex::wayland
