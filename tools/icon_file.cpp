#include "tools/icon_file.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "resources/pictures.h"

namespace huevex::icons {
namespace {

void Put16(Bytes& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void PutBig32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// The standard 16-color palette, RRGGBB.
constexpr std::array<std::uint32_t, 16> kPalette16 = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
    0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

int Index16(char c) {
  switch (c) {
    case 'g':
      return 7;
    case 's':
      return 8;
    case 'c':
      return 14;
    case 'W':
      return 15;
    default:
      return 0;  // black, and the transparent pixels
  }
}

struct ImageFormat {
  int size;
  int bits;
};
constexpr ImageFormat kImages[kImageCount] = {{32, 1}, {32, 4}, {16, 4}};

int RowBytes(int width, int bits) { return (width * bits + 31) / 32 * 4; }

// The color index of each pixel and its mask bit, top row first.
void PixelsOf(int index, std::vector<int>& colors, std::vector<int>& mask) {
  if (index == 0) {
    const Picture& mono = pictures::ApplicationIconMono();
    for (size_t i = 0; i < mono.color.size(); ++i) {
      colors.push_back(mono.color[i] ? 1 : 0);
      mask.push_back(mono.mask[i]);
    }
    return;
  }
  const auto rows = index == 1 ? std::span<const char* const>(pictures::kIcon32Map)
                               : std::span<const char* const>(pictures::kIcon16Map);
  for (const char* row : rows) {
    for (char c : std::string_view(row)) {
      colors.push_back(Index16(c));
      mask.push_back(c == '.' ? 1 : 0);
    }
  }
}

}  // namespace

Bytes IconImage(int index) {
  const ImageFormat format = kImages[index];
  const int size = format.size, bits = format.bits;
  const int color_row = RowBytes(size, bits), mask_row = RowBytes(size, 1);
  Bytes out;
  Put32(out, 40);
  Put32(out, size);
  Put32(out, size * 2);  // color bitmap and mask together
  Put16(out, 1);
  Put16(out, bits);
  Put32(out, 0);
  Put32(out, (color_row + mask_row) * size);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  const int entries = 1 << bits;
  for (int i = 0; i < entries; ++i) {
    const std::uint32_t rgb = bits == 1 ? (i ? 0xFFFFFF : 0) : kPalette16[i];
    out.push_back(rgb & 0xFF);  // blue, green, red, zero
    out.push_back((rgb >> 8) & 0xFF);
    out.push_back((rgb >> 16) & 0xFF);
    out.push_back(0);
  }
  std::vector<int> colors, mask;
  PixelsOf(index, colors, mask);
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(color_row, 0);
    for (int x = 0; x < size; ++x) {
      const int bit = x * bits;
      row[bit / 8] |= static_cast<std::uint8_t>(colors[y * size + x] << (8 - bits - bit % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = size - 1; y >= 0; --y) {
    Bytes row(mask_row, 0);
    for (int x = 0; x < size; ++x) {
      if (mask[y * size + x]) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

namespace {

// The parts an .ico entry and a group entry share.
void PutEntryHead(Bytes& out, int index) {
  const ImageFormat format = kImages[index];
  out.push_back(static_cast<std::uint8_t>(format.size));
  out.push_back(static_cast<std::uint8_t>(format.size));
  out.push_back(static_cast<std::uint8_t>(1 << format.bits));  // 2 or 16 colors
  out.push_back(0);
  Put16(out, 1);
  Put16(out, format.bits);
  Put32(out, static_cast<std::uint32_t>(IconImage(index).size()));
}

}  // namespace

Bytes GroupDirectory() {
  Bytes out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, kImageCount);
  for (int i = 0; i < kImageCount; ++i) {
    PutEntryHead(out, i);
    Put16(out, kFirstImageId + i);
  }
  return out;
}

Bytes IcoFile() {
  Bytes out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, kImageCount);
  std::uint32_t offset = 6 + 16 * kImageCount;
  for (int i = 0; i < kImageCount; ++i) {
    PutEntryHead(out, i);
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(IconImage(i).size());
  }
  for (int i = 0; i < kImageCount; ++i) {
    const Bytes image = IconImage(i);
    out.insert(out.end(), image.begin(), image.end());
  }
  return out;
}

namespace {

std::uint32_t Crc32(const std::uint8_t* data, size_t length, std::uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutChunk(Bytes& out, std::string_view type, const Bytes& data) {
  PutBig32(out, static_cast<std::uint32_t>(data.size()));
  Bytes body(type.begin(), type.end());
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutBig32(out, Crc32(body.data(), body.size()));
}

// zlib data in stored (uncompressed) deflate blocks: a valid stream without a
// compressor, and these pictures are tiny.
Bytes Stored(const Bytes& raw) {
  Bytes out = {0x78, 0x01};
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    out.push_back(at + n == raw.size() ? 1 : 0);
    Put16(out, static_cast<unsigned>(n));
    Put16(out, static_cast<unsigned>(~n & 0xFFFF));
    out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
               raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  } while (at < raw.size());
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBig32(out, (b << 16) | a);
  return out;
}

}  // namespace

Bytes PngFile(const Picture& picture) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  PutBig32(header, static_cast<std::uint32_t>(picture.width));
  PutBig32(header, static_cast<std::uint32_t>(picture.height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, no interlace
  PutChunk(out, "IHDR", header);
  Bytes raw;
  for (int y = 0; y < picture.height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < picture.width; ++x) {
      const size_t i = static_cast<size_t>(y) * picture.width + x;
      const std::uint32_t c = picture.color[i];
      raw.insert(raw.end(),
                 {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
                  static_cast<std::uint8_t>((c >> 16) & 0xFF),
                  static_cast<std::uint8_t>(picture.mask[i] ? 0 : 255)});
    }
  }
  PutChunk(out, "IDAT", Stored(raw));
  PutChunk(out, "IEND", {});
  return out;
}

}  // namespace huevex::icons
