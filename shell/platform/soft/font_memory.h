// Fonts remembered from one run to the next. Finding a face's file means
// reading fontconfig's whole configuration, and drawing its glyphs means
// loading FreeType and hinting each one: several milliseconds and about a
// megabyte of mapped libraries and font files, before the first window can be
// painted. So fontconfig's answers and the glyphs FreeType rendered are kept
// in the user's cache directory, together with everything they depend on: the
// variables that steer fontconfig, and how its configuration files and
// directories, its font directories, both libraries and the chosen files
// stand on disk (modification time, size, inode, or absent). While all of that
// is unchanged the memory answers, and neither library is even loaded.
// Anything else (no memory, an unreadable or corrupt one, a change, a file
// gone) is a miss: the libraries are asked, and the answer is remembered again.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace huevex::soft {

// A font on disk: a file and the face's index in it.
struct FontFile {
  std::string path;
  int index = 0;
  friend bool operator==(const FontFile&, const FontFile&) = default;
};

// How a path stands on disk. An absent path counts too: a user configuration
// created later changes the answer.
struct PathState {
  std::string path;
  bool present = false;
  std::int64_t modified_ns = 0;
  std::int64_t size = 0;
  std::uint64_t inode = 0;
  static PathState Of(std::string path);
  friend bool operator==(const PathState&, const PathState&) = default;
};

// Fontconfig's file for a family and weight.
struct FontAnswer {
  std::string family;
  bool bold = false;
  FontFile file;
};

// A rendered glyph: one alpha byte a pixel, rows top first, placed from the
// pen position on the baseline.
struct GlyphImage {
  int advance = 0;
  int left = 0;
  int top = 0;
  int width = 0;
  int rows = 0;
  std::vector<unsigned char> alpha;
};

// A face at one size (26.6 points at 72 DPI), drawn smooth or as whole pixels,
// and for a bitmap face's bold, overstruck.
struct FaceSize {
  using Key =
      std::tuple<std::string, int, long, bool, bool>;  // path, index, size, pixels, overstruck
  Key key;
  int ascent = 0;
  int line_height = 0;
  std::map<char32_t, GlyphImage> glyphs;
  const std::string& path() const { return std::get<0>(key); }
};

// Fontconfig's answers, the rendered faces, and what they depend on.
struct FontMemory {
  std::string environment;  // FontconfigEnvironment() when the answers were given
  std::vector<PathState> depends_on;
  std::optional<PathState> renderer;  // the FreeType library, once glyphs were rendered
  std::vector<FontAnswer> answers;
  std::map<FaceSize::Key, FaceSize> sizes;

  // Still what the libraries would give: the same environment, and every
  // path stands as it stood.
  bool Holds(std::string_view environment_now) const;
  const FontFile* Answer(std::string_view family, bool bold) const;
  // Empty when a name cannot be written (a tab or a line break in it).
  std::string Text() const;
  static std::optional<FontMemory> FromText(std::string_view text);
};

// The variables that steer fontconfig's answer (its own, the locale, the
// user's folders, where libraries are found), as NAME=value lines.
std::string FontconfigEnvironment();

// $XDG_CACHE_HOME/huevex, else ~/.cache/huevex; empty where neither is an
// absolute path.
std::string CacheDirectory();

// The memory of one run: read from the cache directory at the first lookup
// if it holds, added to as fontconfig and FreeType answer, and written back.
// Fontconfig is loaded for a lookup and unloaded after it.
class RememberedFonts {
 public:
  explicit RememberedFonts(std::string cache_directory = CacheDirectory());

  std::optional<FontFile> Find(const std::string& family, bool bold);
  // Whether the last answer came from the memory read at start.
  bool FromMemory() const { return from_memory_; }
  // A remembered file did not load: the memory goes, and fontconfig is asked
  // the next time.
  void Refuse();

  // A remembered face at a size, or null; then FreeType renders it, and
  // Remember keeps it (the renderer names the library it was loaded from).
  FaceSize* Sized(const FaceSize::Key& key);
  FaceSize& Remember(FaceSize size, const std::string& renderer_path);
  // Writes the memory back if anything was added since it was read.
  void Save();

  int FontconfigLookups() const { return lookups_; }

 private:
  void Read();
  std::string FilePath() const;
  std::optional<FontFile> AskFontconfig(const std::string& family, bool bold);

  std::string directory_;
  std::string environment_;
  bool read_ = false;
  FontMemory memory_;        // read and found to hold, or made in this run
  size_t read_answers_ = 0;  // the first answers, read from the cache
  bool from_memory_ = false;
  int lookups_ = 0;
};

}  // namespace huevex::soft
