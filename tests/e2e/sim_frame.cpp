// What the simulated desktop paints for a color board picture, for comparing
// with what the real programs show:
//
//   huevex_sim_frame [main] X Y WIDTH HEIGHT RRGGBB[,RRGGBB...] CURSOR_X CURSOR_Y OUT.ppm
//
// The board is laid out as huevex_colorboard lays it out (equal stripes left to
// right, the last one taking the rest) on a 1280 x 1024 screen. By default the
// magnifier is opened from its bar, the cursor rests at the point, and the
// box's 139 x 71 pixels are written as a binary PPM. With "main", the crosshair
// is dragged to the point and released there, and the main window's client
// area is written instead: the swatch and the three codes of that pick.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/project.h"
#include "shell/platform/sim/sim_desktop.h"

namespace {

bool WritePpm(const char* path, huevex::sim::SimDesktop& desk, huevex::Rect area) {
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  std::fprintf(out, "P6\n%d %d\n255\n", area.Width(), area.Height());
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const huevex::ColorValue v = desk.ScreenPixel({x, y});
      std::fputc(huevex::GetRValue(v), out);
      std::fputc(huevex::GetGValue(v), out);
      std::fputc(huevex::GetBValue(v), out);
    }
  }
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace huevex;
  const bool main_window = argc > 1 && std::string(argv[1]) == "main";
  if (main_window) {
    --argc;
    ++argv;
  }
  if (argc != 9) {
    std::fprintf(stderr,
                 "usage: huevex_sim_frame [main] X Y W H RRGGBB[,...] CURSOR_X CURSOR_Y "
                 "OUT.ppm\n");
    return 2;
  }
  const int x = std::atoi(argv[1]), y = std::atoi(argv[2]);
  const int width = std::atoi(argv[3]), height = std::atoi(argv[4]);
  std::vector<ColorValue> colors;
  std::stringstream list(argv[5]);
  for (std::string item; std::getline(list, item, ',');) {
    const unsigned long rgb = std::strtoul(item.c_str(), nullptr, 16);
    colors.push_back(RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
  }
  if (colors.empty()) return 2;

  sim::SimDesktop desk({{{0, 0, 1280, 1024}, 96}});
  const int stripe = width / static_cast<int>(colors.size());
  for (size_t i = 0; i < colors.size(); ++i) {
    const int left = x + static_cast<int>(i) * stripe;
    const int right = i + 1 == colors.size() ? x + width : left + stripe;
    desk.FillBackground({left, y, right, y + height}, colors[i]);
  }
  Project project(desk.gdi(), desk);
  project.Start();
  const Rect main = desk.ClientRect(project.frmMain().Window());
  const Point cursor{std::atoi(argv[6]), std::atoi(argv[7])};
  if (main_window) {
    desk.MoveCursor({main.left + 23, main.top + 55});  // the crosshair
    desk.Press();
    desk.MoveCursor(cursor);
    desk.Advance(50);
    desk.Release();
    return WritePpm(argv[8], desk, main) ? 0 : 1;
  }
  desk.MoveCursor({main.left + 60, main.top + 85});  // the magnifier bar
  desk.Press();
  desk.Release();
  desk.MoveCursor(cursor);
  desk.Advance(50);

  const Rect box = desk.ClientRect(project.frmZoom().Window());
  return WritePpm(argv[8], desk,
                  {box.left + 17, box.top + 17, box.left + 17 + 139, box.top + 17 + 71})
             ? 0
             : 1;
}
