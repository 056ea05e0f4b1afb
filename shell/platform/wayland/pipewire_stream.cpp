#include "shell/platform/wayland/pipewire_stream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "shell/platform/wayland/output_map.h"
#include "shell/platform/wayland/source.h"

namespace huevex::wayland {
namespace {

constexpr const char* kNoPipeWire = "the screen cast's connection to PipeWire could not be made";
constexpr const char* kPipeWireLost = "the connection to PipeWire was lost";
constexpr const char* kStreamFailed = "the screen cast stream failed";

// PipeWire's BGRx, BGRA, RGBx and RGBA as the wl_shm codes reads take
// (output_map.h): the same bytes in memory.
std::uint32_t ShmFormat(std::uint32_t video_format) {
  switch (video_format) {
    case SPA_VIDEO_FORMAT_BGRx:
      return kXrgb8888;
    case SPA_VIDEO_FORMAT_BGRA:
      return kArgb8888;
    case SPA_VIDEO_FORMAT_RGBx:
      return kXbgr8888;
    case SPA_VIDEO_FORMAT_RGBA:
      return kAbgr8888;
    default:
      return UINT32_MAX;
  }
}

// The producer's own word that a buffer is not a frame to use.
bool Corrupted(const spa_buffer& buffer) {
  const auto* header = static_cast<const spa_meta_header*>(
      spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)));
  return header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) != 0;
}

// Ours is the only loop on its thread, and entered for all its life.
struct LoopFree {
  void operator()(pw_loop* loop) const {
    pw_loop_leave(loop);
    pw_loop_destroy(loop);
  }
};

class Cast;

// One stream, owning its pw_stream; the listener goes with it.
struct Stream {
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream() {
    if (stream) pw_stream_destroy(stream);
  }

  Cast* owner = nullptr;
  pw_stream* stream = nullptr;
  spa_hook listener{};
  std::uint32_t format = UINT32_MAX;  // wl_shm; UINT32_MAX until negotiated
  int width = 0, height = 0;
  size_t index = 0;  // its frame in the owner's frames
};

class Cast final : public PipeWireCast {
 public:
  ~Cast() override { ending_ = true; }
  bool Start(int fd, const std::vector<StreamPlace>& places);

  int Fd() const override { return loop_ ? pw_loop_get_fd(loop_.get()) : -1; }
  void Iterate() override;
  const std::string& Failure() const override { return failure_; }
  bool AllFramed() const override;
  const std::vector<StreamFrame>& Frames() const override { return frames_; }

 private:
  static void OnCoreError(void* data, std::uint32_t id, int seq, int res, const char* message);
  static void OnState(void* data, pw_stream_state old, pw_stream_state state, const char* error);
  static void OnParam(void* data, std::uint32_t id, const spa_pod* param);
  static void OnProcess(void* data);
  void Fail(const char* why) {
    if (failure_.empty()) failure_ = why;
  }

  // Gone in reverse: the streams (whose ends are told while ending_), then
  // the core, the context and the loop.
  bool ending_ = false;
  std::unique_ptr<pw_loop, LoopFree> loop_;
  std::unique_ptr<pw_context, FreeWith<pw_context_destroy>> context_;
  spa_hook core_listener_{};
  std::unique_ptr<pw_core, FreeWith<pw_core_disconnect>> core_;
  std::vector<StreamFrame> frames_;  // the streams' frames, in order, for reads
  std::string failure_;
  std::vector<std::unique_ptr<Stream>> streams_;
};

bool Cast::Start(int fd, const std::vector<StreamPlace>& places) {
  static const bool initialised = (pw_init(nullptr, nullptr), true);
  (void)initialised;
  loop_.reset(pw_loop_new(nullptr));
  if (loop_) {
    pw_loop_enter(loop_.get());  // iterated on the program's thread only, from its poll
    context_.reset(pw_context_new(loop_.get(), nullptr, 0));
  }
  if (!context_) {
    close(fd);
    return false;
  }
  core_.reset(pw_context_connect_fd(context_.get(), fd, nullptr, 0));  // owns fd from here
  if (!core_) return false;
  static const pw_core_events core_events = [] {
    pw_core_events e{};
    e.version = PW_VERSION_CORE_EVENTS;
    e.error = OnCoreError;
    return e;
  }();
  static const pw_stream_events stream_events = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = OnState;
    e.param_changed = OnParam;
    e.process = OnProcess;
    return e;
  }();
  pw_core_add_listener(core_.get(), &core_listener_, &core_events, this);

  // The formats reads understand, any size and rate.
  std::uint8_t buffer[1024];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  spa_rectangle size_default{1920, 1080}, size_min{1, 1}, size_max{16384, 16384};
  spa_fraction rate_default{60, 1}, rate_min{0, 1}, rate_max{1000, 1};
  const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
      SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
      SPA_FORMAT_VIDEO_format,
      SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                             SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
      SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size_default, &size_min, &size_max),
      SPA_FORMAT_VIDEO_framerate,
      SPA_POD_CHOICE_RANGE_Fraction(&rate_default, &rate_min, &rate_max)))};

  frames_.resize(places.size());
  for (const StreamPlace& place : places) {
    auto s = std::make_unique<Stream>();
    s->owner = this;
    s->index = streams_.size();
    frames_[s->index].logical = place.logical;
    s->stream = pw_stream_new(core_.get(), "huevex",
                              pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!s->stream) return false;
    pw_stream_add_listener(s->stream, &s->listener, &stream_events, s.get());
    // Ours before it connects: one whose connect fails is destroyed with the
    // others, its listener with it.
    pw_stream* stream = streams_.emplace_back(std::move(s))->stream;
    const auto flags =
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS);
    if (pw_stream_connect(stream, PW_DIRECTION_INPUT, place.node, flags, params, 1) < 0) {
      return false;
    }
  }
  return true;
}

