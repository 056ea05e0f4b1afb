#include "shell/platform/wayland/png_image.h"

#include <png.h>

namespace huevex::wayland {

bool DecodePng(std::span<const std::uint8_t> bytes, Image* image, std::string* why) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
    *why = png.message;
    return false;
  }
  if (png.width == 0 || png.height == 0 || std::int64_t{png.width} * png.height > kMaxImagePixels) {
    png_image_free(&png);
    *why = "the picture's size is out of range";
    return false;
  }
  // RGBA bytes read as little-endian words are 0xAABBGGRR: the alpha byte
  // goes, the rest is already the program's layout.
  png.format = PNG_FORMAT_RGBA;
  std::vector<std::uint32_t> pixels(static_cast<size_t>(png.width) * png.height);
  if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
    *why = png.message;
    png_image_free(&png);
    return false;
  }
  for (std::uint32_t& p : pixels) p &= 0xFFFFFFu;
  image->width = static_cast<int>(png.width);
  image->height = static_cast<int>(png.height);
  image->pixels = std::move(pixels);
  return true;
}

}  // namespace huevex::wayland
