#include "resources/pictures.h"

#include <string_view>

namespace huevex::pictures {

// The pixel maps, one row of the picture to a line, top row first.
// clang-format off
const char* const kQuestionMap[] = {
    "................",
    "......####......",
    ".....#....#.....",
    "....#..##..#....",
    "....###..#.#....",
    ".....#...#.#....",
    ".......##..#....",
    "......##.##.....",
    "......#.##......",
    "......###.......",
    "................",
    "......###.......",
    "......#.#.......",
    "......###.......",
    "................",
    "................",
};

const char* const kMagnifierMap[] = {
    "................",
    "........#####...",
    ".......##...##..",
    "......##..#..#..",
    "......#...#...#.",
    "......#.#####.#.",
    "......#...#...#.",
    ".......#..#..#..",
    ".......##...##..",
    "......#..###....",
    ".....#..........",
    "....#...........",
    "...#............",
    "..#.............",
    "................",
    "................",
};

const char* const kCaretMap[] = {
    "................",
    "................",
    "................",
    "................",
    "................",
    "...##########...",
    "....#......#....",
    ".....#....#.....",
    "......#..#......",
    ".......##.......",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
};

const char* const kCrosshairMap[] = {
    ".......#.......",
    ".......#.......",
    ".......#.......",
    ".....#####.....",
    "....#.....#....",
    "...#.......#...",
    "...#.......#...",
    "####...#...####",
    "...#.......#...",
    "...#.......#...",
    "....#.....#....",
    ".....#####.....",
    ".......#.......",
    ".......#.......",
    ".......#.......",
};

const char* const kIcon32Map[] = {
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    ".....#..........................",
    ".....#####......................",
    ".....#cccc####..................",
    ".....#####cccc####..............",
    ".....#ssss####cccc#####.........",
    ".....#WWWWssss####cccc#.........",
    ".....#WWWWWWWWssss#####.........",
    ".....#WWWWWWWWWWWWssss#.........",
    ".....#WWWWWWWWWWWWWWWW#.........",
    ".....#WWWWWWWWWWWWWWWW#.........",
    ".....#WWWWWWWWWWWWWWWW#.........",
    ".....#WWWWWWWWWWWWWWWW#.........",
    ".....#WWWWWWWWWWWWWWWW#.........",
    ".....#WWWWWWWWWWWWWWWW#.........",
    ".....#WWWWWWWWWWWWWWWW#.........",
    ".....#WWWWWWWWWWWWWWWW#gg.......",
    ".....#WWWWWWWWWWWWWWWW#gggg.....",
    ".....####sWWWWWWWWWWWW#gggggg...",
    ".........#####sWWWWWWW#gggg.....",
    "..............####sWWW#gg.......",
    "..................#####.........",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
};

const char* const kIcon16Map[] = {
    "................",
    "................",
    "................",
    "..###...........",
    "..#cc####.......",
    "..###cccc###....",
    "..#Ws####cc#....",
    "..#WWWWWs###....",
    "..#WWWWWWWW#....",
    "..#WWWWWWWW#....",
    "..#WWWWWWWW#g...",
    "..###sWWWWW#ggg.",
    ".....####sW#gg..",
    ".........###....",
    "................",
    "................",
};
// clang-format on

namespace {

std::uint32_t ColorOf(char c) {
  switch (c) {
    case 'W':
      return 0xFFFFFF;
    case 'c':
      return static_cast<std::uint32_t>(RGB(0x00, 0xFF, 0xFF));
    case 's':
      return static_cast<std::uint32_t>(RGB(0xC0, 0xC0, 0xC0));
    case 'g':
      return static_cast<std::uint32_t>(RGB(0x80, 0x80, 0x80));
    default:
      return 0;  // '#' and '.'
  }
}

}  // namespace

Picture FromMap(std::span<const char* const> rows) {
  Picture picture;
  picture.height = static_cast<int>(rows.size());
  picture.width = static_cast<int>(std::string_view(rows[0]).size());
  for (const char* row : rows) {
    for (char c : std::string_view(row)) {
      picture.color.push_back(ColorOf(c));
      picture.mask.push_back(c == '.' ? 1 : 0);
    }
  }
  return picture;
}

const Picture& Question() {
  static const Picture picture = FromMap(kQuestionMap);
  return picture;
}

const Picture& Magnifier() {
  static const Picture picture = FromMap(kMagnifierMap);
  return picture;
}

const Picture& Caret() {
  static const Picture picture = FromMap(kCaretMap);
  return picture;
}

const Picture& Crosshair() {
  static const Picture picture = FromMap(kCrosshairMap);
  return picture;
}

const Picture& ApplicationIcon32() {
  static const Picture picture = FromMap(kIcon32Map);
  return picture;
}

const Picture& ApplicationIcon16() {
  static const Picture picture = FromMap(kIcon16Map);
  return picture;
}

const Picture& ApplicationIconMono() {
  static const Picture picture = [] {
    Picture mono = FromMap(kIcon32Map);
    for (size_t i = 0; i < mono.color.size(); ++i) {
      const std::uint32_t c = mono.color[i];
      const bool dark = c == 0 || c == static_cast<std::uint32_t>(RGB(0x80, 0x80, 0x80));
      mono.color[i] = mono.mask[i] || !dark ? 0xFFFFFFu : 0u;
    }
    // Two places where the small drawing differs from the coloured one.
    const auto at = [&](int row, int column) { return static_cast<size_t>(row) * 32 + column; };
    mono.color[at(23, 9)] = 0;
    mono.color[at(24, 9)] = 0xFFFFFF;
    mono.mask[at(24, 9)] = 1;
    return mono;
  }();
  return picture;
}

}  // namespace huevex::pictures
