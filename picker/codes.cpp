#include "picker/codes.h"

#include <cstdio>

namespace huevex {
namespace {

// The components as the value's low, second and third bytes; the quotients
// truncate toward zero, as integer division does.
int Red(ColorValue v) { return v & 255; }
int Green(ColorValue v) { return (v / 256) & 255; }
int Blue(ColorValue v) { return (v / 65536) & 255; }

}  // namespace

std::string DecCode(ColorValue value) { return std::to_string(value); }

std::string RgbCode(ColorValue value) {
  return std::to_string(Red(value)) + "," + std::to_string(Green(value)) + "," +
         std::to_string(Blue(value));
}

std::string HexCode(ColorValue value) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", Red(value), Green(value), Blue(value));
  return text;
}

}  // namespace huevex
