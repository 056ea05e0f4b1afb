// The magnifier's arithmetic: which screen block a frame copies and where it
// lands, and where the grid lines and the centre marker go. Every rounding is
// to the even neighbour and every narrowing is checked, so a box or a point
// out of range raises the run-time error instead of drawing nonsense.
#pragma once

#include <cstdint>
#include <vector>

#include "shell/numbers.h"
#include "shell/platform/platform.h"

namespace huevex {

// One stretched copy: the source block on the screen and the destination
// rectangle at the box's top-left corner, grown to whole squares.
struct ZoomCopy {
  std::int32_t source_x = 0;
  std::int32_t source_y = 0;
  std::int32_t source_width = 0;
  std::int32_t source_height = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const ZoomCopy&, const ZoomCopy&) = default;
};

ZoomCopy PlanCopy(const Point& point, double scale_width, double scale_height, Single zoom);

// One pattern fill: x, y, width, height in box pixels.
struct Bar {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const Bar&, const Bar&) = default;
};

// The grid lines (vertical, then horizontal) and then the four bars of the
// centre marker (top, left, bottom, right), in drawing order. Empty when the
// zoom is too small for a grid to help (below 3, or not a number).
std::vector<Bar> PlanGrid(double scale_width, double scale_height, Single zoom);

}  // namespace huevex
