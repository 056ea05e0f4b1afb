#include "shell/platform/win32/picture_bitmaps.h"

#include <cstdint>
#include <vector>

namespace huevex::win32 {
namespace {

// Pictures hold 0x00BBGGRR; a 32-bit DIB pixel reads 0x00RRGGBB.
std::uint32_t ToDibPixel(std::uint32_t color) {
  return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

// A top-down 32-bit DIB section; bits points at its pixels.
UniqueBitmap CreateDib(int width, int height, std::uint32_t** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  *bits = bitmap ? static_cast<std::uint32_t*>(pixels) : nullptr;
  return bitmap;
}

UniqueIcon CreateFromPicture(const Picture& picture, bool icon) {
  if (picture.Empty()) return UniqueIcon{};
  const int width = picture.width, height = picture.height;

  // The AND mask as a monochrome bitmap: rows padded to 16 bits, leftmost pixel
  // in the highest bit.
  const int stride = (width + 15) / 16 * 2;
  std::vector<std::uint8_t> mask_bits(static_cast<size_t>(stride) * height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (picture.mask[static_cast<size_t>(y) * width + x]) {
        mask_bits[static_cast<size_t>(y) * stride + x / 8] |=
            static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  const UniqueBitmap mask(::CreateBitmap(width, height, 1, 1, mask_bits.data()));

  // The XOR colors with a zero alpha channel, so that the mask decides.
  std::uint32_t* bits = nullptr;
  const UniqueBitmap color = CreateDib(width, height, &bits);
  if (!mask || !color) return UniqueIcon{};
  for (size_t i = 0; i < picture.color.size(); ++i) bits[i] = ToDibPixel(picture.color[i]);
  ::GdiFlush();

  ICONINFO info{};
  info.fIcon = icon ? TRUE : FALSE;
  info.xHotspot = static_cast<DWORD>(width / 2);
  info.yHotspot = static_cast<DWORD>(height / 2);
  info.hbmMask = mask.get();
  info.hbmColor = color.get();
  return UniqueIcon(::CreateIconIndirect(&info));
}

}  // namespace

UniqueBitmap MaskThenColorDib(const Picture& picture) {
  if (picture.Empty()) return UniqueBitmap{};
  std::uint32_t* bits = nullptr;
  UniqueBitmap bitmap = CreateDib(picture.width, picture.height * 2, &bits);
  if (!bitmap) return bitmap;
  const size_t count = static_cast<size_t>(picture.width) * picture.height;
  for (size_t i = 0; i < count; ++i) {
    bits[i] = picture.mask[i] ? 0x00FFFFFFu : 0u;
    bits[count + i] = ToDibPixel(picture.color[i]);
  }
  ::GdiFlush();
  return bitmap;
}

UniqueIcon IconFromPicture(const Picture& picture) { return CreateFromPicture(picture, true); }

UniqueIcon CursorFromPicture(const Picture& picture) { return CreateFromPicture(picture, false); }

}  // namespace huevex::win32
