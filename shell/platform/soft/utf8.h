// UTF-8 text as code points, for the text renderer and for the X11
// properties that still want Latin-1. Malformed bytes are taken as they come:
// the program's own texts are all well formed.
#pragma once

#include <string>
#include <string_view>

namespace huevex::soft {

inline std::u32string DecodeUtf8(std::string_view utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    out.push_back(code);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

}  // namespace huevex::soft
