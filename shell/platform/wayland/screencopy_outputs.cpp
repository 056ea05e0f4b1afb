// The registry and the outputs: which globals the compositor offers, and
// how each output lies in the layout (wl_output, xdg-output where offered).
#include "shell/platform/wayland/screencopy_parts.h"

namespace huevex::wayland::copy {
namespace {

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

}  // namespace

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

}  // namespace huevex::wayland::copy
