// Captures with wlr-screencopy: one frame object a capture, told its buffer
// in one event before version 3 and in several after.
#include "shell/platform/wayland/screencopy_parts.h"

namespace huevex::wayland::copy {
namespace {

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

}  // namespace

void Screencopy::StartWlr(Output& o) {
  o.offered = {};
  o.wlr_frame = zwlr_screencopy_manager_v1_capture_output(wlr_manager_, 0, o.output);
  zwlr_screencopy_frame_v1_add_listener(o.wlr_frame, &kWlrFrameListener, &o);
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

}  // namespace huevex::wayland::copy
