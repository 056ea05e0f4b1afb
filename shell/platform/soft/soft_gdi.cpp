#include "shell/platform/soft/soft_gdi.h"

#include <algorithm>
#include <string>

#include "shell/platform/soft/text.h"

namespace huevex::soft {
namespace {

constexpr std::uintptr_t kDesktopWindow = 0x10010;

std::uint32_t ToMonochrome(std::uint32_t color) {
  const int sum = GetRValue(color) + GetGValue(color) + GetBValue(color);
  return sum >= 3 * 128 ? 0xFFFFFFu : 0u;
}

// The system colors of a fresh Wine prefix (its default light theme), so that
// the simulated desktop and the X11 program show the colors the Windows
// program shows under Wine; the Wine tests check that these still hold.
const std::map<int, ColorValue>& DefaultSysColors() {
  static const std::map<int, ColorValue> colors = {
      {COLOR_WINDOW, RGB(255, 255, 255)},       {COLOR_WINDOWFRAME, RGB(158, 158, 158)},
      {COLOR_WINDOWTEXT, RGB(0, 0, 0)},         {COLOR_BTNFACE, RGB(245, 245, 245)},
      {COLOR_BTNSHADOW, RGB(166, 166, 166)},    {COLOR_BTNTEXT, RGB(0, 0, 0)},
      {COLOR_BTNHIGHLIGHT, RGB(255, 255, 255)}, {COLOR_3DDKSHADOW, RGB(106, 106, 106)},
      {COLOR_3DLIGHT, RGB(227, 227, 227)},
  };
  return colors;
}

}  // namespace

SoftGdi::SoftGdi(ScreenSource& screen, CallLog* log)
    : screen_(screen), log_(log), sys_colors_(DefaultSysColors()), text_(TextRenderer::Create()) {
  stock_bitmap_ = Hgdiobj{next_handle_++};
  objects_.emplace(static_cast<std::uintptr_t>(stock_bitmap_), Bitmap{1, 1, true, {0xFFFFFFu}});
  stock_brush_ = Hgdiobj{next_handle_++};
  Brush white;
  std::fill(std::begin(white.pattern), std::end(white.pattern), 0xFFFFFFu);
  objects_.emplace(static_cast<std::uintptr_t>(stock_brush_), white);
  stock_font_ = Hgdiobj{next_handle_++};
  objects_.emplace(static_cast<std::uintptr_t>(stock_font_), Font{FontDesc{"System", 9, 700}, 96});
}

SoftGdi::~SoftGdi() = default;

template <typename T>
T* SoftGdi::Get(Hgdiobj object) {
  auto it = objects_.find(static_cast<std::uintptr_t>(object));
  return it == objects_.end() ? nullptr : std::get_if<T>(&it->second);
}

SoftGdi::Context* SoftGdi::ContextOf(Hdc dc) {
  auto it = contexts_.find(static_cast<std::uintptr_t>(dc));
  return it == contexts_.end() ? nullptr : &it->second;
}

Bitmap* SoftGdi::BitmapOf(Hdc dc) {
  Context* context = ContextOf(dc);
  return context && !context->screen ? Get<Bitmap>(context->bitmap) : nullptr;
}

const Bitmap* SoftGdi::SelectedBitmap(Hdc dc) const {
  return const_cast<SoftGdi*>(this)->BitmapOf(dc);
}

std::uint32_t SoftGdi::ToPlain(ColorValue color) const {
  if (IsSystemColor(color)) color = const_cast<SoftGdi*>(this)->GetSysColor(color & 0xFF);
  return static_cast<std::uint32_t>(color) & 0xFFFFFFu;
}

bool SoftGdi::IsSelected(Hgdiobj object) const {
  return std::any_of(contexts_.begin(), contexts_.end(), [&](const auto& entry) {
    const Context& c = entry.second;
    return c.bitmap == object || c.brush == object || c.font == object;
  });
}

int SoftGdi::LiveObjects() const { return static_cast<int>(objects_.size()) - 3; }
int SoftGdi::LiveContexts() const { return static_cast<int>(contexts_.size()); }

// The screen.

bool SoftGdi::GetCursorPos(Point* point) {
  Log([&] { return std::string("GetCursorPos"); });
  return screen_.CursorPos(point);
}

bool SoftGdi::SetCursorPos(int x, int y) {
  Log([&] { return "SetCursorPos(" + std::to_string(x) + "," + std::to_string(y) + ")"; });
  return screen_.WarpCursor({x, y});
}

Hwnd SoftGdi::GetDesktopWindow() { return Hwnd{kDesktopWindow}; }

Hdc SoftGdi::GetDC(Hwnd window) {
  const Hdc dc{next_handle_++};
  contexts_.emplace(static_cast<std::uintptr_t>(dc), Context{true, {}, stock_brush_, stock_font_});
  Log([&] { return std::string("GetDC(" + HandleText(window) + ")=" + HandleText(dc)); });
  return dc;
}

int SoftGdi::ReleaseDC(Hwnd window, Hdc dc) {
  Log([&] { return std::string("ReleaseDC(" + HandleText(window) + "," + HandleText(dc) + ")"); });
  Context* context = ContextOf(dc);
  if (!context || !context->screen) return 0;
  contexts_.erase(static_cast<std::uintptr_t>(dc));
  return 1;
}

ColorValue SoftGdi::GetPixel(Hdc dc, int x, int y) {
  Log([&] { return std::string("GetPixel(" + std::to_string(x) + "," + std::to_string(y) + ")"); });
  Context* context = ContextOf(dc);
  if (!context) return CLR_INVALID;
  if (context->screen) {
    if (!screen_.OnScreen({x, y})) return CLR_INVALID;
    std::uint32_t pixel = 0;
    if (!screen_.Read({x, y, x + 1, y + 1}, &pixel)) return CLR_INVALID;
    return static_cast<ColorValue>(pixel & 0xFFFFFFu);
  }
  const Bitmap* bitmap = Get<Bitmap>(context->bitmap);
  if (!bitmap || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) return CLR_INVALID;
  return static_cast<ColorValue>(bitmap->At(x, y));
}

ColorValue SoftGdi::GetSysColor(int index) {
  auto it = sys_colors_.find(index);
  return it == sys_colors_.end() ? 0 : it->second;
}

// Memory contexts and objects.

Hdc SoftGdi::CreateCompatibleDC(Hdc) {
  const Hdc dc{next_handle_++};
  contexts_.emplace(static_cast<std::uintptr_t>(dc),
                    Context{false, stock_bitmap_, stock_brush_, stock_font_});
  Log([&] { return std::string("CreateCompatibleDC=" + HandleText(dc)); });
  return dc;
}

Hgdiobj SoftGdi::CreateCompatibleBitmap(Hdc dc, int width, int height) {
  // As on Windows: a memory context still holding its stock 1 x 1 bitmap is
  // monochrome, so a bitmap made compatible with it is monochrome too.
  const Bitmap* format = BitmapOf(dc);
  const bool monochrome = format && format->monochrome;
  if (width <= 0 || height <= 0) return Hgdiobj{};
  const Hgdiobj object{next_handle_++};
  objects_.emplace(static_cast<std::uintptr_t>(object),
                   Bitmap{width, height, monochrome,
                          std::vector<std::uint32_t>(static_cast<size_t>(width) * height, 0u)});
  Log([&] {
    return std::string("CreateCompatibleBitmap(" + std::to_string(width) + "," +
                       std::to_string(height) + ")=" + HandleText(object));
  });
  return object;
}

Hgdiobj SoftGdi::SelectObject(Hdc dc, Hgdiobj object) {
  Log([&] {
    return std::string("SelectObject(" + HandleText(dc) + "," + HandleText(object) + ")");
  });
  Context* context = ContextOf(dc);
  auto it = objects_.find(static_cast<std::uintptr_t>(object));
  if (!context || it == objects_.end()) return Hgdiobj{};
  Hgdiobj* slot = nullptr;
  if (std::holds_alternative<Bitmap>(it->second)) {
    if (context->screen) return Hgdiobj{};
    // A bitmap can be selected into one memory context at a time.
    if (object != stock_bitmap_ && object != context->bitmap && IsSelected(object)) {
      return Hgdiobj{};
    }
    slot = &context->bitmap;
  } else if (std::holds_alternative<Brush>(it->second)) {
    slot = &context->brush;
  } else {
    slot = &context->font;
  }
  const Hgdiobj previous = *slot;
  *slot = object;
  return previous;
}

bool SoftGdi::SetPixelV(Hdc dc, int x, int y, ColorValue color) {
  Bitmap* bitmap = BitmapOf(dc);
  if (!bitmap || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) return false;
  std::uint32_t plain = ToPlain(color);
  if (bitmap->monochrome) plain = ToMonochrome(plain);
  bitmap->pixels[static_cast<size_t>(y) * bitmap->width + x] = plain;
  return true;
}

Hgdiobj SoftGdi::CreatePatternBrush(Hgdiobj bitmap_handle) {
  const Bitmap* bitmap = Get<Bitmap>(bitmap_handle);
  if (!bitmap) return Hgdiobj{};
  // The brush keeps its own copy of the top-left 8 x 8 pixels, tiled where the
  // bitmap is smaller.
  Brush brush;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      brush.pattern[y * 8 + x] = bitmap->At(x % bitmap->width, y % bitmap->height);
    }
  }
  const Hgdiobj object{next_handle_++};
  objects_.emplace(static_cast<std::uintptr_t>(object), brush);
  Log([&] { return std::string("CreatePatternBrush=" + HandleText(object)); });
  return object;
}

