// The application icon in the formats the platforms take, made from the
// pixel maps: the three RT_ICON images and their RT_GROUP_ICON directory for
// the Windows resource script, an .ico file, and PNG files for Linux desktops.
#pragma once

#include <cstdint>
#include <vector>

#include "shell/platform/platform.h"

namespace huevex::icons {

using Bytes = std::vector<std::uint8_t>;

// The images in the group's order: 32 x 32 in 2 colors, 32 x 32 and 16 x 16 in 16.
inline constexpr int kImageCount = 3;
inline constexpr int kFirstImageId = 30001;

// One RT_ICON resource: header, palette, color bitmap, AND mask, bottom row first.
Bytes IconImage(int index);
// The RT_GROUP_ICON directory naming the images by resource id.
Bytes GroupDirectory();
// The same images as an .ico file.
Bytes IcoFile();
// A picture as a 32-bit RGBA PNG; masked pixels are fully transparent.
Bytes PngFile(const Picture& picture);

}  // namespace huevex::icons
