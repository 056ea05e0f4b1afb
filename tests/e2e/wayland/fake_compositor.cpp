// A stand-in Wayland compositor with one output and a capture protocol, that
// misbehaves as a test asks: what the capture module does with
// ext-image-copy-capture (which sway 1.7 lacks) and with failures a real
// compositor gives rarely or never on demand.
//
//   huevex_fake_compositor PROTOCOL MODE      (XDG_RUNTIME_DIR set)
//
//   PROTOCOL  ext (ext-image-copy-capture), wlr (wlr-screencopy, rows stored
//             bottom up), none (no capture protocol)
//   MODE      ok      frames every 20 ms (the first at once)
//             resize  after the second frame, while the third capture waits
//                     (and then fails), the output grows from 8 x 4 to 12 x 6
//                     pixels (logical 4 x 2 to 6 x 3)
//             stop    after the second frame the capture session stops (ext)
//             move    after the second frame the output moves to logical
//                     (10, 0) and the screen stays still from then on
//             constraints  after the second frame the session tells its
//                     constraints again and fails the capture waiting (ext)
//             fail    every capture fails
//             die     the compositor exits after the second frame
//
// Prints "ready SOCKET" once it listens. The output is at scale 2; buffer
// pixel (x, y) of frame n is red 40x, green 40y, blue 8n (each mod 256).
#include <time.h>
#include <wayland-server.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ext-image-capture-source-v1-server-protocol.h"
#include "ext-image-copy-capture-v1-server-protocol.h"
#include "wlr-screencopy-unstable-v1-server-protocol.h"
#include "xdg-output-unstable-v1-server-protocol.h"

namespace {

std::string mode;
int width = 8, height = 4;  // the output's buffer pixels; logical is half
int frames = 0;
bool resize_due = false;  // at the next tick, with a capture of the old size waiting
bool constraints_due = false;
bool move_due = false;
bool still = false;  // nothing changes: captures that wait for a change wait
wl_display* display = nullptr;
std::vector<wl_resource*> outputs, xdg_outputs, sessions;

// An ext frame: its buffer, and whether it is its session's first.
struct ExtFrame {
  wl_resource* buffer = nullptr;
  bool first = false;
};

// A capture waiting for the next tick (or for nothing, when it is the first).
struct Pending {
  wl_resource* frame;
  wl_resource* buffer;
  bool ext;
};
std::vector<Pending> pending;

void Forget(std::vector<wl_resource*>& list, wl_resource* r) {
  list.erase(std::remove(list.begin(), list.end(), r), list.end());
}

void ForgetFrame(wl_resource* frame) {
  std::erase_if(pending, [frame](const Pending& p) { return p.frame == frame; });
}

void DestroyResource(wl_client*, wl_resource* r) { wl_resource_destroy(r); }

// Writes frame number n into the buffer; false when it does not fit.
bool Paint(wl_resource* buffer_resource, bool bottom_up) {
  wl_shm_buffer* buffer = wl_shm_buffer_get(buffer_resource);
  if (!buffer || wl_shm_buffer_get_width(buffer) != width ||
      wl_shm_buffer_get_height(buffer) != height) {
    return false;
  }
  const int stride = wl_shm_buffer_get_stride(buffer);
  wl_shm_buffer_begin_access(buffer);
  auto* data = static_cast<std::uint8_t*>(wl_shm_buffer_get_data(buffer));
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + (bottom_up ? height - 1 - y : y) * stride);
    for (int x = 0; x < width; ++x) {
      row[x] = ((40u * x & 0xFF) << 16) | ((40u * y & 0xFF) << 8) | (8u * frames & 0xFF);
    }
  }
  wl_shm_buffer_end_access(buffer);
  return true;
}

