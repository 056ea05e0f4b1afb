#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "shell/platform/soft/font_files.h"
#include "shell/platform/soft/text.h"
#include "shell/platform/soft/utf8.h"

namespace huevex::soft {
namespace {

// How a Windows face is stood in for: the family fontconfig is asked for, and
// whether it is drawn as a bitmap face. "Small Fonts" is one on Windows: its
// glyphs are whole pixels without smoothing, and its bold is the regular glyph
// drawn again one pixel to the right. Arial has a metric twin.
struct StandIn {
  std::string family;
  bool pixels = false;
};

StandIn StandInFor(std::string_view face) {
  if (face == "Arial") return {"Liberation Sans", false};
  if (face == "Small Fonts") return {"DejaVu Sans", true};
  return {std::string(face), false};
}

class FreeTypeText : public TextRenderer {
 public:
  FreeTypeText() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
  }
  ~FreeTypeText() override {
    for (auto& [key, face] : faces_) {
      if (face) FT_Done_Face(face);
    }
    if (library_) FT_Done_FreeType(library_);
  }
  bool Ready() const { return library_ != nullptr; }

  void Draw(Bitmap& target, const FontDesc& font, int dpi, Rect box, std::string_view utf8,
            std::uint32_t color, TextAlign align, bool wrap) override {
    const StandIn stand_in = StandInFor(font.face);
    const bool bold = font.weight >= 600;
    // A bitmap face's bold is drawn, not looked up.
    FT_Face face = FaceFor(stand_in.family, bold && !stand_in.pixels);
    if (!face) return;
    const auto size = static_cast<FT_F26Dot6>(std::lround(font.points * dpi / 72.0 * 64));
    FT_Set_Char_Size(face, 0, size, 72, 72);
    const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
    const int line_height = static_cast<int>(face->size->metrics.height >> 6);
    const Style style{face, size, stand_in.pixels, stand_in.pixels && bold};

    const std::u32string text = DecodeUtf8(utf8);
    int baseline = box.top + ascent;
    for (const std::u32string& line : Lines(style, text, box.Width(), wrap)) {
      const int width = Measure(style, line);
      int pen = box.left;
      if (align == TextAlign::Center) pen += (box.Width() - width) / 2;
      if (align == TextAlign::Right) pen += box.Width() - width;
      for (char32_t code : line) {
        const Glyph& glyph = GlyphFor(style, code);
        Blit(target, box, glyph, pen + glyph.left, baseline - glyph.top, color);
        pen += glyph.advance;
      }
      baseline += line_height;
    }
  }

 private:
  FT_Face FaceFor(const std::string& family, bool bold) {
    const std::string key = family + (bold ? "/bold" : "/regular");
    if (auto it = faces_.find(key); it != faces_.end()) return it->second;
    FT_Face face = Open(files_.Find(family, bold));
    // A remembered file that no longer loads: fontconfig is asked again.
    if (!face && files_.FromMemory()) {
      files_.Refuse();
      face = Open(files_.Find(family, bold));
    }
    faces_[key] = face;
    return face;
  }

  FT_Face Open(const std::optional<FontFile>& file) {
    FT_Face face = nullptr;
    if (file && FT_New_Face(library_, file->path.c_str(), file->index, &face) != 0) face = nullptr;
    return face;
  }

  // A face at one size, drawn smooth or as pixels; glyphs are rendered once per
  // style and character.
  struct Style {
    FT_Face face;
    FT_F26Dot6 size;
    bool pixels;
    bool overstruck;  // a bitmap face's bold
    auto Key() const { return std::make_tuple(face, size, pixels, overstruck); }
  };
  struct Glyph {
    int advance = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    std::vector<unsigned char> alpha;
  };

  const Glyph& GlyphFor(const Style& style, char32_t code) {
    const auto key = std::tuple_cat(style.Key(), std::make_tuple(code));
    if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;
    Glyph glyph = style.pixels ? PixelGlyph(style.face, code) : SmoothGlyph(style.face, code);
    if (style.overstruck) Overstrike(glyph);
    return glyphs_.emplace(key, std::move(glyph)).first->second;
  }

