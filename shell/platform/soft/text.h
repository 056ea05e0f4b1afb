// Text for the software GDI, rasterised with FreeType from a font that
// fontconfig finds for the face name, both remembered from run to run
// (font_memory.h). Where FreeType cannot be loaded, no text is drawn.
#pragma once

#include <memory>
#include <string_view>

#include "shell/platform/platform.h"
#include "shell/platform/soft/soft_gdi.h"

namespace huevex::soft {

class TextRenderer {
 public:
  virtual ~TextRenderer() = default;
  static std::unique_ptr<TextRenderer> Create();
  virtual void Draw(Bitmap& target, const FontDesc& font, int dpi, Rect box, std::string_view utf8,
                    std::uint32_t color, TextAlign align, bool wrap) = 0;
};

}  // namespace huevex::soft
