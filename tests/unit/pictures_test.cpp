#include "resources/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace huevex::pictures {
namespace {

int Drawn(const Picture& p) {
  return static_cast<int>(std::count(p.mask.begin(), p.mask.end(), 0));
}

TEST(Pictures, SizesAndDrawnPixels) {
  const struct {
    const Picture& picture;
    int width, height;
  } cases[] = {{Question(), 16, 16},  {Magnifier(), 16, 16},         {Caret(), 16, 16},
               {Crosshair(), 15, 15}, {ApplicationIcon32(), 32, 32}, {ApplicationIcon16(), 16, 16}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.picture.width, c.width);
    EXPECT_EQ(c.picture.height, c.height);
    EXPECT_EQ(c.picture.color.size(), static_cast<size_t>(c.width * c.height));
    // Transparent pixels are black under a set mask: they leave the surface alone.
    for (size_t i = 0; i < c.picture.mask.size(); ++i) {
      if (c.picture.mask[i]) {
        ASSERT_EQ(c.picture.color[i], 0u);
      }
    }
  }
  EXPECT_EQ(Drawn(Crosshair()), 37);
  EXPECT_EQ(Crosshair().mask[7 * 15 + 7], 0);  // the centre dot, the pointer's hot spot
  EXPECT_EQ(Crosshair().mask[7 * 15 + 6], 1);
}

TEST(Pictures, TheTwoColorIconFollowsTheDrawingWithItsTwoExceptions) {
  const Picture& mono = ApplicationIconMono();
  const Picture& color = ApplicationIcon32();
  const auto at = [](int row, int column) { return static_cast<size_t>(row * 32 + column); };
  EXPECT_EQ(color.color[at(23, 9)], static_cast<std::uint32_t>(RGB(0xC0, 0xC0, 0xC0)));
  EXPECT_EQ(mono.color[at(23, 9)], 0u);
  EXPECT_EQ(color.mask[at(24, 9)], 0);
  EXPECT_EQ(mono.mask[at(24, 9)], 1);
  // Outside the drawing: mask 1 over white, which inverts; nothing is transparent.
  EXPECT_EQ(mono.mask[at(0, 0)], 1);
  EXPECT_EQ(mono.color[at(0, 0)], 0xFFFFFFu);
  EXPECT_EQ(mono.color[at(21, 23)], 0u);       // grey draws black
  EXPECT_EQ(mono.color[at(8, 6)], 0xFFFFFFu);  // cyan draws white
}

}  // namespace
}  // namespace huevex::pictures