  // Gray levels from the face's own hinting.
  static Glyph SmoothGlyph(FT_Face face, char32_t code) {
    Glyph glyph;
    if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) return glyph;
    glyph.advance = static_cast<int>(face->glyph->advance.x >> 6);
    CopyBitmap(face->glyph, glyph);
    return glyph;
  }

  // Whole pixels, for a bitmap face. The shapes come from FreeType's
  // auto-hinter fitted for one-bit output: it puts every stem, dot and height
  // on whole pixels, where the font's own instructions at 8 pixels let a bold
  // colon's two dots run into one bar. A glyph advances by the face's own
  // hinted advance or the fitted one, whichever is less: never wider than the
  // smooth text, so no line grows and lines wrap as they did, and no wider
  // than a glyph the auto-hinter narrowed, so it leaves no hole behind it.
  static Glyph PixelGlyph(FT_Face face, char32_t code) {
    Glyph glyph;
    if (FT_Load_Char(face, code, FT_LOAD_DEFAULT) != 0) return glyph;
    const FT_Pos own = face->glyph->advance.x;
    if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_FORCE_AUTOHINT) !=
        0) {
      return glyph;
    }
    glyph.advance = static_cast<int>(std::min(own, face->glyph->advance.x) >> 6);
    CopyBitmap(face->glyph, glyph);
    return glyph;
  }

  // The rendered bitmap as one alpha byte a pixel, from gray levels or bits.
  static void CopyBitmap(const FT_GlyphSlot slot, Glyph& glyph) {
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    const bool bits = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
    glyph.alpha.reserve(static_cast<size_t>(glyph.width) * glyph.rows);
    for (int y = 0; y < glyph.rows; ++y) {
      const unsigned char* row = bitmap.buffer + y * bitmap.pitch;
      for (int x = 0; x < glyph.width; ++x) {
        glyph.alpha.push_back(bits ? ((row[x / 8] >> (7 - x % 8)) & 1) * 255 : row[x]);
      }
    }
  }

  // Bold as a bitmap face makes it: the glyph drawn again one pixel to the
  // right, one pixel wider and one further apart from the next.
  static void Overstrike(Glyph& glyph) {
    glyph.advance += 1;
    if (glyph.width == 0) return;
    const int width = glyph.width + 1;
    std::vector<unsigned char> alpha(static_cast<size_t>(width) * glyph.rows);
    for (int y = 0; y < glyph.rows; ++y) {
      const unsigned char* from = &glyph.alpha[static_cast<size_t>(y) * glyph.width];
      unsigned char* to = &alpha[static_cast<size_t>(y) * width];
      for (int x = 0; x < glyph.width; ++x) {
        to[x] = std::max(to[x], from[x]);
        to[x + 1] = from[x];
      }
    }
    glyph.width = width;
    glyph.alpha = std::move(alpha);
  }

  int Measure(const Style& style, const std::u32string& text) {
    int width = 0;
    for (char32_t code : text) width += GlyphFor(style, code).advance;
    return width;
  }

  // Greedy wrapping at blanks; a word wider than the box stands on its own line.
  std::vector<std::u32string> Lines(const Style& style, const std::u32string& text, int width,
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
      if (!line.empty() && Measure(style, candidate) > width) {
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

  static void Blit(Bitmap& target, Rect clip, const Glyph& glyph, int left, int top,
                   std::uint32_t color) {
    const int x0 = std::max({left, clip.left, 0});
    const int y0 = std::max({top, clip.top, 0});
    const int x1 = std::min({left + glyph.width, clip.right, target.width});
    const int y1 = std::min({top + glyph.rows, clip.bottom, target.height});
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const int alpha = glyph.alpha[static_cast<size_t>(y - top) * glyph.width + (x - left)];
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
  FontFiles files_;
  std::map<std::string, FT_Face> faces_;
  std::map<std::tuple<FT_Face, FT_F26Dot6, bool, bool, char32_t>, Glyph> glyphs_;
};

}  // namespace

std::unique_ptr<TextRenderer> TextRenderer::Create() {
  auto text = std::make_unique<FreeTypeText>();
  if (!text->Ready()) return nullptr;
  return text;
}

}  // namespace huevex::soft
