// Colors as the X server takes them: pixel values of a TrueColor visual.
#pragma once

#include <cstdint>

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

}  // namespace huevex::x11
