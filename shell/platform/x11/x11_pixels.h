// Conversions between the program's pictures and colors and what the X server
// takes: pixel values of a TrueColor visual, cursor bitmaps, the window icon
// property, the Xft.dpi resource and Latin-1 text for STRING requestors.
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

// A picture as the two bitmaps of a pixmap cursor, in X bitmap order (rows
// padded to whole bytes, the leftmost pixel in the lowest bit). Mask bits are
// set where the picture draws; source bits where it draws a dark color, which
// shows in the cursor's foreground (black). The hot spot is the centre pixel.
struct CursorBitmaps {
  int width = 0;
  int height = 0;
  int hot_x = 0;
  int hot_y = 0;
  std::vector<unsigned char> source;
  std::vector<unsigned char> mask;
};
CursorBitmaps MakeCursorBitmaps(const Picture& picture);

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

// UTF-8 text as Latin-1; characters beyond Latin-1 become "?".
std::string Latin1FromUtf8(std::string_view utf8);

}  // namespace huevex::x11