bool SoftGdi::DeleteDC(Hdc dc) {
  Log([&] { return std::string("DeleteDC(" + HandleText(dc) + ")"); });
  Context* context = ContextOf(dc);
  if (!context || context->screen) return false;
  contexts_.erase(static_cast<std::uintptr_t>(dc));
  return true;
}

bool SoftGdi::DeleteObject(Hgdiobj object) {
  Log([&] { return std::string("DeleteObject(" + HandleText(object) + ")"); });
  if (object == stock_bitmap_ || object == stock_brush_ || object == stock_font_) return true;
  // An object still selected into a context is not freed (the leak Windows
  // would show); tests catch it through LiveObjects.
  if (IsSelected(object)) return false;
  return objects_.erase(static_cast<std::uintptr_t>(object)) == 1;
}

// Drawing.

bool SoftGdi::PatBlt(Hdc dc, int x, int y, int width, int height, std::uint32_t rop) {
  Log([&] {
    return std::string("PatBlt(" + std::to_string(x) + "," + std::to_string(y) + "," +
                       std::to_string(width) + "," + std::to_string(height) + ")");
  });
  Context* context = ContextOf(dc);
  Bitmap* bitmap = BitmapOf(dc);
  if (!bitmap || rop != PATCOPY) return false;
  const Brush* brush = Get<Brush>(context->brush);
  if (!brush) return false;
  if (width < 0) x += width, width = -width;
  if (height < 0) y += height, height = -height;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + width, bitmap->width), y1 = std::min(y + height, bitmap->height);
  for (int py = y0; py < y1; ++py) {
    std::uint32_t* row = &bitmap->pixels[static_cast<size_t>(py) * bitmap->width];
    const std::uint32_t* pattern_row = &brush->pattern[(py & 7) * 8];
    for (int px = x0; px < x1; ++px) {
      const std::uint32_t color = pattern_row[px & 7];
      row[px] = bitmap->monochrome ? ToMonochrome(color) : color;
    }
  }
  return true;
}

