#include "shell/platform/wayland/clean_frame.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace huevex::wayland {
namespace {

bool Empty(Rect r) { return r.Width() <= 0 || r.Height() <= 0; }

// area without hole: up to four bands (above, below, left and right of it).
std::vector<Rect> Without(Rect area, Rect hole) {
  const Rect cut = Intersect(area, hole);
  if (Empty(cut)) return {area};
  std::vector<Rect> out;
  const Rect bands[] = {{area.left, area.top, area.right, cut.top},
                        {area.left, cut.bottom, area.right, area.bottom},
                        {area.left, cut.top, cut.left, cut.bottom},
                        {cut.right, cut.top, area.right, cut.bottom}};
  for (const Rect& band : bands) {
    if (!Empty(band)) out.push_back(band);
  }
  return out;
}

}  // namespace

void PageUnmap::operator()(std::uint8_t* pages) const { munmap(pages, size); }

void CleanFrame::Reset() {
  pixels_.reset();
  pending_.clear();
}

bool CleanFrame::Apply(const std::uint8_t* pixels, int width, int height, int stride,
                       std::span<const Rect> damage, bool damage_known, Rect pointer) {
  const Rect bounds{0, 0, width, height};
  pointer = Intersect(pointer, bounds);
  if (!damage_known || !pixels_ || width != width_ || height != height_ || stride != stride_) {
    // Nothing better is known yet: the whole frame, the pointer too, which
    // goes once the pointer has left.
    const size_t size = static_cast<size_t>(stride) * height;
    if (!pixels_ || size != pixels_.get_deleter().size) {
      Reset();
      void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (pages == MAP_FAILED) return false;
      pixels_ = {static_cast<std::uint8_t*>(pages), PageUnmap{size}};
    }
    width_ = width;
    height_ = height;
    stride_ = stride;
    std::memcpy(pixels_.get(), pixels, size);
    pending_.clear();
    Wait(pointer);
    return true;
  }
  std::vector<Rect> changed(damage.begin(), damage.end());
  changed.insert(changed.end(), pending_.begin(), pending_.end());
  pending_.clear();
  for (const Rect& area : changed) {
    const Rect inside = Intersect(area, bounds);
    if (Empty(inside)) continue;
    for (const Rect& piece : Without(inside, pointer)) Copy(pixels, piece);
    Wait(Intersect(inside, pointer));
  }
  return true;
}

void CleanFrame::Copy(const std::uint8_t* from, Rect area) {
  const size_t bytes = static_cast<size_t>(area.Width()) * 4;
  for (int y = area.top; y < area.bottom; ++y) {
    const size_t at = static_cast<size_t>(y) * stride_ + static_cast<size_t>(area.left) * 4;
    std::memcpy(pixels_.get() + at, from + at, bytes);
  }
}

void CleanFrame::Wait(Rect area) {
  if (Empty(area)) return;
  pending_.push_back(area);
  if (pending_.size() <= kMaxPending) return;
  Rect all = pending_.front();
  for (const Rect& r : pending_) {
    all = {std::min(all.left, r.left), std::min(all.top, r.top), std::max(all.right, r.right),
           std::max(all.bottom, r.bottom)};
  }
  pending_ = {all};
}

}  // namespace huevex::wayland
