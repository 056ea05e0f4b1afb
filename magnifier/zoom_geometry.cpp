#include "magnifier/zoom_geometry.h"

namespace huevex {

ZoomCopy PlanCopy(const Point& point, double scale_width, double scale_height, Single zoom) {
  const double factor = zoom;  // widened: the arithmetic is double
  std::int32_t w = CLng(scale_width);
  std::int32_t h = CLng(scale_height);
  ZoomCopy copy;
  // The point lands near the middle of the block.
  copy.source_x = CLng(point.x - Floor(Divide(Divide(w, 2), factor)));
  copy.source_y = CLng(point.y - Floor(Divide(Divide(h, 2), factor)));
  copy.source_width = CLng(Floor(Divide(w, factor)));
  copy.source_height = CLng(Floor(Divide(h, factor)));

  // Squares are never shrunk: when they do not fill the box evenly, take a
  // further screen pixel and leave its square cut off at the box's edge.
  const auto whole = [&](std::int32_t& extent, std::int32_t& source) {
    const std::int32_t covered = CLng(Floor(factor * source));
    if (covered > extent) {
      extent = covered;
    } else if (covered < extent) {
      source = AddLong(source, 1);
      extent = CLng(factor + covered);
    }
  };
  whole(w, copy.source_width);
  whole(h, copy.source_height);
  copy.width = w;
  copy.height = h;
  return copy;
}

std::vector<Bar> PlanGrid(double scale_width, double scale_height, Single zoom) {
  std::vector<Bar> bars;
  if (!(zoom >= 3)) return bars;
  const std::int16_t w = CInt(scale_width);
  const std::int16_t h = CInt(scale_height);

  // A line on the first pixel column of every square, then on the first row.
  // End and step are taken once; the counter adds up in single precision.
  const Single step = zoom;
  const auto end_x = static_cast<Single>(w);
  for (Single c = 0; c <= end_x; c = AddSingle(c, step)) bars.push_back({CLng(Floor(c)), 0, 1, h});
  const auto end_y = static_cast<Single>(h);
  for (Single c = 0; c <= end_y; c = AddSingle(c, step)) bars.push_back({0, CLng(Floor(c)), w, 1});

  // The marker frames the square of the pixel under the cursor: that square
  // starts at the same offset the copy puts the cursor's pixel at.
  const double factor = zoom;
  const double qx = factor * Floor(Divide(Divide(w, 2), factor));
  const double qy = factor * Floor(Divide(Divide(h, 2), factor));
  const std::int32_t left = CLng(qx - 5), top = CLng(qy - 5);
  bars.push_back({left, top, 18, 5});            // top
  bars.push_back({left, top, 5, 18});            // left
  bars.push_back({left, CLng(qy + 10), 18, 5});  // bottom
  bars.push_back({CLng(qx + 10), top, 5, 18});   // right
  return bars;
}

}  // namespace huevex