void Resize() {
  width = 12;
  height = 6;
  for (wl_resource* o : outputs)
    wl_output_send_mode(o, WL_OUTPUT_MODE_CURRENT, width, height, 60000);
  for (wl_resource* x : xdg_outputs) zxdg_output_v1_send_logical_size(x, width / 2, height / 2);
  for (wl_resource* o : outputs) wl_output_send_done(o);
  for (wl_resource* s : sessions) {
    ext_image_copy_capture_session_v1_send_buffer_size(s, width, height);
    ext_image_copy_capture_session_v1_send_shm_format(s, WL_SHM_FORMAT_XRGB8888);
    ext_image_copy_capture_session_v1_send_done(s);
  }
}

// A frame was shown: what the mode does after the second.
void Shown() {
  if (++frames != 2) return;
  if (mode == "resize") resize_due = true;
  if (mode == "constraints") constraints_due = true;
  if (mode == "move") move_due = still = true;
  if (mode == "stop") {
    for (wl_resource* s : sessions) ext_image_copy_capture_session_v1_send_stopped(s);
  }
  if (mode == "die") {
    wl_display_flush_clients(display);
    std::exit(0);
  }
}

void Complete(const Pending& p) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto sec = static_cast<std::uint64_t>(now.tv_sec);
  if (p.ext) {
    if (mode == "fail") {
      ext_image_copy_capture_frame_v1_send_failed(
          p.frame, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_UNKNOWN);
    } else if (!Paint(p.buffer, false)) {
      ext_image_copy_capture_frame_v1_send_failed(
          p.frame, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_BUFFER_CONSTRAINTS);
    } else {
      ext_image_copy_capture_frame_v1_send_transform(p.frame, WL_OUTPUT_TRANSFORM_NORMAL);
      ext_image_copy_capture_frame_v1_send_damage(p.frame, 0, 0, width, height);
      ext_image_copy_capture_frame_v1_send_presentation_time(
          p.frame, static_cast<std::uint32_t>(sec >> 32), static_cast<std::uint32_t>(sec),
          static_cast<std::uint32_t>(now.tv_nsec));
      ext_image_copy_capture_frame_v1_send_ready(p.frame);
      Shown();
    }
    return;
  }
  if (mode == "fail" || !Paint(p.buffer, true)) {
    zwlr_screencopy_frame_v1_send_failed(p.frame);
    return;
  }
  zwlr_screencopy_frame_v1_send_flags(p.frame, ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT);
  zwlr_screencopy_frame_v1_send_ready(p.frame, static_cast<std::uint32_t>(sec >> 32),
                                      static_cast<std::uint32_t>(sec),
                                      static_cast<std::uint32_t>(now.tv_nsec));
  Shown();
}

wl_event_source* tick = nullptr;

// The display's refresh: captures waiting for a change are answered.
int Tick(void*) {
  wl_event_source_timer_update(tick, 20);
  if (resize_due) Resize();
  resize_due = false;
  if (move_due) {
    for (wl_resource* x : xdg_outputs) zxdg_output_v1_send_logical_position(x, 10, 0);
    for (wl_resource* o : outputs) wl_output_send_done(o);
    move_due = false;
  }
  if (still) return 0;
  const std::vector<Pending> due = std::move(pending);
  pending.clear();
  if (constraints_due) {
    constraints_due = false;
    for (wl_resource* s : sessions) ext_image_copy_capture_session_v1_send_done(s);
    for (const Pending& p : due) {
      ext_image_copy_capture_frame_v1_send_failed(
          p.frame, EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_BUFFER_CONSTRAINTS);
    }
    return 0;
  }
  for (const Pending& p : due) Complete(p);
  return 0;
}

// ---- ext-image-copy-capture ----

