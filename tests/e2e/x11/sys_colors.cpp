// The system colors the program draws its forms with, as the software GDI
// gives them, so that screen checks compare against the program's own table:
//
//   huevex_sys_colors
//
// prints one "NAME RRGGBB" line per color, NAME without its COLOR_ prefix.
#include <cstdio>

#include "shell/platform/soft/soft_gdi.h"

namespace {

// Only GetSysColor is asked for; there is no screen behind it.
class NoScreen : public huevex::soft::ScreenSource {
 public:
  bool CursorPos(huevex::Point*) override { return false; }
  bool WarpCursor(huevex::Point) override { return false; }
  bool OnScreen(huevex::Point) override { return false; }
  bool Read(huevex::Rect, std::uint32_t*) override { return false; }
};

}  // namespace

int main() {
  using namespace huevex;
  NoScreen screen;
  soft::SoftGdi gdi(screen);
  const struct {
    const char* name;
    int index;
  } colors[] = {
      {"WINDOW", COLOR_WINDOW},
      {"WINDOWFRAME", COLOR_WINDOWFRAME},
      {"WINDOWTEXT", COLOR_WINDOWTEXT},
      {"BTNFACE", COLOR_BTNFACE},
      {"BTNSHADOW", COLOR_BTNSHADOW},
      {"BTNTEXT", COLOR_BTNTEXT},
      {"BTNHIGHLIGHT", COLOR_BTNHIGHLIGHT},
      {"3DDKSHADOW", COLOR_3DDKSHADOW},
      {"3DLIGHT", COLOR_3DLIGHT},
  };
  for (const auto& c : colors) {
    const ColorValue v = gdi.GetSysColor(c.index);
    std::printf("%s %02X%02X%02X\n", c.name, GetRValue(v), GetGValue(v), GetBValue(v));
  }
  return 0;
}
