#include "shell/platform/wayland/screencopy.h"

#include <poll.h>

#include <cerrno>

#include "shell/platform/wayland/screencopy_parts.h"

namespace huevex::wayland {
namespace copy {
namespace {

constexpr int kRoundtripMs = 2000;

bool Empty(Rect r) { return r.Width() <= 0 || r.Height() <= 0; }

// The smallest rectangle holding both (an empty one adds nothing).
Rect Enclose(Rect a, Rect b) {
  if (Empty(a)) return b;
  if (Empty(b)) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

}  // namespace

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
    StartExt(o);
  } else {
    StartWlr(o);
  }
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

}  // namespace copy

std::unique_ptr<Source> OpenScreencopy(std::string* why) {
  auto source = std::make_unique<copy::Screencopy>();
  if (!source->Connect(why)) return nullptr;
  return source;
}

}  // namespace huevex::wayland
