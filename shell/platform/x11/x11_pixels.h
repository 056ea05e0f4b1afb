// Conversions between the program's pictures and colors and what the X server
// takes: pixel values of a TrueColor visual, the window icon property and the
// Xft.dpi resource.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/platform/platform.h"

namespace huevex::x11 {

// Where red, green and blue sit in a pixel value of the screen's visual.
struct PixelFormat {
  unsigned long red_mask = 0xFF0000;
  unsigned long green_mask = 0x00FF00;
  unsigned long blue_mask = 0x0000FF;
};

// A screen pixel as a color value 0x00BBGGRR; components narrower than eight
// bits are widened so that their full scale is 255.
std::uint32_t ToColorValue(unsigned long pixel, const PixelFormat& format);
// A color value 0x00BBGGRR (the top byte ignored) as a pixel value.
unsigned long FromColorValue(std::uint32_t color, const PixelFormat& format);

// The _NET_WM_ICON value of a picture: width, height, then one ARGB value per
// pixel, rows top first; pixels the picture does not draw have alpha 0.
// Elements are longs, as Xlib takes 32-bit property data.
std::vector<unsigned long> IconProperty(const Picture& picture);

// The DPI the Xft.dpi value in the resource database text asks for, as the
// program uses it (UsableDpi): rounded, 96 when the value is missing. A value
// no monitor has (no number, zero or less, out of range) comes with a note of
// what was made of it, to be said once.
struct XftDpi {
  int dpi = 96;
  std::string note;
};
XftDpi ParseXftDpi(std::string_view resources);

}  // namespace huevex::x11
