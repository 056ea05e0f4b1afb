// PNG pictures decoded with libpng into the program's 0x00BBGGRR pixels: how
// the desktop portal hands over its screenshot.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace huevex::wayland {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00BBGGRR, rows top first
};

// Larger pictures are refused rather than allocated.
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 28;

// Decodes a whole PNG file's bytes; false, with why, when they are not a PNG
// picture it can take.
bool DecodePng(std::span<const std::uint8_t> bytes, Image* image, std::string* why);

}  // namespace huevex::wayland
