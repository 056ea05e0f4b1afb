// Where X root pixels are in the frames captured from the compositor's
// outputs. Xwayland's root window spans the compositor's logical layout, so
// each output covers a rectangle of it (its logical position and size), while
// its captured buffer holds physical pixels: scaled (by a whole or fractional
// factor) and laid as the display shows them (rotated or mirrored by the
// output's transform, rows perhaps stored bottom up). A read at a logical point
// takes the buffer pixel under it.
#pragma once

#include <cstdint>
#include <span>

#include "shell/platform/platform.h"

namespace huevex::wayland {

// A finished capture of one output, in the buffer the compositor wrote.
struct FrameView {
  const std::uint8_t* pixels = nullptr;
  int width = 0;  // the buffer's own pixels
  int height = 0;
  int stride = 0;               // bytes per row
  std::uint32_t format = 0;     // a wl_shm format (see IsReadableFormat)
  std::uint32_t transform = 0;  // a wl_output transform: how the content lies
  bool y_invert = false;        // rows stored bottom row first
  std::int64_t captured_ns = 0;
};

struct OutputView {
  Rect logical;                      // the output's place in X root coordinates
  const FrameView* frame = nullptr;  // none yet
};

// The wl_shm formats reads understand (the protocol's codes): 32-bit words,
// 8 bits a channel, little-endian, so ARGB8888 lies in memory as B, G, R, A.
inline constexpr std::uint32_t kArgb8888 = 0, kXrgb8888 = 1;
inline constexpr std::uint32_t kAbgr8888 = 0x34324241, kXbgr8888 = 0x34324258;
bool IsReadableFormat(std::uint32_t format);
// One buffer word of a readable format as 0x00BBGGRR.
std::uint32_t ToColorValue(std::uint32_t format, std::uint32_t word);

// The buffer pixel shown at root point p of an output at logical.
Point BufferPixel(const FrameView& frame, Rect logical, Point p);

// The buffer pixels that show the root rectangle area of an output at
// logical, with a margin of at least a buffer pixel all round (a scaled
// picture blends neighbours); empty where area misses the output.
Rect BufferArea(const FrameView& frame, Rect logical, Rect area);

// Reads block (row-major, 0x00BBGGRR) from the outputs; pixels off every
// output read black. False, with out unspecified, when the block touches an
// output that has no frame. oldest_ns becomes the capture time of the oldest
// frame read (left alone when none was).
bool ReadOutputs(std::span<const OutputView> outputs, Rect block, std::uint32_t* out,
                 std::int64_t* oldest_ns);

}  // namespace huevex::wayland
