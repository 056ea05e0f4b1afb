#include "shell/platform/soft/font_memory.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "shell/platform/soft/library_function.h"

namespace huevex::soft {
namespace {

constexpr std::int64_t kMostBytes = 8 << 20;  // a larger file is not a memory of ours

// What fontconfig reads from the environment, and what decides which
// libfontconfig is loaded.
constexpr const char* kSteering[] = {"FONTCONFIG_FILE",
                                     "FONTCONFIG_PATH",
                                     "FONTCONFIG_SYSROOT",
                                     "FC_LANG",
                                     "LC_ALL",
                                     "LC_CTYPE",
                                     "LANG",
                                     "HOME",
                                     "XDG_CONFIG_HOME",
                                     "XDG_DATA_HOME",
                                     "LD_LIBRARY_PATH"};

std::string ProgramName() {
#if defined(__GLIBC__)
  if (program_invocation_short_name && *program_invocation_short_name) {
    return program_invocation_short_name;
  }
#endif
  return "huevex";
}

bool Absolute(const char* path) { return path && path[0] == '/' && std::strlen(path) < 4096; }

std::string ReadFile(const std::string& path) {
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMostBytes) {
    text.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = read(fd, text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    text.resize(done);
  }
  close(fd);
  return text;
}

// Each missing folder of the path, made for the user alone.
bool MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// A new file in full, or nothing: written aside, then renamed over the old.
void WriteWhole(const std::string& directory, const std::string& path, std::string_view text) {
  if (!MakeDirectories(directory)) return;
  const std::string aside = path + "." + std::to_string(getpid());
  const int fd = open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  written = close(fd) == 0 && written;
  if (!written || rename(aside.c_str(), path.c_str()) != 0) unlink(aside.c_str());
}

// The few entry points of libfontconfig the lookup needs, from the library
// opened for it alone: a memory that holds never maps it.
class Fontconfig {
 public:
  static std::unique_ptr<Fontconfig> Open() {
    void* library = dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    std::unique_ptr<Fontconfig> fc(new Fontconfig(library));
    const bool bound =
        BindFunction(library, "FcInitLoadConfigAndFonts", fc->InitLoadConfigAndFonts) &&
        BindFunction(library, "FcConfigDestroy", fc->ConfigDestroy) &&
        BindFunction(library, "FcConfigSubstitute", fc->ConfigSubstitute) &&
        BindFunction(library, "FcDefaultSubstitute", fc->DefaultSubstitute) &&
        BindFunction(library, "FcFontMatch", fc->FontMatch) &&
        BindFunction(library, "FcPatternCreate", fc->PatternCreate) &&
        BindFunction(library, "FcPatternDestroy", fc->PatternDestroy) &&
        BindFunction(library, "FcPatternAddString", fc->PatternAddString) &&
        BindFunction(library, "FcPatternAddInteger", fc->PatternAddInteger) &&
        BindFunction(library, "FcPatternAddBool", fc->PatternAddBool) &&
        BindFunction(library, "FcPatternGetString", fc->PatternGetString) &&
        BindFunction(library, "FcPatternGetInteger", fc->PatternGetInteger) &&
        BindFunction(library, "FcConfigGetConfigFiles", fc->ConfigGetConfigFiles) &&
        BindFunction(library, "FcConfigGetConfigDirs", fc->ConfigGetConfigDirs) &&
        BindFunction(library, "FcConfigGetFontDirs", fc->ConfigGetFontDirs) &&
        BindFunction(library, "FcStrListNext", fc->StrListNext) &&
        BindFunction(library, "FcStrListDone", fc->StrListDone) &&
        BindFunction(library, "FcFini", fc->Fini);
    return bound ? std::move(fc) : nullptr;
  }
  // What the library keeps for itself goes with it.
  ~Fontconfig() {
    if (Fini) Fini();
    dlclose(library_);
  }
  Fontconfig(const Fontconfig&) = delete;
  Fontconfig& operator=(const Fontconfig&) = delete;

