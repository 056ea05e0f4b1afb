#include <dlfcn.h>
#include <ft2build.h>
#include <link.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "shell/platform/soft/font_memory.h"
#include "shell/platform/soft/library_function.h"
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

// libfreetype's few entry points, from the library opened the first time a
// glyph is not remembered: a start whose glyphs are all remembered never maps
// it, nor the libraries it needs (libpng, zlib, brotli), nor the font files.
class FreeType {
 public:
  static std::unique_ptr<FreeType> Open() {
    void* library = dlopen("libfreetype.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    std::unique_ptr<FreeType> ft(new FreeType(library));
    const bool bound = BindFunction(library, "FT_Init_FreeType", ft->Init_FreeType) &&
                       BindFunction(library, "FT_Done_FreeType", ft->Done_FreeType) &&
                       BindFunction(library, "FT_New_Face", ft->New_Face) &&
                       BindFunction(library, "FT_Done_Face", ft->Done_Face) &&
                       BindFunction(library, "FT_Set_Char_Size", ft->Set_Char_Size) &&
                       BindFunction(library, "FT_Load_Char", ft->Load_Char);
    if (!bound || ft->Init_FreeType(&ft->instance) != 0) return nullptr;
    link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) ft->path = map->l_name;
    return ft;
  }
  ~FreeType() {
    for (auto& [file, face] : faces_) {
      if (face) Done_Face(face);
    }
    if (instance) Done_FreeType(instance);
    dlclose(library_);
  }
  FreeType(const FreeType&) = delete;
  FreeType& operator=(const FreeType&) = delete;

  // The face of a file, opened once; null where the file does not load.
  FT_Face Face(const std::string& path, int index) {
    const auto key = std::make_pair(path, index);
    if (auto it = faces_.find(key); it != faces_.end()) return it->second;
    FT_Face face = nullptr;
    if (New_Face(instance, path.c_str(), index, &face) != 0) face = nullptr;
    faces_[key] = face;
    return face;
  }

  decltype(&FT_Init_FreeType) Init_FreeType = nullptr;
  decltype(&FT_Done_FreeType) Done_FreeType = nullptr;
  decltype(&FT_New_Face) New_Face = nullptr;
  decltype(&FT_Done_Face) Done_Face = nullptr;
  decltype(&FT_Set_Char_Size) Set_Char_Size = nullptr;
  decltype(&FT_Load_Char) Load_Char = nullptr;
  FT_Library instance = nullptr;
  std::string path;  // where it was loaded from: a new version is a new file

 private:
  explicit FreeType(void* library) : library_(library) {}

  void* library_;
  std::map<std::pair<std::string, int>, FT_Face> faces_;
};

class FreeTypeText : public TextRenderer {
 public:
  void Draw(Bitmap& target, const FontDesc& font, int dpi, Rect box, std::string_view utf8,
            std::uint32_t color, TextAlign align, bool wrap) override {
    const StandIn stand_in = StandInFor(font.face);
    const bool bold = font.weight >= 600;
    const auto size = static_cast<long>(std::lround(font.points * dpi / 72.0 * 64));
    rendered_ = false;
    // A bitmap face's bold is drawn, not looked up.
    FaceSize* face = SizeFor(stand_in.family, bold && !stand_in.pixels, size, stand_in.pixels,
                             stand_in.pixels && bold);
    if (!face) return;

    const std::u32string text = DecodeUtf8(utf8);
    int baseline = box.top + face->ascent;
    for (const std::u32string& line : Lines(*face, text, box.Width(), wrap)) {
      const int width = Measure(*face, line);
      int pen = box.left;
      if (align == TextAlign::Center) pen += (box.Width() - width) / 2;
      if (align == TextAlign::Right) pen += box.Width() - width;
      for (char32_t code : line) {
        const GlyphImage& glyph = GlyphFor(*face, code);
        Blit(target, box, glyph, pen + glyph.left, baseline - glyph.top, color);
        pen += glyph.advance;
      }
      baseline += face->line_height;
    }
    if (rendered_) Rendered();
  }