void Cast::OnCoreError(void* data, std::uint32_t id, int, int res, const char*) {
  auto* self = static_cast<Cast*>(data);
  if (id == PW_ID_CORE && res == -EPIPE) self->Fail(kPipeWireLost);
}

void Cast::OnState(void* data, pw_stream_state, pw_stream_state state, const char*) {
  auto* s = static_cast<Stream*>(data);
  if (s->owner->ending_) return;
  if (state == PW_STREAM_STATE_ERROR) s->owner->Fail(kStreamFailed);
}

void Cast::OnParam(void* data, std::uint32_t id, const spa_pod* param) {
  auto* s = static_cast<Stream*>(data);
  if (!param || id != SPA_PARAM_Format) return;
  std::uint32_t media_type = 0, media_subtype = 0;
  spa_video_info_raw raw{};
  if (spa_format_parse(param, &media_type, &media_subtype) < 0 ||
      media_type != SPA_MEDIA_TYPE_video || media_subtype != SPA_MEDIA_SUBTYPE_raw ||
      spa_format_video_raw_parse(param, &raw) < 0) {
    return;
  }
  s->format = ShmFormat(raw.format);
  s->width = static_cast<int>(raw.size.width);
  s->height = static_cast<int>(raw.size.height);

  // Buffers in memory we can map: memfd or plain memory, no dma-buf; each
  // with the header in which the producer can say it is not a frame.
  std::uint8_t buffer[512];
  spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  const spa_pod* params[] = {
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
          SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
          SPA_PARAM_BUFFERS_dataType,
          SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr)))),
      static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
          SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
          SPA_POD_Int(static_cast<int>(sizeof(spa_meta_header)))))};
  pw_stream_update_params(s->stream, params, 2);
}

void Cast::OnProcess(void* data) {
  auto* s = static_cast<Stream*>(data);
  // Only the newest buffer matters; older ones go straight back.
  pw_buffer* newest = nullptr;
  while (pw_buffer* b = pw_stream_dequeue_buffer(s->stream)) {
    if (newest) pw_stream_queue_buffer(s->stream, newest);
    newest = b;
  }
  if (!newest) return;
  const spa_buffer* buffer = newest->buffer;
  const spa_data* d = buffer->n_datas > 0 ? &buffer->datas[0] : nullptr;
  const std::int64_t row = std::int64_t{s->width} * 4;
  if (d && d->data && d->chunk && s->format != UINT32_MAX && s->width > 0 && s->height > 0 &&
      (d->chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) == 0 && !Corrupted(*buffer)) {
    const std::int64_t stride = d->chunk->stride > 0 ? d->chunk->stride : row;
    const std::int64_t offset = d->chunk->offset;
    const std::int64_t filled = d->chunk->size;
    // A frame is a buffer the producer filled with every row: one whose chunk
    // holds less (nothing, a cursor's update, rows yet to come) is memory no
    // frame has filled, and rows past the buffer a frame we cannot trust.
    const std::int64_t frame = stride * (s->height - 1) + row;
    if (stride >= row && frame <= filled && offset + filled <= std::int64_t{d->maxsize}) {
      StreamFrame& frame = s->owner->frames_[s->index];
      frame.pixels.resize(static_cast<size_t>(row * s->height));
      const auto* from = static_cast<const std::uint8_t*>(d->data) + offset;
      for (int y = 0; y < s->height; ++y) {
        std::memcpy(frame.pixels.data() + y * row, from + y * stride, static_cast<size_t>(row));
      }
      frame.width = s->width;
      frame.height = s->height;
      frame.stride = static_cast<int>(row);
      frame.format = s->format;
      frame.captured_ns = MonotonicNs();
    }
  }
  pw_stream_queue_buffer(s->stream, newest);
}

void Cast::Iterate() {
  while (pw_loop_iterate(loop_.get(), 0) > 0) {
  }
}

bool Cast::AllFramed() const {
  return std::all_of(frames_.begin(), frames_.end(),
                     [](const StreamFrame& f) { return f.HasFrame(); });
}

}  // namespace

std::unique_ptr<PipeWireCast> PipeWireCast::Connect(int fd, const std::vector<StreamPlace>& places,
                                                    std::string* why) {
  auto cast = std::make_unique<Cast>();
  if (!cast->Start(fd, places)) {
    *why = kNoPipeWire;
    return nullptr;
  }
  return cast;
}

}  // namespace huevex::wayland
