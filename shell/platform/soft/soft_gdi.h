// A small software GDI: memory contexts over 32-bit bitmaps, pattern brushes
// with the brush origin at (0, 0), PatBlt, nearest-neighbour StretchBlt, and a
// screen context that reads from a ScreenSource. The X11 backend and the
// simulated desktop both draw through it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "shell/platform/call_log.h"
#include "shell/platform/platform.h"

namespace huevex::soft {

// Where the screen context's pixels come from: the simulated desktop's
// composition, or the X server's root window.
class ScreenSource {
 public:
  virtual ~ScreenSource() = default;
  virtual bool CursorPos(Point* point) = 0;
  virtual bool WarpCursor(Point point) = 0;
  // True where (x, y) lies on some monitor.
  virtual bool OnScreen(Point point) = 0;
  // Reads the block into out (row-major, 0x00BBGGRR, block.Width() per row).
  // Pixels off the screen read black. Returns false if the screen could not be read.
  virtual bool Read(Rect block, std::uint32_t* out) = 0;
};

// The pixels of a bitmap, 0x00BBGGRR, rows top first.
struct Bitmap {
  int width = 0;
  int height = 0;
  bool monochrome = false;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

class TextRenderer;  // FreeType, where the build has it

class SoftGdi : public Gdi {
 public:
  explicit SoftGdi(ScreenSource& screen, CallLog* log = nullptr);
  ~SoftGdi() override;

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

  // For the backends that put a surface on screen, and for tests.
  const Bitmap* SelectedBitmap(Hdc dc) const;
  // Graphics objects and contexts alive now (stock objects not counted).
  int LiveObjects() const;
  int LiveContexts() const;

 private:
  struct Brush {
    std::uint32_t pattern[64];  // 8 x 8, row-major; a solid brush repeats one color
  };
  struct Font {
    FontDesc desc;
    int dpi = 96;
  };
  using Object = std::variant<Bitmap, Brush, Font>;
  struct Context {
    bool screen = false;
    Hgdiobj bitmap{};
    Hgdiobj brush{};
    Hgdiobj font{};
  };

  Bitmap* BitmapOf(Hdc dc);
  Context* ContextOf(Hdc dc);
  template <typename T>
  T* Get(Hgdiobj object);
  bool IsSelected(Hgdiobj object) const;
  bool Copy(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x, int source_y,
            int source_width, int source_height, std::uint32_t rop);
  std::uint32_t ToPlain(ColorValue color) const;
  // Builds the entry only when someone is listening.
  template <typename Make>
  void Log(Make&& make) {
    if (log_ && log_->Enabled()) log_->Add(make());
  }

  ScreenSource& screen_;
  CallLog* log_;
  std::uintptr_t next_handle_ = 0x100;
  std::map<std::uintptr_t, Object> objects_;
  std::map<std::uintptr_t, Context> contexts_;
  Hgdiobj stock_bitmap_{};
  Hgdiobj stock_brush_{};
  Hgdiobj stock_font_{};
  std::map<int, ColorValue> sys_colors_;
  std::unique_ptr<TextRenderer> text_;
};

}  // namespace huevex::soft
