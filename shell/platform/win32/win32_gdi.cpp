#include "shell/platform/win32/win32_gdi.h"

#include <cmath>

#include "shell/platform/win32/picture_bitmaps.h"

namespace huevex::win32 {
namespace {

COLORREF ToColorref(ColorValue color) { return static_cast<COLORREF>(color); }

// GDI answers CLR_INVALID (0xFFFFFFFF) on failure, which is -1 as a color value.
ColorValue FromColorref(COLORREF color) { return static_cast<ColorValue>(color); }

}  // namespace

int FontHeight(double points, int dpi) {
  return -static_cast<int>(std::lround(points * dpi / 72.0));
}

// The screen.

bool Win32Gdi::GetCursorPos(Point* point) {
  POINT p{};
  if (!::GetCursorPos(&p)) return false;
  *point = {p.x, p.y};
  return true;
}

bool Win32Gdi::SetCursorPos(int x, int y) { return ::SetCursorPos(x, y) != FALSE; }

Hwnd Win32Gdi::GetDesktopWindow() { return FromHwnd(::GetDesktopWindow()); }

Hdc Win32Gdi::GetDC(Hwnd window) { return FromHdc(::GetDC(ToHwnd(window))); }

int Win32Gdi::ReleaseDC(Hwnd window, Hdc dc) { return ::ReleaseDC(ToHwnd(window), ToHdc(dc)); }

ColorValue Win32Gdi::GetPixel(Hdc dc, int x, int y) {
  return FromColorref(::GetPixel(ToHdc(dc), x, y));
}

ColorValue Win32Gdi::GetSysColor(int index) { return FromColorref(::GetSysColor(index)); }

// Memory contexts and objects.

Hdc Win32Gdi::CreateCompatibleDC(Hdc dc) { return FromHdc(::CreateCompatibleDC(ToHdc(dc))); }

Hgdiobj Win32Gdi::CreateCompatibleBitmap(Hdc dc, int width, int height) {
  return FromObject(::CreateCompatibleBitmap(ToHdc(dc), width, height));
}

Hgdiobj Win32Gdi::SelectObject(Hdc dc, Hgdiobj object) {
  return FromObject(::SelectObject(ToHdc(dc), ToObject(object)));
}

bool Win32Gdi::SetPixelV(Hdc dc, int x, int y, ColorValue color) {
  return ::SetPixelV(ToHdc(dc), x, y, ToColorref(color)) != FALSE;
}

Hgdiobj Win32Gdi::CreatePatternBrush(Hgdiobj bitmap) {
  return FromObject(::CreatePatternBrush(static_cast<HBITMAP>(ToObject(bitmap))));
}

bool Win32Gdi::DeleteDC(Hdc dc) { return ::DeleteDC(ToHdc(dc)) != FALSE; }

bool Win32Gdi::DeleteObject(Hgdiobj object) { return ::DeleteObject(ToObject(object)) != FALSE; }

bool Win32Gdi::PatBlt(Hdc dc, int x, int y, int width, int height, std::uint32_t rop) {
  return ::PatBlt(ToHdc(dc), x, y, width, height, rop) != FALSE;
}

bool Win32Gdi::BitBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x,
                      int source_y, std::uint32_t rop) {
  return ::BitBlt(ToHdc(dest), x, y, width, height, ToHdc(source), source_x, source_y, rop) !=
         FALSE;
}

bool Win32Gdi::StretchBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x,
                          int source_y, int source_width, int source_height, std::uint32_t rop) {
  return ::StretchBlt(ToHdc(dest), x, y, width, height, ToHdc(source), source_x, source_y,
                      source_width, source_height, rop) != FALSE;
}

// What the toolkit paints with.

void Win32Gdi::FillSolidRect(Hdc dc, Rect rect, ColorValue color) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  const HDC target = ToHdc(dc);
  const RECT r{rect.left, rect.top, rect.right, rect.bottom};
  const COLORREF previous = ::SetDCBrushColor(target, ToColorref(color));
  ::FillRect(target, &r, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
  ::SetDCBrushColor(target, previous);
}

Hgdiobj Win32Gdi::CreateFontFor(const FontDesc& font, int dpi) {
  const std::wstring face = Widen(font.face);
  return FromObject(::CreateFontW(FontHeight(font.points, dpi), 0, 0, 0, font.weight, FALSE, FALSE,
                                  FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
}

void Win32Gdi::PaintText(Hdc dc, Hgdiobj font, Rect box, std::string_view utf8, ColorValue color,
                         TextAlign align, bool wrap) {
  if (utf8.empty()) return;
  const HDC target = ToHdc(dc);
  std::wstring text = Widen(utf8);
  RECT r{box.left, box.top, box.right, box.bottom};
  UINT format = DT_NOPREFIX | (wrap ? DT_WORDBREAK : DT_SINGLELINE);
  if (align == TextAlign::Center) format |= DT_CENTER;
  if (align == TextAlign::Right) format |= DT_RIGHT;

  const Selection selected(target, ToObject(font));
  const int mode = ::SetBkMode(target, TRANSPARENT);
  const COLORREF previous = ::SetTextColor(target, ToColorref(color));
  ::DrawTextW(target, text.data(), static_cast<int>(text.size()), &r, format);
  ::SetTextColor(target, previous);
  ::SetBkMode(target, mode);
}

// The surface is ANDed with the mask spread over all color bits, then XORed
// with the picture's colors: mask 0 draws the color, mask 1 with black keeps
// the surface, mask 1 with white inverts it.
void Win32Gdi::PaintPicture(Hdc dc, int x, int y, const Picture& picture) {
  const HBITMAP bits = BitsFor(picture);
  if (!bits) return;
  const HDC target = ToHdc(dc);
  const UniqueMemoryDc source(::CreateCompatibleDC(target));
  if (!source) return;
  const Selection selected(source.get(), bits);
  ::BitBlt(target, x, y, picture.width, picture.height, source.get(), 0, 0, SRCAND);
  ::BitBlt(target, x, y, picture.width, picture.height, source.get(), 0, picture.height, SRCINVERT);
}

HBITMAP Win32Gdi::BitsFor(const Picture& picture) {
  PictureBits& entry = pictures_[&picture];
  const bool same = entry.bits && entry.picture.width == picture.width &&
                    entry.picture.height == picture.height &&
                    entry.picture.color == picture.color && entry.picture.mask == picture.mask;
  if (!same) {
    entry.picture = picture;
    entry.bits = MaskThenColorDib(picture);
  }
  return entry.bits.get();
}

}  // namespace huevex::win32
