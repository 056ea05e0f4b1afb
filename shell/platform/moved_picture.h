// A picture moved off its centre, for pointers that must show a point other
// than the one the pointer is on: the picture at `offset` on a transparent
// field large enough that the field's centre (the hot spot) stays where the
// picture's was.
#pragma once

#include <cstdlib>

#include "shell/platform/platform.h"

namespace huevex {

inline Picture MovedPicture(const Picture& picture, Point offset) {
  const int ax = std::abs(offset.x), ay = std::abs(offset.y);
  Picture out;
  out.width = picture.width + 2 * ax;
  out.height = picture.height + 2 * ay;
  out.color.assign(static_cast<size_t>(out.width) * out.height, 0);
  out.mask.assign(out.color.size(), 1);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const size_t from = static_cast<size_t>(y) * picture.width + x;
      const size_t to = static_cast<size_t>(y + ay + offset.y) * out.width + (x + ax + offset.x);
      out.color[to] = picture.color[from];
      out.mask[to] = picture.mask[from];
    }
  }
  return out;
}

// Farther off than this a pointer's picture stays on the pointer: a cursor of
// more than 111 pixels a side is more than some systems take.
inline constexpr int kMostPictureOffset = 48;

}  // namespace huevex
