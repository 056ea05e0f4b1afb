#include "shell/platform/x11/x11_pixels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

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

std::vector<unsigned long> IconProperty(const Picture& picture) {
  std::vector<unsigned long> out;
  out.reserve(2 + static_cast<size_t>(picture.width) * picture.height);
  out.push_back(static_cast<unsigned long>(picture.width));
  out.push_back(static_cast<unsigned long>(picture.height));
  for (size_t i = 0; i < static_cast<size_t>(picture.width) * picture.height; ++i) {
    if (picture.mask[i] != 0) {
      out.push_back(0);
      continue;
    }
    const std::uint32_t c = picture.color[i];
    out.push_back(0xFF000000ul | (static_cast<unsigned long>(GetRValue(c)) << 16) |
                  (static_cast<unsigned long>(GetGValue(c)) << 8) | GetBValue(c));
  }
  return out;
}

XftDpi ParseXftDpi(std::string_view resources) {
  constexpr std::string_view kName = "Xft.dpi:";
  size_t at = 0;
  while (at < resources.size()) {
    const size_t end = std::min(resources.find('\n', at), resources.size());
    std::string_view line = resources.substr(at, end - at);
    at = end + 1;
    if (!line.starts_with(kName)) continue;
    std::string value(line.substr(kName.size()));
    value.erase(0, value.find_first_not_of(" \t"));
    char* rest = nullptr;
    const double asked = std::strtod(value.c_str(), &rest);
    const std::string quoted = "Xft.dpi \"" + value.substr(0, 40) + "\"";
    if (rest == value.c_str() || std::isnan(asked)) {
      return {96, quoted + " is not a number; using 96"};
    }
    // Clamped before rounding, so that no value overflows an int.
    const auto rounded = static_cast<int>(std::lround(std::clamp(asked, -1.0, 1e6)));
    const int dpi = UsableDpi(rounded);
    if (dpi != rounded) {
      return {dpi, quoted + " is not the DPI of a monitor (" + std::to_string(kLeastDpi) + " to " +
                       std::to_string(kMostDpi) + "); using " + std::to_string(dpi)};
    }
    return {dpi, {}};
  }
  return {};
}

}  // namespace huevex::x11