bool SoftGdi::BitBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x,
                     int source_y, std::uint32_t rop) {
  Log([&] {
    return std::string("BitBlt(" + std::to_string(x) + "," + std::to_string(y) + "," +
                       std::to_string(width) + "," + std::to_string(height) + "<-" +
                       std::to_string(source_x) + "," + std::to_string(source_y) + ")");
  });
  return Copy(dest, x, y, width, height, source, source_x, source_y, width, height, rop);
}

bool SoftGdi::StretchBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x,
                         int source_y, int source_width, int source_height, std::uint32_t rop) {
  Log([&] {
    return std::string("StretchBlt(" + std::to_string(x) + "," + std::to_string(y) + "," +
                       std::to_string(width) + "," + std::to_string(height) + "<-" +
                       std::to_string(source_x) + "," + std::to_string(source_y) + "," +
                       std::to_string(source_width) + "," + std::to_string(source_height) + ")");
  });
  return Copy(dest, x, y, width, height, source, source_x, source_y, source_width, source_height,
              rop);
}

bool SoftGdi::Copy(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x,
                   int source_y, int source_width, int source_height, std::uint32_t rop) {
  Bitmap* target = BitmapOf(dest);
  Context* from = ContextOf(source);
  if (!target || !from || rop != SRCCOPY) return false;
  if (width <= 0 || height <= 0 || source_width <= 0 || source_height <= 0) return false;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + width, target->width), y1 = std::min(y + height, target->height);
  if (x1 <= x0 || y1 <= y0) return true;

  const Bitmap* bitmap = from->screen ? nullptr : Get<Bitmap>(from->bitmap);
  if (!from->screen && !bitmap) return false;
  const bool same_size = width == source_width && height == source_height;
  if (bitmap && same_size && !target->monochrome && source_x + (x0 - x) >= 0 &&
      source_y + (y0 - y) >= 0 && source_x + (x1 - x) <= bitmap->width &&
      source_y + (y1 - y) <= bitmap->height) {
    // The common case of the toolkit's painting: an unscaled copy inside both bitmaps.
    for (int py = y0; py < y1; ++py) {
      const std::uint32_t* from_row =
          &bitmap
               ->pixels[static_cast<size_t>(source_y + py - y) * bitmap->width + source_x + x0 - x];
      std::copy_n(from_row, x1 - x0, &target->pixels[static_cast<size_t>(py) * target->width + x0]);
    }
    return true;
  }

  // Gather the source block once; pixels outside the source read black.
  std::vector<std::uint32_t> block(static_cast<size_t>(source_width) * source_height, 0u);
  if (from->screen) {
    const Rect area{source_x, source_y, source_x + source_width, source_y + source_height};
    if (!screen_.Read(area, block.data())) return false;
  } else {
    for (int sy = 0; sy < source_height; ++sy) {
      const int by = source_y + sy;
      if (by < 0 || by >= bitmap->height) continue;
      for (int sx = 0; sx < source_width; ++sx) {
        const int bx = source_x + sx;
        if (bx >= 0 && bx < bitmap->width) {
          block[static_cast<size_t>(sy) * source_width + sx] = bitmap->At(bx, by);
        }
      }
    }
  }

  // Nearest neighbour: destination pixel d takes source pixel d * sw / w, so an
  // exact multiple gives whole squares.
  std::vector<int> columns(static_cast<size_t>(x1 - x0));
  for (int px = x0; px < x1; ++px) {
    columns[px - x0] = static_cast<int>(std::int64_t{px - x} * source_width / width);
  }
  for (int py = y0; py < y1; ++py) {
    const auto sy = static_cast<int>(std::int64_t{py - y} * source_height / height);
    const std::uint32_t* source_row = &block[static_cast<size_t>(sy) * source_width];
    std::uint32_t* row = &target->pixels[static_cast<size_t>(py) * target->width + x0];
    for (int i = 0; i < x1 - x0; ++i) {
      const std::uint32_t pixel = source_row[columns[i]];
      row[i] = target->monochrome ? ToMonochrome(pixel) : pixel;
    }
  }
  return true;
}

