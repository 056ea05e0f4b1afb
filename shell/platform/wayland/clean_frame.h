// An output's picture without the pointer in it. Compositors that draw the
// pointer in software (headless outputs, some virtual machines, outputs
// without a cursor plane) put it into every captured frame, whatever the
// capture asked for: a pick would then read the crosshair's own centre dot.
// So reads use this copy instead of the newest frame: each frame is copied
// in where it changed (the damage the compositor reports), except where the
// pointer may lie; what changed there is taken from a later frame, once the
// pointer has left it. Where the pointer is not in the picture (a hardware
// cursor), the copy is the frame itself but for what changed under the
// pointer while it stayed there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "shell/platform/platform.h"

namespace huevex::wayland {

// Gives pages from mmap back.
struct PageUnmap {
  size_t size = 0;
  void operator()(std::uint8_t* pages) const;
};

class CleanFrame {
 public:
  // More areas than this waiting for the pointer to leave are merged into one.
  static constexpr size_t kMaxPending = 16;

  // A finished frame, 4 bytes a pixel. damage: what changed since the frame
  // before, in buffer pixels; damage_known false: the whole of it (the first
  // frame, or a compositor that tells none). pointer: where the pointer may
  // be in it, in buffer pixels (empty when none is known). False when there
  // is no memory for the copy.
  bool Apply(const std::uint8_t* pixels, int width, int height, int stride,
             std::span<const Rect> damage, bool damage_known, Rect pointer);
  // Forgets the picture; its memory goes back to the system at once.
  void Reset();
  bool Valid() const { return pixels_ != nullptr; }
  const std::uint8_t* pixels() const { return pixels_.get(); }
  // What is waiting for the pointer to leave.
  std::span<const Rect> Pending() const { return pending_; }

 private:
  void Copy(const std::uint8_t* from, Rect area);
  void Wait(Rect area);

  // Pages of its own rather than a heap block, which the allocator may keep
  // after it is freed: a picture of an output is megabytes.
  std::unique_ptr<std::uint8_t, PageUnmap> pixels_;
  int width_ = 0, height_ = 0, stride_ = 0;
  std::vector<Rect> pending_;
};

}  // namespace huevex::wayland
