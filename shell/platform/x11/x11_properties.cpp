#include "shell/platform/x11/x11_properties.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "shell/platform/soft/utf8.h"

namespace huevex::x11 {

std::vector<long> ReadLongs(Display* display, Window window, Atom property, Atom type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actual, &format, &count,
                         &left, &data) == Success &&
      data && format == 32) {
    const auto* items = reinterpret_cast<const long*>(data);
    out.assign(items, items + count);
  }
  if (data) XFree(data);
  return out;
}

std::string ReadText(Display* display, Window window, Atom property) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  std::string out;
  if (XGetWindowProperty(display, window, property, 0, 1 << 20, False, AnyPropertyType, &actual,
                         &format, &count, &left, &data) == Success &&
      data && format == 8) {
    out.assign(reinterpret_cast<const char*>(data), count);
  }
  if (data) XFree(data);
  return out;
}

void WriteLongs(Display* display, Window window, Atom property, Atom type,
                std::span<const long> items) {
  XChangeProperty(display, window, property, type, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(items.data()),
                  static_cast<int>(items.size()));
}

void WriteTitle(Display* display, const Atoms& atoms, Window window, std::string_view utf8) {
  const std::string latin1 = Latin1FromUtf8(utf8);
  XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(latin1.data()),
                  static_cast<int>(latin1.size()));
  XChangeProperty(display, window, atoms.net_wm_name, atoms.utf8_string, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()),
                  static_cast<int>(utf8.size()));
}

std::string Latin1FromUtf8(std::string_view utf8) {
  std::string out;
  for (char32_t code : soft::DecodeUtf8(utf8)) {
    out.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
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