void SoftGdi::FillSolidRect(Hdc dc, Rect rect, ColorValue color) {
  Bitmap* bitmap = BitmapOf(dc);
  if (!bitmap) return;
  const std::uint32_t plain = ToPlain(color);
  const int x0 = std::max(rect.left, 0), y0 = std::max(rect.top, 0);
  const int x1 = std::min(rect.right, bitmap->width), y1 = std::min(rect.bottom, bitmap->height);
  for (int y = y0; y < y1; ++y) {
    std::fill_n(&bitmap->pixels[static_cast<size_t>(y) * bitmap->width + x0], std::max(0, x1 - x0),
                plain);
  }
}

Hgdiobj SoftGdi::CreateFontFor(const FontDesc& font, int dpi) {
  const Hgdiobj object{next_handle_++};
  objects_.emplace(static_cast<std::uintptr_t>(object), Font{font, dpi});
  return object;
}

void SoftGdi::PaintText(Hdc dc, Hgdiobj font_handle, Rect box, std::string_view utf8,
                        ColorValue color, TextAlign align, bool wrap) {
  Bitmap* bitmap = BitmapOf(dc);
  const Font* font = Get<Font>(font_handle);
  if (!bitmap || !font || !text_ || utf8.empty()) return;
  text_->Draw(*bitmap, font->desc, font->dpi, box, utf8, ToPlain(color), align, wrap);
}

void SoftGdi::PaintPicture(Hdc dc, int x, int y, const Picture& picture) {
  Bitmap* bitmap = BitmapOf(dc);
  if (!bitmap) return;
  for (int py = 0; py < picture.height; ++py) {
    const int ty = y + py;
    if (ty < 0 || ty >= bitmap->height) continue;
    for (int px = 0; px < picture.width; ++px) {
      const int tx = x + px;
      if (tx < 0 || tx >= bitmap->width) continue;
      const size_t i = static_cast<size_t>(py) * picture.width + px;
      std::uint32_t& pixel = bitmap->pixels[static_cast<size_t>(ty) * bitmap->width + tx];
      const std::uint32_t keep = picture.mask[i] ? 0xFFFFFFu : 0u;
      pixel = ((pixel & keep) ^ picture.color[i]) & 0xFFFFFFu;
    }
  }
}

}  // namespace huevex::soft
