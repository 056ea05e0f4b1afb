// How a color value is written out: DEC is the number as it is, RGB its parts
// as "R,G,B", HEX "#RRGGBB" in capitals with red leading.
#pragma once

#include <string>

#include "shell/platform/platform.h"

namespace huevex {

std::string DecCode(ColorValue value);
std::string RgbCode(ColorValue value);
std::string HexCode(ColorValue value);

}  // namespace huevex