  // Where the library was loaded from: a new version is a new file.
  std::string LibraryPath() const {
    link_map* map = nullptr;
    if (dlinfo(library_, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    return map->l_name;
  }

  std::vector<std::string> Listed(FcStrList* list) const {
    std::vector<std::string> out;
    if (!list) return out;
    while (FcChar8* item = StrListNext(list)) out.emplace_back(reinterpret_cast<char*>(item));
    StrListDone(list);
    return out;
  }

  decltype(&FcInitLoadConfigAndFonts) InitLoadConfigAndFonts = nullptr;
  decltype(&FcConfigDestroy) ConfigDestroy = nullptr;
  decltype(&FcConfigSubstitute) ConfigSubstitute = nullptr;
  decltype(&FcDefaultSubstitute) DefaultSubstitute = nullptr;
  decltype(&FcFontMatch) FontMatch = nullptr;
  decltype(&FcPatternCreate) PatternCreate = nullptr;
  decltype(&FcPatternDestroy) PatternDestroy = nullptr;
  decltype(&FcPatternAddString) PatternAddString = nullptr;
  decltype(&FcPatternAddInteger) PatternAddInteger = nullptr;
  decltype(&FcPatternAddBool) PatternAddBool = nullptr;
  decltype(&FcPatternGetString) PatternGetString = nullptr;
  decltype(&FcPatternGetInteger) PatternGetInteger = nullptr;
  decltype(&FcConfigGetConfigFiles) ConfigGetConfigFiles = nullptr;
  decltype(&FcConfigGetConfigDirs) ConfigGetConfigDirs = nullptr;
  decltype(&FcConfigGetFontDirs) ConfigGetFontDirs = nullptr;
  decltype(&FcStrListNext) StrListNext = nullptr;
  decltype(&FcStrListDone) StrListDone = nullptr;
  decltype(&FcFini) Fini = nullptr;

 private:
  explicit Fontconfig(void* library) : library_(library) {}

  void* library_;
};

// The file fontconfig chooses for a family and weight.
std::optional<FontFile> Match(const Fontconfig& fc, FcConfig* config, const std::string& family,
                              bool bold) {
  std::optional<FontFile> found;
  FcPattern* pattern = fc.PatternCreate();
  if (!pattern) return found;
  fc.PatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  fc.PatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  fc.PatternAddBool(pattern, FC_SCALABLE, FcTrue);
  fc.ConfigSubstitute(config, pattern, FcMatchPattern);
  fc.DefaultSubstitute(pattern);
  FcResult result;
  if (FcPattern* match = fc.FontMatch(config, pattern, &result)) {
    FcChar8* file = nullptr;
    int index = 0;
    if (fc.PatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file && *file) {
      fc.PatternGetInteger(match, FC_INDEX, 0, &index);
      found = FontFile{reinterpret_cast<const char*>(file), std::max(0, index)};
    }
    fc.PatternDestroy(match);
  }
  fc.PatternDestroy(pattern);
  return found;
}

// Everything on disk the answers depend on: the configuration files read
// (conf.d among them) and their folders, where a new file may appear; the
// user's configuration, which the stock configuration includes if it exists;
// the font folders; the library; the chosen files.
std::vector<PathState> DependsOn(const Fontconfig& fc, FcConfig* config,
                                 const std::vector<FontAnswer>& answers) {
  std::vector<std::string> paths;
  for (std::string& file : fc.Listed(fc.ConfigGetConfigFiles(config))) {
    if (const size_t slash = file.rfind('/'); slash != std::string::npos && slash > 0) {
      paths.push_back(file.substr(0, slash));
    }
    paths.push_back(std::move(file));
  }
  for (std::string& dir : fc.Listed(fc.ConfigGetConfigDirs(config))) paths.push_back(dir);
  for (std::string& dir : fc.Listed(fc.ConfigGetFontDirs(config))) paths.push_back(dir);
  const char* home = std::getenv("HOME");
  const char* config_home = std::getenv("XDG_CONFIG_HOME");
  std::string user_config;
  if (Absolute(config_home)) {
    user_config = std::string(config_home) + "/fontconfig";
  } else if (Absolute(home)) {
    user_config = std::string(home) + "/.config/fontconfig";
  }
  if (!user_config.empty()) {
    paths.push_back(user_config + "/fonts.conf");
    paths.push_back(user_config + "/conf.d");
  }
  if (Absolute(home)) {
    paths.push_back(std::string(home) + "/.fonts.conf");
    paths.push_back(std::string(home) + "/.fonts.conf.d");
  }
  paths.push_back(fc.LibraryPath());
  for (const FontAnswer& answer : answers) paths.push_back(answer.file.path);
  std::erase_if(paths, [](const std::string& path) { return path.empty(); });
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  std::vector<PathState> states;
  for (std::string& path : paths) states.push_back(PathState::Of(std::move(path)));
  return states;
}

}  // namespace

PathState PathState::Of(std::string path) {
  PathState state;
  state.path = std::move(path);
  struct stat info {};
  if (stat(state.path.c_str(), &info) == 0) {
    state.present = true;
    state.modified_ns =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    state.size = static_cast<std::int64_t>(info.st_size);
    state.inode = static_cast<std::uint64_t>(info.st_ino);
  }
  return state;
}

bool FontMemory::Holds(std::string_view environment_now) const {
  if (environment != environment_now) return false;
  const auto watched = [&](const std::string& path) {
    return std::any_of(depends_on.begin(), depends_on.end(),
                       [&](const PathState& state) { return state.present && state.path == path; });
  };
  for (const FontAnswer& answer : answers) {
    if (!watched(answer.file.path)) return false;
  }
  for (const auto& [key, size] : sizes) {
    if (!renderer || !watched(size.path())) return false;
  }
  if (renderer && PathState::Of(renderer->path) != *renderer) return false;
  return std::all_of(depends_on.begin(), depends_on.end(),
                     [](const PathState& state) { return PathState::Of(state.path) == state; });
}

const FontFile* FontMemory::Answer(std::string_view family, bool bold) const {
  for (const FontAnswer& answer : answers) {
    if (answer.family == family && answer.bold == bold) return &answer.file;
  }
  return nullptr;
}

std::string FontconfigEnvironment() {
  std::string environment;
  for (const char* name : kSteering) {
    if (const char* value = std::getenv(name)) {
      environment.append(name).append("=").append(value) += '\n';
    }
  }
  // The configuration may match on the program's name.
  environment.append("prgname=").append(ProgramName()) += '\n';
  return environment;
}

std::string CacheDirectory() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); Absolute(cache)) {
    return std::string(cache) + "/huevex";
  }
  if (const char* home = std::getenv("HOME"); Absolute(home)) {
    return std::string(home) + "/.cache/huevex";
  }
  return {};
}