 private:
  // The face at a size, from the memory, else from FreeType. A new size gets
  // all of printable ASCII rendered at once, so that later texts in it (the
  // codes of any color) find their glyphs remembered.
  FaceSize* SizeFor(const std::string& family, bool bold, long size, bool pixels, bool overstruck) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      const std::optional<FontFile> file = fonts_.Find(family, bold);
      if (!file) return nullptr;
      const FaceSize::Key key{file->path, file->index, size, pixels, overstruck};
      if (FaceSize* known = fonts_.Sized(key)) return known;
      if (FT_Face face = FaceOf(file->path, file->index)) {
        ft_->Set_Char_Size(face, 0, size, 72, 72);
        FaceSize fresh;
        fresh.key = key;
        fresh.ascent = static_cast<int>(face->size->metrics.ascender >> 6);
        fresh.line_height = static_cast<int>(face->size->metrics.height >> 6);
        FaceSize& made = fonts_.Remember(std::move(fresh), ft_->path);
        for (char32_t code = 0x20; code < 0x7F; ++code) GlyphFor(made, code);
        return &made;
      }
      // A remembered file that no longer loads: fontconfig is asked again.
      if (!fonts_.FromMemory()) return nullptr;
      fonts_.Refuse();
    }
    return nullptr;
  }

  // New glyphs are remembered at once. FreeType and the font files it mapped
  // (about a megabyte) are needed only for glyphs not remembered yet: they go
  // until the next such glyph, which a face size's ASCII rendered at once makes
  // rare.
  void Rendered() {
    fonts_.Save();
    ft_.reset();
    ft_tried_ = false;
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
  }

  FT_Face FaceOf(const std::string& path, int index) {
    if (!ft_ && !ft_tried_) {
      ft_tried_ = true;
      ft_ = FreeType::Open();
    }
    return ft_ ? ft_->Face(path, index) : nullptr;
  }

  const GlyphImage& GlyphFor(FaceSize& size, char32_t code) {
    if (auto it = size.glyphs.find(code); it != size.glyphs.end()) return it->second;
    const auto& [path, index, points, pixels, overstruck] = size.key;
    GlyphImage glyph;
    if (FT_Face face = FaceOf(path, index)) {
      ft_->Set_Char_Size(face, 0, points, 72, 72);
      glyph = pixels ? PixelGlyph(*ft_, face, code) : SmoothGlyph(*ft_, face, code);
      if (overstruck) Overstrike(glyph);
    }
    rendered_ = true;
    return size.glyphs.emplace(code, std::move(glyph)).first->second;
  }

  // Gray levels from the face's own hinting.
  static GlyphImage SmoothGlyph(const FreeType& ft, FT_Face face, char32_t code) {
    GlyphImage glyph;
    if (ft.Load_Char(face, code, FT_LOAD_RENDER) != 0) return glyph;
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
  static GlyphImage PixelGlyph(const FreeType& ft, FT_Face face, char32_t code) {
    GlyphImage glyph;
    if (ft.Load_Char(face, code, FT_LOAD_DEFAULT) != 0) return glyph;
    const FT_Pos own = face->glyph->advance.x;
    if (ft.Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_FORCE_AUTOHINT) !=
        0) {
      return glyph;
    }
    glyph.advance = static_cast<int>(std::min(own, face->glyph->advance.x) >> 6);
    CopyBitmap(face->glyph, glyph);
    return glyph;
  }

  // The rendered bitmap as one alpha byte a pixel, from gray levels or bits.
  static void CopyBitmap(const FT_GlyphSlot slot, GlyphImage& glyph) {
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
  static void Overstrike(GlyphImage& glyph) {
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

  int Measure(FaceSize& face, const std::u32string& text) {
    int width = 0;
    for (char32_t code : text) width += GlyphFor(face, code).advance;
    return width;
  }

  // A line break ends a line; within a line, greedy wrapping at blanks (a word
  // wider than the box stands on its own line).
  std::vector<std::u32string> Lines(FaceSize& face, const std::u32string& text, int width,
                                    bool wrap) {
    std::vector<std::u32string> lines;
    size_t from = 0;
    while (true) {
      const size_t newline = text.find(U'\n', from);
      const std::u32string paragraph = text.substr(from, newline - from);
      if (wrap) {
        Wrap(face, paragraph, width, lines);
      } else {
        lines.push_back(paragraph);
      }
      if (newline == std::u32string::npos) return lines;
      from = newline + 1;
    }
  }

  void Wrap(FaceSize& face, const std::u32string& text, int width,
            std::vector<std::u32string>& lines) {
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
  }

  static void Blit(Bitmap& target, Rect clip, const GlyphImage& glyph, int left, int top,
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

  RememberedFonts fonts_;
  std::unique_ptr<FreeType> ft_;  // after fonts_: its faces go first
  bool ft_tried_ = false;
  bool rendered_ = false;  // a glyph not remembered was drawn
};

}  // namespace

std::unique_ptr<TextRenderer> TextRenderer::Create() { return std::make_unique<FreeTypeText>(); }

}  // namespace huevex::soft
