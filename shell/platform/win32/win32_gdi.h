// The screen and drawing services as the real gdi32 and user32 calls.
// Handles pass through unchanged: the opaque Hdc, Hgdiobj and Hwnd values are
// Win32's own.
#pragma once

#include <map>

#include "shell/platform/win32/handles.h"

namespace huevex::win32 {

class Win32Gdi final : public Gdi {
 public:
  bool GetCursorPos(Point* point) override;
  bool SetCursorPos(int x, int y) override;
  Hwnd GetDesktopWindow() override;
  Hdc GetDC(Hwnd window) override;
  int ReleaseDC(Hwnd window, Hdc dc) override;
  ColorValue GetPixel(Hdc dc, int x, int y) override;
  ColorValue GetSysColor(int index) override;
  Hdc CreateCompatibleDC(Hdc dc) override;
  Hgdiobj CreateCompatibleBitmap(Hdc dc, int width, int height) override;
  Hgdiobj SelectObject(Hdc dc, Hgdiobj object) override;
  bool SetPixelV(Hdc dc, int x, int y, ColorValue color) override;
  Hgdiobj CreatePatternBrush(Hgdiobj bitmap) override;
  bool DeleteDC(Hdc dc) override;
  bool DeleteObject(Hgdiobj object) override;
  bool PatBlt(Hdc dc, int x, int y, int width, int height, std::uint32_t rop) override;
  bool BitBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x, int source_y,
              std::uint32_t rop) override;
  bool StretchBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x,
                  int source_y, int source_width, int source_height, std::uint32_t rop) override;
  void FillSolidRect(Hdc dc, Rect rect, ColorValue color) override;
  Hgdiobj CreateFontFor(const FontDesc& font, int dpi) override;
  void PaintText(Hdc dc, Hgdiobj font, Rect box, std::string_view utf8, ColorValue color,
                 TextAlign align, bool wrap) override;
  void PaintPicture(Hdc dc, int x, int y, const Picture& picture) override;

 private:
  // Every repaint draws the same few pictures: their mask-and-color bitmaps are
  // made once. Each entry keeps the picture it was made from, so a different
  // picture met at the same address is made afresh.
  struct PictureBits {
    Picture picture;
    UniqueBitmap bits;
  };
  HBITMAP BitsFor(const Picture& picture);

  std::map<const Picture*, PictureBits> pictures_;
};

// The font height for CreateFontW: the character height in pixels, rounded as
// MulDiv rounds (halves away from zero), negated to ask for the character
// height rather than the cell height.
int FontHeight(double points, int dpi);

}  // namespace huevex::win32
