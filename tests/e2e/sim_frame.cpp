// The magnifier frame the simulated desktop paints for a color board picture,
// for comparing with what the real programs show:
//
//   huevex_sim_frame X Y WIDTH HEIGHT RRGGBB[,RRGGBB...] CURSOR_X CURSOR_Y OUT.ppm
//
// The board is laid out as huevex_colorboard lays it out (equal stripes left to
// right, the last one taking the rest) on a 1280 x 1024 screen; the magnifier is
// opened from its bar, the cursor rests at the point, and the box's 139 x 71
// pixels are written as a binary PPM.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/project.h"
#include "shell/platform/sim/sim_desktop.h"

int main(int argc, char** argv) {
  using namespace huevex;
  if (argc != 9) {
    std::fprintf(stderr, "usage: %s X Y W H RRGGBB[,...] CURSOR_X CURSOR_Y OUT.ppm\n", argv[0]);
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
  desk.MoveCursor({main.left + 60, main.top + 85});  // the magnifier bar
  desk.Press();
  desk.Release();
  desk.MoveCursor({std::atoi(argv[6]), std::atoi(argv[7])});
  desk.Advance(50);

  const Rect box = desk.ClientRect(project.frmZoom().Window());
  FILE* out = std::fopen(argv[8], "wb");
  if (!out) return 1;
  std::fprintf(out, "P6\n139 71\n255\n");
  for (int row = 0; row < 71; ++row) {
    for (int column = 0; column < 139; ++column) {
      const ColorValue v = desk.ScreenPixel({box.left + 17 + column, box.top + 17 + row});
      std::fputc(GetRValue(v), out);
      std::fputc(GetGValue(v), out);
      std::fputc(GetBValue(v), out);
    }
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
