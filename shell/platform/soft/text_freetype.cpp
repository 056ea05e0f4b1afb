#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "shell/platform/soft/text.h"
#include "shell/platform/soft/utf8.h"

namespace huevex::soft {
namespace {

// Windows' face names mapped to what a Linux desktop has: Arial's metric twin,
// and a plain small sans for the bitmap "Small Fonts".
std::string FamilyFor(std::string_view face) {
  if (face == "Arial") return "Liberation Sans";
  if (face == "Small Fonts") return "DejaVu Sans";
  return std::string(face);
}

// Where a font lives on disk: a file and the face's index in it.
struct FontFile {
  std::string path;
  int index = 0;
};

// The file fontconfig chooses for a family and weight, the user's
// configuration applied. The configuration with its mapped caches is about
// half a megabyte, needed only for a lookup: it goes once a lookup is done, and
// a later lookup loads it again (a few milliseconds, once per face and weight).
class FontFiles {
 public:
  FontFiles() : config_(FcInitLoadConfigAndFonts()) {}
  ~FontFiles() { Release(); }
  FontFiles(const FontFiles&) = delete;
  FontFiles& operator=(const FontFiles&) = delete;
  bool Ready() const { return config_ != nullptr; }

  std::optional<FontFile> Find(const std::string& family, bool bold) {
    if (!config_) config_ = FcInitLoadConfigAndFonts();
    if (!config_) return std::nullopt;
    std::optional<FontFile> found;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    if (FcPattern* match = FcFontMatch(config_, pattern, &result)) {
      FcChar8* file = nullptr;
      int index = 0;
      if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        found = FontFile{reinterpret_cast<const char*>(file), index};
      }
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    Release();
    return found;
  }

 private:
  void Release() {
    if (!config_) return;
    FcConfigDestroy(config_);
    config_ = nullptr;
#if defined(__GLIBC__)
    malloc_trim(0);  // the freed configuration goes back to the system
#endif
  }

  FcConfig* config_ = nullptr;
};

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
  bool Ready() const { return library_ && files_.Ready(); }

  void Draw(Bitmap& target, const FontDesc& font, int dpi, Rect box, std::string_view utf8,
            std::uint32_t color, TextAlign align, bool wrap) override {
    FT_Face face = FaceFor(font);
    if (!face) return;
    const auto size = static_cast<FT_F26Dot6>(std::lround(font.points * dpi / 72.0 * 64));
    FT_Set_Char_Size(face, 0, size, 72, 72);
    const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
    const int line_height = static_cast<int>(face->size->metrics.height >> 6);
    const Sized sized{face, size};

    const std::u32string text = DecodeUtf8(utf8);
    int baseline = box.top + ascent;
    for (const std::u32string& line : Lines(sized, text, box.Width(), wrap)) {
      const int width = Measure(sized, line);
      int pen = box.left;
      if (align == TextAlign::Center) pen += (box.Width() - width) / 2;
      if (align == TextAlign::Right) pen += box.Width() - width;
      for (char32_t code : line) {
        const Glyph& glyph = GlyphFor(sized, code);
        Blit(target, box, glyph, pen + glyph.left, baseline - glyph.top, color);
        pen += glyph.advance;
      }
      baseline += line_height;
    }
  }

 private:
  FT_Face FaceFor(const FontDesc& font) {
    const std::string key = std::string(font.face) + "/" + std::to_string(font.weight);
    if (auto it = faces_.find(key); it != faces_.end()) return it->second;
    FT_Face face = nullptr;
    if (const std::optional<FontFile> file =
            files_.Find(FamilyFor(font.face), font.weight >= 600)) {
      if (FT_New_Face(library_, file->path.c_str(), file->index, &face) != 0) face = nullptr;
    }
    faces_[key] = face;
    return face;
  }

  // A face at one size; glyphs are rendered once per face, size and character.
  struct Sized {
    FT_Face face;
    FT_F26Dot6 size;
  };
  struct Glyph {
    int advance = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int rows = 0;
    std::vector<unsigned char> alpha;
  };

  const Glyph& GlyphFor(const Sized& sized, char32_t code) {
    const auto key = std::make_tuple(sized.face, sized.size, code);
    if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;
    Glyph glyph;
    if (FT_Load_Char(sized.face, code, FT_LOAD_RENDER) == 0) {
      const FT_GlyphSlot slot = sized.face->glyph;
      glyph.advance = static_cast<int>(slot->advance.x >> 6);
      glyph.left = slot->bitmap_left;
      glyph.top = slot->bitmap_top;
      glyph.width = static_cast<int>(slot->bitmap.width);
      glyph.rows = static_cast<int>(slot->bitmap.rows);
      for (int y = 0; y < glyph.rows; ++y) {
        const unsigned char* row = slot->bitmap.buffer + y * slot->bitmap.pitch;
        glyph.alpha.insert(glyph.alpha.end(), row, row + glyph.width);
      }
    }
    return glyphs_.emplace(key, std::move(glyph)).first->second;
  }

  int Measure(const Sized& sized, const std::u32string& text) {
    int width = 0;
    for (char32_t code : text) width += GlyphFor(sized, code).advance;
    return width;
  }

  // Greedy wrapping at blanks; a word wider than the box stands on its own line.
  std::vector<std::u32string> Lines(const Sized& sized, const std::u32string& text, int width,
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
      if (!line.empty() && Measure(sized, candidate) > width) {
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
  std::map<std::tuple<FT_Face, FT_F26Dot6, char32_t>, Glyph> glyphs_;
};

}  // namespace

std::unique_ptr<TextRenderer> TextRenderer::Create() {
  auto text = std::make_unique<FreeTypeText>();
  if (!text->Ready()) return nullptr;
  return text;
}

}  // namespace huevex::soft
