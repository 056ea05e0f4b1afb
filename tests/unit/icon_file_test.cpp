// The generated icon read back with a reader of its own and compared with the
// pixel maps it was made from.
#include "tools/icon_file.h"

#include <gtest/gtest.h>

#include <string_view>

#include "resources/pictures.h"

namespace huevex::icons {
namespace {

unsigned U16(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t U32(const Bytes& b, size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

// One image of the file, decoded: palette entries as RRGGBB, and per pixel
// (top row first) its palette index and mask bit.
struct Decoded {
  int width, height, bits;
  std::vector<std::uint32_t> palette;
  std::vector<int> index, mask;
};

Decoded Decode(const Bytes& file, size_t at, size_t length) {
  EXPECT_EQ(U32(file, at), 40u);
  Decoded d{static_cast<int>(U32(file, at + 4)),
            static_cast<int>(U32(file, at + 8)) / 2,
            static_cast<int>(U16(file, at + 14)),
            {},
            {},
            {}};
  EXPECT_EQ(U16(file, at + 12), 1u);  // planes
  EXPECT_EQ(U32(file, at + 16), 0u);  // no compression
  EXPECT_EQ(U32(file, at + 32), 0u);  // colors used
  const int colors = 1 << d.bits;
  size_t p = at + 40;
  for (int i = 0; i < colors; ++i, p += 4) {
    EXPECT_EQ(file[p + 3], 0);
    d.palette.push_back((file[p + 2] << 16) | (file[p + 1] << 8) | file[p]);
  }
  const size_t color_row = (d.width * d.bits + 31) / 32 * 4, mask_row = (d.width + 31) / 32 * 4;
  EXPECT_EQ(U32(file, at + 20), (color_row + mask_row) * d.height);
  EXPECT_EQ(length, 40 + 4 * colors + (color_row + mask_row) * d.height);
  d.index.resize(d.width * d.height);
  d.mask.resize(d.width * d.height);
  for (int y = 0; y < d.height; ++y) {
    const size_t color = p + (d.height - 1 - y) * color_row;
    const size_t mask = p + d.height * color_row + (d.height - 1 - y) * mask_row;
    for (int x = 0; x < d.width; ++x) {
      const int bit = x * d.bits;
      d.index[y * d.width + x] = (file[color + bit / 8] >> (8 - d.bits - bit % 8)) & (colors - 1);
      d.mask[y * d.width + x] = (file[mask + x / 8] >> (7 - x % 8)) & 1;
    }
  }
  return d;
}

char MapCharOf(std::uint32_t rgb, int mask) {
  if (mask) return '.';
  switch (rgb) {
    case 0x000000:
      return '#';
    case 0x808080:
      return 'g';
    case 0xC0C0C0:
      return 's';
    case 0x00FFFF:
      return 'c';
    case 0xFFFFFF:
      return 'W';
    default:
      return '?';
  }
}

TEST(IconFile, DirectoryAndImageSizes) {
  const Bytes file = IcoFile();
  ASSERT_GE(file.size(), 6u + 48u);
  EXPECT_EQ(U16(file, 0), 0u);
  EXPECT_EQ(U16(file, 2), 1u);
  EXPECT_EQ(U16(file, 4), 3u);
  const struct {
    int size, colors, bits;
    std::uint32_t bytes;
  } want[] = {{32, 2, 1, 304}, {32, 16, 4, 744}, {16, 16, 4, 296}};
  std::uint32_t offset = 6 + 48;
  for (int i = 0; i < 3; ++i) {
    const size_t e = 6 + 16 * i;
    EXPECT_EQ(file[e], want[i].size);
    EXPECT_EQ(file[e + 1], want[i].size);
    EXPECT_EQ(file[e + 2], want[i].colors);
    EXPECT_EQ(U16(file, e + 4), 1u);
    EXPECT_EQ(U16(file, e + 6), static_cast<unsigned>(want[i].bits));
    EXPECT_EQ(U32(file, e + 8), want[i].bytes);
    EXPECT_EQ(U32(file, e + 12), offset);
    offset += want[i].bytes;
  }
  EXPECT_EQ(file.size(), offset);

  // The resource directory says the same, naming the images 30001 to 30003.
  const Bytes group = GroupDirectory();
  ASSERT_EQ(group.size(), 6u + 3 * 14);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(U32(group, 6 + 14 * i + 8), want[i].bytes);
    EXPECT_EQ(U16(group, 6 + 14 * i + 12), 30001u + i);
  }
}

TEST(IconFile, SixteenColorImagesMatchTheirMaps) {
  const Bytes file = IcoFile();
  const struct {
    int entry;
    std::span<const char* const> map;
  } cases[] = {{1, pictures::kIcon32Map}, {2, pictures::kIcon16Map}};
  for (const auto& c : cases) {
    const Decoded d =
        Decode(file, U32(file, 6 + 16 * c.entry + 12), U32(file, 6 + 16 * c.entry + 8));
    EXPECT_EQ(d.palette,
              (std::vector<std::uint32_t>{
                  0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
                  0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF}));
    for (int y = 0; y < d.height; ++y) {
      for (int x = 0; x < d.width; ++x) {
        const int i = y * d.width + x;
        ASSERT_EQ(MapCharOf(d.palette[d.index[i]], d.mask[i]), c.map[y][x]) << x << "," << y;
        if (d.mask[i]) {
          ASSERT_EQ(d.index[i], 0);  // transparent: index 0 under mask 1
        }
      }
    }
  }
}

TEST(IconFile, TwoColorImageWithItsExceptionsAndInvertingBackground) {
  const Bytes file = IcoFile();
  const Decoded d = Decode(file, U32(file, 6 + 12), U32(file, 6 + 8));
  EXPECT_EQ(d.palette, (std::vector<std::uint32_t>{0x000000, 0xFFFFFF}));
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const char c = pictures::kIcon32Map[y][x];
      bool outside = c == '.';
      int white = c == 'W' || c == 'c' || c == 's';
      if (x == 9 && y == 23) white = 0;       // silver drawn black
      if (x == 9 && y == 24) outside = true;  // black left out of the drawing
      const int i = y * 32 + x;
      ASSERT_EQ(d.mask[i], outside ? 1 : 0) << x << "," << y;
      ASSERT_EQ(d.index[i], outside ? 1 : white) << x << "," << y;  // outside: white, inverting
    }
  }
}

TEST(IconFile, PngHasTheSignatureAndSize) {
  const Bytes png = PngFile(pictures::ApplicationIcon16());
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(png.data()) + 1, 3), "PNG");
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(png.data()) + 12, 4), "IHDR");
  EXPECT_EQ(png[19], 16);  // width, big-endian
  EXPECT_EQ(png[23], 16);
}

}  // namespace
}  // namespace huevex::icons
