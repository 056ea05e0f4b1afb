#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "shell/platform/soft/text.h"

namespace huevex::soft {
namespace {

// Windows' face names mapped to what a Linux desktop has: Arial's metric twin,
// and a plain small sans for the bitmap "Small Fonts".
std::string FamilyFor(const std::string& face) {
  if (face == "Arial") return "Liberation Sans";
  if (face == "Small Fonts") return "DejaVu Sans";
  return face;
}

std::u32string Decode(std::string_view utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    out.push_back(code);
    i += extra + 1;
  }
  return out;
}

class FreeTypeText : public TextRenderer {
 public:
  FreeTypeText() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    config_ = FcInitLoadConfigAndFonts();
  }
  ~FreeTypeText() override {
    for (auto& [key, face] : faces_) {
      if (face) FT_Done_Face(face);
    }
    if (library_) FT_Done_FreeType(library_);
    if (config_) FcConfigDestroy(config_);
  }
  bool Ready() const { return library_ && config_; }

  void Draw(Bitmap& target, const FontDesc& font, int dpi, Rect box, std::string_view utf8,
            std::uint32_t color, TextAlign align, bool wrap) override {
    FT_Face face = FaceFor(font);
    if (!face) return;
    const double pixels = font.points * dpi / 72.0;
    FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(pixels * 64)), 72, 72);
    const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
    const int line_height = static_cast<int>(face->size->metrics.height >> 6);

    const std::u32string text = Decode(utf8);
    int baseline = box.top + ascent;
    for (const std::u32string& line : Lines(face, text, box.Width(), wrap)) {
      const int width = Measure(face, line);
      int pen = box.left;
      if (align == TextAlign::Center) pen += (box.Width() - width) / 2;
      if (align == TextAlign::Right) pen += box.Width() - width;
      for (char32_t code : line) {
        if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        Blit(target, box, glyph->bitmap, pen + glyph->bitmap_left, baseline - glyph->bitmap_top,
             color);
        pen += static_cast<int>(glyph->advance.x >> 6);
      }
      baseline += line_height;
    }
  }

 private:
  FT_Face FaceFor(const FontDesc& font) {
    const std::string key = font.face + "/" + std::to_string(font.weight);
    if (auto it = faces_.find(key); it != faces_.end()) return it->second;
    FT_Face face = nullptr;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY,
                       reinterpret_cast<const FcChar8*>(FamilyFor(font.face).c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, font.weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    if (FcPattern* match = FcFontMatch(config_, pattern, &result)) {
      FcChar8* file = nullptr;
      int index = 0;
      if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        if (FT_New_Face(library_, reinterpret_cast<const char*>(file), index, &face) != 0) {
          face = nullptr;
        }
      }
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    faces_[key] = face;
    return face;
  }

  static int Advance(FT_Face face, char32_t code) {
    if (FT_Load_Char(face, code, FT_LOAD_DEFAULT) != 0) return 0;
    return static_cast<int>(face->glyph->advance.x >> 6);
  }

  static int Measure(FT_Face face, const std::u32string& text) {
    int width = 0;
    for (char32_t code : text) width += Advance(face, code);
    return width;
  }

  // Greedy wrapping at blanks; a word wider than the box stands on its own line.
  static std::vector<std::u32string> Lines(FT_Face face, const std::u32string& text, int width,
                                           bool wrap) {
    if (!wrap) return {text};
    std::vector<std::u32string> lines;
    std::u32string line;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(U' ', start);
      if (end == std::u32string::npos) end = text.size();
      const std::u32string word = text.substr(start, end - start);
      const std::u32string candidate = line.empty() ? word : line + U" " + word;
      if (!line.empty() && Measure(face, candidate) > width) {
        lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
      start = end + 1;
    }
    lines.push_back(line);
    return lines;
  }

  static void Blit(Bitmap& target, Rect clip, const FT_Bitmap& glyph, int left, int top,
                   std::uint32_t color) {
    const int x0 = std::max({left, clip.left, 0});
    const int y0 = std::max({top, clip.top, 0});
    const int x1 = std::min({left + static_cast<int>(glyph.width), clip.right, target.width});
    const int y1 = std::min({top + static_cast<int>(glyph.rows), clip.bottom, target.height});
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const int alpha = glyph.buffer[(y - top) * glyph.pitch + (x - left)];
        if (alpha == 0) continue;
        std::uint32_t& pixel = target.pixels[static_cast<size_t>(y) * target.width + x];
        std::uint32_t mixed = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
          const int under = (pixel >> shift) & 0xFF, over = (color >> shift) & 0xFF;
          mixed |= static_cast<std::uint32_t>((over * alpha + under * (255 - alpha) + 127) / 255)
                   << shift;
        }
        pixel = mixed;
      }
    }
  }

  FT_Library library_ = nullptr;
  FcConfig* config_ = nullptr;
  std::map<std::string, FT_Face> faces_;
};

}  // namespace

std::unique_ptr<TextRenderer> TextRenderer::Create() {
  auto text = std::make_unique<FreeTypeText>();
  if (!text->Ready()) return nullptr;
  return text;
}

}  // namespace huevex::soft