RememberedFonts::RememberedFonts(std::string cache_directory)
    : directory_(std::move(cache_directory)) {}

void RememberedFonts::Read() {
  read_ = true;
  environment_ = FontconfigEnvironment();
  if (directory_.empty()) return;
  std::optional<FontMemory> memory = FontMemory::FromText(ReadFile(FilePath()));
  if (memory && memory->Holds(environment_)) {
    memory_ = std::move(*memory);
    read_answers_ = memory_.answers.size();
  }
}

std::string RememberedFonts::FilePath() const {
  return directory_ + "/" + ProgramName() + ".fonts";
}

std::optional<FontFile> RememberedFonts::Find(const std::string& family, bool bold) {
  if (!read_) Read();
  from_memory_ = false;
  for (size_t i = 0; i < memory_.answers.size(); ++i) {
    const FontAnswer& answer = memory_.answers[i];
    if (answer.family == family && answer.bold == bold) {
      from_memory_ = i < read_answers_;
      return answer.file;
    }
  }
  return AskFontconfig(family, bold);
}

void RememberedFonts::Refuse() {
  memory_ = FontMemory{};
  read_answers_ = 0;
}

FaceSize* RememberedFonts::Sized(const FaceSize::Key& key) {
  const auto it = memory_.sizes.find(key);
  return it == memory_.sizes.end() ? nullptr : &it->second;
}

FaceSize& RememberedFonts::Remember(FaceSize size, const std::string& renderer_path) {
  if (!memory_.renderer || memory_.renderer->path != renderer_path) {
    memory_.renderer = PathState::Of(renderer_path);
  }
  const FaceSize::Key key = size.key;
  return memory_.sizes.insert_or_assign(key, std::move(size)).first->second;
}

void RememberedFonts::Save() {
  if (directory_.empty() || memory_.answers.empty()) return;
  const std::string text = memory_.Text();
  if (!text.empty()) WriteWhole(directory_, FilePath(), text);
}

// The configuration with its mapped caches is about half a megabyte, and the
// library with expat a little more, all needed for one lookup only: they go
// once it is done.
std::optional<FontFile> RememberedFonts::AskFontconfig(const std::string& family, bool bold) {
  ++lookups_;
  std::optional<FontFile> found;
  {
    const std::unique_ptr<Fontconfig> fc = Fontconfig::Open();
    if (!fc) return found;
    FcConfig* config = fc->InitLoadConfigAndFonts();
    if (!config) return found;
    found = Match(*fc, config, family, bold);
    if (found) {
      // What this run remembers came from this same configuration.
      memory_.environment = environment_;
      memory_.answers.push_back({family, bold, *found});
      memory_.depends_on = DependsOn(*fc, config, memory_.answers);
    }
    fc->ConfigDestroy(config);
  }
#if defined(__GLIBC__)
  malloc_trim(0);  // the freed configuration goes back to the system
#endif
  if (found) Save();
  return found;
}

}  // namespace huevex::soft
