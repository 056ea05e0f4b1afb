// The three codes of a color value: DEC (the value itself), RGB ("R,G,B") and
// HEX ("#RRGGBB", red first, uppercase).
#pragma once

#include <string>

#include "shell/platform/platform.h"

namespace huevex {

std::string DecCode(ColorValue value);
std::string RgbCode(ColorValue value);
std::string HexCode(ColorValue value);

}  // namespace huevex
