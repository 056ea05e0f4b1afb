#include "shell/platform/wayland/output_map.h"

#include <algorithm>
#include <cstring>

namespace huevex::wayland {
namespace {

// wl_output transforms: a quarter turn count in the low two bits, mirrored
// when the third bit is set.
constexpr bool SwapsAxes(std::uint32_t transform) { return (transform & 1) != 0; }

}  // namespace

bool IsReadableFormat(std::uint32_t format) {
  return format == kArgb8888 || format == kXrgb8888 || format == kAbgr8888 || format == kXbgr8888;
}

std::uint32_t ToColorValue(std::uint32_t format, std::uint32_t word) {
  if (format == kAbgr8888 || format == kXbgr8888) return word & 0xFFFFFFu;
  return ((word & 0xFFu) << 16) | (word & 0xFF00u) | ((word >> 16) & 0xFFu);
}

Point BufferPixel(const FrameView& frame, Rect logical, Point p) {
  // The output as shown (after the transform) is wide x high buffer pixels.
  const bool swap = SwapsAxes(frame.transform);
  const std::int64_t wide = swap ? frame.height : frame.width;
  const std::int64_t high = swap ? frame.width : frame.height;
  const std::int64_t lw = std::max(logical.Width(), 1), lh = std::max(logical.Height(), 1);
  const std::int64_t tx = std::clamp<std::int64_t>((p.x - logical.left) * wide / lw, 0, wide - 1);
  const std::int64_t ty = std::clamp<std::int64_t>((p.y - logical.top) * high / lh, 0, high - 1);
  // Undo the transform: from the shown picture back to the buffer's own rows.
  std::int64_t bx = tx, by = ty;
  switch (frame.transform & 7) {
    case 1:  // 90
      bx = ty, by = wide - 1 - tx;
      break;
    case 2:  // 180
      bx = wide - 1 - tx, by = high - 1 - ty;
      break;
    case 3:  // 270
      bx = high - 1 - ty, by = tx;
      break;
    case 4:  // flipped
      bx = wide - 1 - tx;
      break;
    case 5:  // flipped 90
      bx = ty, by = tx;
      break;
    case 6:  // flipped 180
      by = high - 1 - ty;
      break;
    case 7:  // flipped 270
      bx = high - 1 - ty, by = wide - 1 - tx;
      break;
  }
  if (frame.y_invert) by = frame.height - 1 - by;
  return {static_cast<std::int32_t>(bx), static_cast<std::int32_t>(by)};
}

Rect BufferArea(const FrameView& frame, Rect logical, Rect area) {
  const Rect on = Intersect(logical, area);
  if (on.Width() <= 0 || on.Height() <= 0 || frame.width <= 0 || frame.height <= 0) return {};
  const Point a = BufferPixel(frame, logical, {on.left, on.top});
  const Point b = BufferPixel(frame, logical, {on.right - 1, on.bottom - 1});
  const bool swap = SwapsAxes(frame.transform);
  const std::int64_t wide = swap ? frame.height : frame.width;
  const std::int32_t margin = static_cast<std::int32_t>((wide + std::max(logical.Width(), 1) - 1) /
                                                        std::max(logical.Width(), 1));
  return Intersect({std::min(a.x, b.x) - margin, std::min(a.y, b.y) - margin,
                    std::max(a.x, b.x) + 1 + margin, std::max(a.y, b.y) + 1 + margin},
                   {0, 0, frame.width, frame.height});
}

bool ReadOutputs(std::span<const OutputView> outputs, Rect block, std::uint32_t* out,
                 std::int64_t* oldest_ns) {
  const int width = block.Width(), height = block.Height();
  if (width <= 0 || height <= 0) return true;
  std::fill_n(out, static_cast<size_t>(width) * height, 0u);
  std::int64_t oldest = 0;
  bool any = false;
  for (const OutputView& output : outputs) {
    const Rect area = Intersect(output.logical, block);
    if (area.Width() <= 0 || area.Height() <= 0) continue;
    const FrameView* frame = output.frame;
    if (!frame || !frame->pixels || frame->width <= 0 || frame->height <= 0) return false;
    for (int y = area.top; y < area.bottom; ++y) {
      std::uint32_t* row = out + static_cast<size_t>(y - block.top) * width;
      for (int x = area.left; x < area.right; ++x) {
        const Point b = BufferPixel(*frame, output.logical, {x, y});
        std::uint32_t word;
        std::memcpy(&word, frame->pixels + static_cast<size_t>(b.y) * frame->stride + b.x * 4, 4);
        row[x - block.left] = ToColorValue(frame->format, word);
      }
    }
    if (!any || frame->captured_ns < oldest) oldest = frame->captured_ns;
    any = true;
  }
  if (any) *oldest_ns = oldest;
  return true;
}

}  // namespace huevex::wayland
