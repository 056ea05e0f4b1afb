#include "shell/platform/x11/x11_pixels.h"

#include <bit>

namespace huevex::x11 {
namespace {

unsigned long Component(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const unsigned long value = (pixel & mask) >> shift;
  if (bits >= 8) return value >> (bits - 8);
  return value * 255 / ((1ul << bits) - 1);
}

unsigned long Place(unsigned long component, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const unsigned long value =
      bits >= 8 ? component << (bits - 8) : (component * ((1ul << bits) - 1) + 127) / 255;
  return (value << shift) & mask;
}

}  // namespace

std::uint32_t ToColorValue(unsigned long pixel, const PixelFormat& format) {
  const unsigned long r = Component(pixel, format.red_mask);
  const unsigned long g = Component(pixel, format.green_mask);
  const unsigned long b = Component(pixel, format.blue_mask);
  return static_cast<std::uint32_t>(r | (g << 8) | (b << 16));
}

unsigned long FromColorValue(std::uint32_t color, const PixelFormat& format) {
  return Place(color & 0xFF, format.red_mask) | Place((color >> 8) & 0xFF, format.green_mask) |
         Place((color >> 16) & 0xFF, format.blue_mask);
}

}  // namespace huevex::x11