const struct ext_image_copy_capture_frame_v1_interface kExtFrame = {
    DestroyResource,
    [](wl_client*, wl_resource* frame, wl_resource* buffer) {
      static_cast<ExtFrame*>(wl_resource_get_user_data(frame))->buffer = buffer;
    },
    [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {},
    [](wl_client*, wl_resource* frame) {
      const auto* f = static_cast<ExtFrame*>(wl_resource_get_user_data(frame));
      const Pending p{frame, f->buffer, true};
      // A session's first frame at once, later ones when the screen changes.
      if (f->first) {
        Complete(p);
      } else {
        pending.push_back(p);
      }
    },
};

const struct ext_image_copy_capture_session_v1_interface kSession = {
    [](wl_client* client, wl_resource* session, std::uint32_t id) {
      wl_resource* frame = wl_resource_create(client, &ext_image_copy_capture_frame_v1_interface,
                                              wl_resource_get_version(session), id);
      // The session counts its frames in its user data.
      auto count = reinterpret_cast<std::uintptr_t>(wl_resource_get_user_data(session));
      wl_resource_set_user_data(session, reinterpret_cast<void*>(count + 1));
      wl_resource_set_implementation(frame, &kExtFrame, new ExtFrame{nullptr, count == 0},
                                     [](wl_resource* r) {
                                       ForgetFrame(r);
                                       delete static_cast<ExtFrame*>(wl_resource_get_user_data(r));
                                     });
    },
    DestroyResource,
};

const struct ext_image_copy_capture_manager_v1_interface kExtManager = {
    [](wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource*, std::uint32_t) {
      wl_resource* session =
          wl_resource_create(client, &ext_image_copy_capture_session_v1_interface,
                             wl_resource_get_version(manager), id);
      wl_resource_set_implementation(session, &kSession, nullptr,
                                     [](wl_resource* r) { Forget(sessions, r); });
      sessions.push_back(session);
      ext_image_copy_capture_session_v1_send_buffer_size(session, width, height);
      ext_image_copy_capture_session_v1_send_shm_format(session, WL_SHM_FORMAT_XRGB8888);
      ext_image_copy_capture_session_v1_send_done(session);
    },
    [](wl_client*, wl_resource* manager, std::uint32_t, wl_resource*, wl_resource*) {
      wl_resource_post_error(manager, 0, "cursor sessions are not offered");
    },
    DestroyResource,
};

const struct ext_image_capture_source_v1_interface kSource = {DestroyResource};

const struct ext_output_image_capture_source_manager_v1_interface kSourceManager = {
    [](wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource*) {
      wl_resource* source = wl_resource_create(client, &ext_image_capture_source_v1_interface,
                                               wl_resource_get_version(manager), id);
      wl_resource_set_implementation(source, &kSource, nullptr, nullptr);
    },
    DestroyResource,
};

// ---- wlr-screencopy ----

void WlrCopy(wl_resource* frame, wl_resource* buffer, bool when_damaged) {
  const Pending p{frame, buffer, false};
  if (when_damaged) {
    pending.push_back(p);
  } else {
    Complete(p);
  }
}

const struct zwlr_screencopy_frame_v1_interface kWlrFrame = {
    [](wl_client*, wl_resource* frame, wl_resource* buffer) { WlrCopy(frame, buffer, false); },
    DestroyResource,
    [](wl_client*, wl_resource* frame, wl_resource* buffer) { WlrCopy(frame, buffer, true); },
};

void WlrCapture(wl_client* client, wl_resource* manager, std::uint32_t id) {
  const int version = wl_resource_get_version(manager);
  wl_resource* frame = wl_resource_create(client, &zwlr_screencopy_frame_v1_interface, version, id);
  wl_resource_set_implementation(frame, &kWlrFrame, nullptr, ForgetFrame);
  zwlr_screencopy_frame_v1_send_buffer(frame, WL_SHM_FORMAT_XRGB8888, width, height, width * 4);
  if (version >= 3) zwlr_screencopy_frame_v1_send_buffer_done(frame);
}

const struct zwlr_screencopy_manager_v1_interface kWlrManager = {
    [](wl_client* client, wl_resource* manager, std::uint32_t id, std::int32_t, wl_resource*) {
      WlrCapture(client, manager, id);
    },
    [](wl_client* client, wl_resource* manager, std::uint32_t id, std::int32_t, wl_resource*,
       std::int32_t, std::int32_t, std::int32_t, std::int32_t) { WlrCapture(client, manager, id); },
    DestroyResource,
};

// ---- The output and its logical place ----

const struct wl_output_interface kOutput = {DestroyResource};

const struct zxdg_output_v1_interface kXdgOutput = {DestroyResource};

const struct zxdg_output_manager_v1_interface kXdgManager = {
    DestroyResource,
    [](wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource* output) {
      wl_resource* x = wl_resource_create(client, &zxdg_output_v1_interface,
                                          wl_resource_get_version(manager), id);
      wl_resource_set_implementation(x, &kXdgOutput, nullptr,
                                     [](wl_resource* r) { Forget(xdg_outputs, r); });
      xdg_outputs.push_back(x);
      zxdg_output_v1_send_logical_position(x, 0, 0);
      zxdg_output_v1_send_logical_size(x, width / 2, height / 2);
      if (wl_resource_get_version(x) < 3) zxdg_output_v1_send_done(x);
      wl_output_send_done(output);
    },
};

template <typename Impl>
void Bind(wl_client* client, const wl_interface* interface, const Impl* impl, std::uint32_t version,
          std::uint32_t id, std::vector<wl_resource*>* list = nullptr) {
  wl_resource* r = wl_resource_create(client, interface, static_cast<int>(version), id);
  wl_resource_set_implementation(r, impl, list, [](wl_resource* res) {
    if (auto* l = static_cast<std::vector<wl_resource*>*>(wl_resource_get_user_data(res))) {
      Forget(*l, res);
    }
  });
  if (list) list->push_back(r);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ext|wlr|none ok|resize|stop|fail|die|v2|turned\n", argv[0]);
    return 2;
  }
  const std::string protocol = argv[1];
  mode = argv[2];
  // v2: wlr-screencopy as older compositors offer it (no buffer_done).
  // turned: an output turned a quarter, and no xdg-output to tell its logical size.
  const std::uint32_t wlr_version = mode == "v2" ? 2 : 3;
  display = wl_display_create();
  const char* socket = display ? wl_display_add_socket_auto(display) : nullptr;
  if (!socket) return 1;
  wl_display_init_shm(display);
  wl_global_create(display, &wl_output_interface, 3, nullptr,
                   [](wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
                     Bind(client, &wl_output_interface, &kOutput, version, id, &outputs);
                     wl_resource* o = outputs.back();
                     wl_output_send_geometry(
                         o, 0, 0, 100, 50, WL_OUTPUT_SUBPIXEL_UNKNOWN, "huevex", "stand-in",
                         mode == "turned" ? WL_OUTPUT_TRANSFORM_90 : WL_OUTPUT_TRANSFORM_NORMAL);
                     wl_output_send_mode(o, WL_OUTPUT_MODE_CURRENT, width, height, 60000);
                     wl_output_send_scale(o, 2);
                     wl_output_send_done(o);
                   });
  if (mode != "turned") {
    wl_global_create(display, &zxdg_output_manager_v1_interface, 3, nullptr,
                     [](wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
                       Bind(client, &zxdg_output_manager_v1_interface, &kXdgManager, version, id);
                     });
  }
  if (protocol == "ext") {
    wl_global_create(display, &ext_output_image_capture_source_manager_v1_interface, 1, nullptr,
                     [](wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
                       Bind(client, &ext_output_image_capture_source_manager_v1_interface,
                            &kSourceManager, version, id);
                     });
    wl_global_create(display, &ext_image_copy_capture_manager_v1_interface, 1, nullptr,
                     [](wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
                       Bind(client, &ext_image_copy_capture_manager_v1_interface, &kExtManager,
                            version, id);
                     });
  } else if (protocol == "wlr") {
    wl_global_create(display, &zwlr_screencopy_manager_v1_interface, wlr_version, nullptr,
                     [](wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
                       Bind(client, &zwlr_screencopy_manager_v1_interface, &kWlrManager, version,
                            id);
                     });
  }
  tick = wl_event_loop_add_timer(wl_display_get_event_loop(display), Tick, nullptr);
  wl_event_source_timer_update(tick, 20);
  std::printf("ready %s\n", socket);
  std::fflush(stdout);
  wl_display_run(display);
}
