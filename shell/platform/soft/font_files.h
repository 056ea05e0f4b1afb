// Where a face's file is. Fontconfig answers with the user's configuration
// applied, but reading that configuration takes milliseconds, and it comes
// before the first window can be painted. So its answers are remembered in the
// user's cache directory together with everything they depend on: the
// variables that steer fontconfig, and how its configuration files and
// directories, its font directories, the library itself and the chosen files
// stand on disk (modification time, size, inode, or absent). While all of that
// is unchanged the memory answers, and fontconfig is not even loaded. Anything
// else (no memory, an unreadable or corrupt one, a change, a file gone) is a
// miss: fontconfig is asked, and the answer is remembered again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

struct FontAnswer {
  std::string family;
  bool bold = false;
  FontFile file;
};

// Fontconfig's answers and what they depend on.
struct FontMemory {
  std::string environment;  // FontconfigEnvironment() when the answers were given
  std::vector<PathState> depends_on;
  std::vector<FontAnswer> answers;

  // Fontconfig would still answer the same: the same environment, and every
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

// Finds faces' files: from the memory in the cache directory while it holds,
// else from fontconfig, which is loaded for the lookup and unloaded after it.
class FontFiles {
 public:
  explicit FontFiles(std::string cache_directory = CacheDirectory());

  std::optional<FontFile> Find(const std::string& family, bool bold);
  // Whether the last answer came from the memory.
  bool FromMemory() const { return from_memory_; }
  // The remembered file did not load: the memory goes, and fontconfig is
  // asked the next time.
  void Refuse() { memory_.reset(); }
  int FontconfigLookups() const { return lookups_; }

 private:
  std::optional<FontFile> AskFontconfig(const std::string& family, bool bold);
  void Remember(const FontMemory& memory);

  std::string directory_;
  std::string environment_;
  bool read_ = false;
  std::optional<FontMemory> memory_;  // read and found to hold, or just written
  bool from_memory_ = false;
  int lookups_ = 0;
};

}  // namespace huevex::soft
