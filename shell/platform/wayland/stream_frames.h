// The screen cast's frames and where they lie on the X root. The portal
// tells each stream's place and size in the compositor's logical layout,
// which under Xwayland are X root coordinates; a stream's frames may be of
// another size (a scaled monitor sends its physical pixels), so a root point
// takes the frame pixel at (point - place) * frame size / logical size.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "shell/platform/platform.h"

namespace huevex::wayland {

// One stream the portal started: its PipeWire node and its place on the root
// (empty when the portal told none).
struct StreamPlace {
  std::uint32_t node = 0;
  Rect logical;
};

// The newest finished frame of one stream, in memory of our own.
struct StreamFrame {
  Rect logical;  // its place on the root; empty when the portal told none
  std::vector<std::uint8_t> pixels;
  int width = 0, height = 0;  // the frame's pixels; 0 while there is none
  int stride = 0;             // bytes per row
  std::uint32_t format = 0;   // a wl_shm format reads understand (output_map.h)
  std::int64_t captured_ns = 0;

  bool HasFrame() const { return width > 0 && height > 0 && !pixels.empty(); }
  // Where it lies: the portal's place, else the frame's size at the origin.
  Rect Place() const;
};

// Reads block (row-major, 0x00BBGGRR); pixels on no stream read black. False
// when a stream the block touches has no frame yet (one whose place is
// unknown touches every block). oldest_ns becomes the oldest frame's time.
bool ReadStreams(std::span<const StreamFrame> streams, Rect block, std::uint32_t* out,
                 std::int64_t* oldest_ns);

}  // namespace huevex::wayland
