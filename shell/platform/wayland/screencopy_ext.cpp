// Captures with ext-image-copy-capture: a session an output, which tells the
// buffers it takes, and a frame a capture.
#include "shell/platform/wayland/screencopy_parts.h"

namespace huevex::wayland::copy {
namespace {

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

}  // namespace

void Screencopy::StartExt(Output& o) {
  if (!o.session) {
    o.offered = {};
    o.ext_source = ext_output_image_capture_source_manager_v1_create_source(ext_sources_, o.output);
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

}  // namespace huevex::wayland::copy
