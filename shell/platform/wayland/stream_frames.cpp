#include "shell/platform/wayland/stream_frames.h"

#include "shell/platform/wayland/output_map.h"

namespace huevex::wayland {

Rect StreamFrame::Place() const {
  if (logical.Width() > 0 && logical.Height() > 0) return logical;
  return {0, 0, width, height};
}

bool ReadStreams(std::span<const StreamFrame> streams, Rect block, std::uint32_t* out,
                 std::int64_t* oldest_ns) {
  std::vector<FrameView> frames;
  frames.reserve(streams.size());
  std::vector<OutputView> views;
  views.reserve(streams.size());
  for (const StreamFrame& s : streams) {
    const bool placed = s.logical.Width() > 0 && s.logical.Height() > 0;
    if (!s.HasFrame()) {
      if (!placed) return false;
      views.push_back({s.logical, nullptr});
      continue;
    }
    frames.push_back(
        {s.pixels.data(), s.width, s.height, s.stride, s.format, 0, false, s.captured_ns});
    views.push_back({s.Place(), &frames.back()});
  }
  return ReadOutputs(views, block, out, oldest_ns);
}

}  // namespace huevex::wayland
