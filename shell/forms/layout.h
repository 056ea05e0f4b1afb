// A window written down as data: the form's properties, then its controls in
// the order they are listed. In a container, what is listed first is on top;
// labels, images and lines are drawn on the container itself, under any
// frames and picture boxes in it.
#pragma once

#include <string_view>
#include <vector>

#include "shell/platform/platform.h"

namespace huevex {

enum class ControlKind { Frame, Image, Label, PictureBox, Line, Timer };

// The toolkit's default colors: the 3D face behind, the button text in front.
inline constexpr ColorValue kDefaultBackColor = static_cast<ColorValue>(0x8000000F);
inline constexpr ColorValue kDefaultForeColor = static_cast<ColorValue>(0x80000012);
inline constexpr ColorValue kWindowColor = static_cast<ColorValue>(0x80000005);
inline constexpr ColorValue kWindowTextColor = static_cast<ColorValue>(0x80000008);

struct ControlLayout {
  std::string_view name{};
  ControlKind kind = ControlKind::Frame;
  std::string_view container{};  // empty: the form itself
  // Twips, relative to the inside of the container. A line's X1, Y1, X2, Y2.
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  std::string_view caption{};
  ColorValue back_color = kDefaultBackColor;
  ColorValue fore_color = kDefaultForeColor;
  TextAlign alignment = TextAlign::Left;
  bool transparent = false;  // labels: no background of their own
  bool border = true;        // frames: the 3D border; picture boxes: a flat one-pixel border
  FontDesc font{};           // an empty face: the form's font
  const Picture* picture = nullptr;
  bool auto_size = false;         // picture boxes that take their picture's size
  bool pixel_scale = false;       // picture boxes measured in pixels instead of twips
  bool persistent_image = false;  // picture boxes that keep their drawing in an image
  int line_width = 1;             // pixels
  bool enabled = true;            // timers
  int interval = 0;               // timers, milliseconds
};

enum class StartUpPosition { Manual, CenterScreen, WindowsDefault };

struct FormLayout {
  std::string_view name{};
  std::string_view caption{};
  bool framed = true;  // false: borderless, the window area is the client area
  bool taskbar = true;
  int client_width = 0;  // twips
  int client_height = 0;
  StartUpPosition start_up = StartUpPosition::WindowsDefault;
  FontDesc font{"MS Sans Serif", 8.25, 400};
  ColorValue back_color = kDefaultBackColor;
  const Picture* icon = nullptr;
  std::vector<ControlLayout> controls{};
};

}  // namespace huevex
