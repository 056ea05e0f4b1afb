#include "shell/platform/soft/font_memory.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

namespace huevex::soft {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

// Moves a file's modification time, as an editor saving it does.
void Touch(const fs::path& path) {
  fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
}

// Sets an environment variable for as long as it lives.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* was = std::getenv(name)) was_ = was;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (was_) {
      setenv(name_, was_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> was_;
};

class FontMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/huevex-fonts-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    fs::create_directories(root / "conf.d");
    fs::create_directories(root / "fonts");
    Write(root / "fonts.conf", "<fontconfig/>");
    Write(root / "conf.d" / "10-a.conf", "<fontconfig/>");
    Write(root / "fonts" / "a.ttf", "not really a font");
    Write(root / "libfreetype.so", "not really a library");
  }
  void TearDown() override { fs::remove_all(root); }

  // A memory of one answer that depends on the files above and on a user
  // configuration that does not exist yet.
  FontMemory Memory() const {
    FontMemory memory;
    memory.environment = "LANG=C\n";
    for (const fs::path& path :
         {root / "fonts.conf", root / "conf.d", root / "conf.d" / "10-a.conf", root / "fonts",
          root / "fonts" / "a.ttf", root / "user.conf"}) {
      memory.depends_on.push_back(PathState::Of(path.string()));
    }
    memory.answers.push_back({"Liberation Sans", false, {(root / "fonts" / "a.ttf").string(), 0}});
    memory.renderer = PathState::Of((root / "libfreetype.so").string());
    FaceSize size{{(root / "fonts" / "a.ttf").string(), 0, 704, true, false}, 9, 11, {}};
    size.glyphs[U'A'] = {6, 0, 7, 2, 3, {0, 255, 255, 0, 128, 7}};
    size.glyphs[U' '] = {3, 0, 0, 0, 0, {}};
    memory.sizes.emplace(size.key, size);
    return memory;
  }

  fs::path root;
};

TEST_F(FontMemoryTest, MemoryHoldsUntilSomethingItDependsOnChanges) {
  struct Case {
    const char* change;
    std::function<void(const fs::path&)> make;
    std::string environment;
  };
  const Case cases[] = {
      {"nothing", [](const fs::path&) {}, "LANG=C\n"},
      {"a configuration file edited", [](const fs::path& r) { Touch(r / "conf.d" / "10-a.conf"); },
       "LANG=C\n"},
      {"the main configuration edited", [](const fs::path& r) { Touch(r / "fonts.conf"); },
       "LANG=C\n"},
      {"a configuration file added",
       [](const fs::path& r) { Write(r / "conf.d" / "20-b.conf", "<fontconfig/>"); }, "LANG=C\n"},
      {"the user's configuration created",
       [](const fs::path& r) { Write(r / "user.conf", "<fontconfig/>"); }, "LANG=C\n"},
      {"a font installed", [](const fs::path& r) { Write(r / "fonts" / "b.ttf", "x"); },
       "LANG=C\n"},
      {"the chosen file gone", [](const fs::path& r) { fs::remove(r / "fonts" / "a.ttf"); },
       "LANG=C\n"},
      {"the renderer library replaced",
       [](const fs::path& r) { Write(r / "libfreetype.so", "a newer one"); }, "LANG=C\n"},
      {"another locale", [](const fs::path&) {}, "LANG=de_DE.UTF-8\n"},
      {"FONTCONFIG_FILE set", [](const fs::path&) {}, "LANG=C\nFONTCONFIG_FILE=/tmp/other.conf\n"},
  };
  for (const Case& c : cases) {
    TearDown();  // each case on files of its own
    SetUp();
    const FontMemory memory = Memory();
    c.make(root);
    EXPECT_EQ(memory.Holds(c.environment), std::string(c.change) == "nothing") << c.change;
  }
}

TEST_F(FontMemoryTest, MemoryReadsBackAndAnythingElseIsAMiss) {
  const FontMemory memory = Memory();
  const std::string text = memory.Text();
  const std::optional<FontMemory> back = FontMemory::FromText(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->environment, memory.environment);
  EXPECT_EQ(back->depends_on, memory.depends_on);
  ASSERT_NE(back->Answer("Liberation Sans", false), nullptr);
  EXPECT_EQ(*back->Answer("Liberation Sans", false), memory.answers[0].file);
  EXPECT_EQ(back->Answer("Liberation Sans", true), nullptr);
  EXPECT_TRUE(back->Holds("LANG=C\n"));
  ASSERT_EQ(back->sizes.size(), 1u);
  const FaceSize& size = back->sizes.begin()->second;
  EXPECT_EQ(size.key, memory.sizes.begin()->first);
  EXPECT_EQ(size.ascent, 9);
  EXPECT_EQ(size.line_height, 11);
  ASSERT_EQ(size.glyphs.size(), 2u);
  const GlyphImage& a = size.glyphs.at(U'A');
  EXPECT_EQ(std::tie(a.advance, a.left, a.top, a.width, a.rows), std::make_tuple(6, 0, 7, 2, 3));
  EXPECT_EQ(a.alpha, (std::vector<unsigned char>{0, 255, 255, 0, 128, 7}));
  EXPECT_EQ(size.glyphs.at(U' ').advance, 3);

  const std::string corrupt[] = {
      "",
      "\x7F"
      "ELF",
      text.substr(0, text.size() / 2),                              // cut short
      text.substr(0, text.size() - 4),                              // its end line lost
      "huevex fonts 1\n" + text.substr(text.find('\n') + 1),        // another version's
      std::string(text).replace(text.find("path 1"), 6, "path 7"),  // not a flag
      std::string(text).replace(text.find("face 0 0"), 8, "face 0 -1"),
      std::string(text).replace(text.find("env "), 4, "set "),
      std::string(text).replace(text.find("00ffff"), 6, "00ffxf"),    // not hex
      std::string(text).replace(text.find("00ffff"), 6, "00ffff00"),  // too many pixels
      std::string(text).erase(text.find("size "), text.find("glyph ") - text.find("size ")),
  };
  for (const std::string& text : corrupt) EXPECT_FALSE(FontMemory::FromText(text)) << text;

  FontMemory unwritable = memory;
  unwritable.answers[0].family = "Two\nLines";
  EXPECT_EQ(unwritable.Text(), "");
}

// The whole way, with the system's fontconfig: the first lookup asks it and
// remembers, a second run of the program finds the memory and does not ask,
// and a change to a configuration file makes it ask again.
TEST_F(FontMemoryTest, FontconfigIsAskedOnlyWhenTheMemoryDoesNotHold) {
  const fs::path config = root / "conf.d" / "fonts.conf";
  const std::string stock =
      "<?xml version=\"1.0\"?><fontconfig><include>/etc/fonts/fonts.conf</include>"
      "</fontconfig>";
  Write(config, stock);
  const ScopedEnv config_file("FONTCONFIG_FILE", config.string());
  // The user's own configuration, which the stock one takes in once it exists.
  fs::create_directories(root / "home" / "fontconfig");
  const ScopedEnv config_home("XDG_CONFIG_HOME", (root / "home").string());
  const std::string cache = (root / "cache" / "huevex").string();

  RememberedFonts first(cache);
  const std::optional<FontFile> file = first.Find("DejaVu Sans", false);
  ASSERT_TRUE(file) << "no font found: is fonts-dejavu-core installed?";
  EXPECT_EQ(first.FontconfigLookups(), 1);
  EXPECT_TRUE(fs::exists(cache + "/huevex_tests.fonts"));

  RememberedFonts second(cache);
  EXPECT_EQ(second.Find("DejaVu Sans", false), file);
  EXPECT_TRUE(second.FromMemory());
  EXPECT_EQ(second.FontconfigLookups(), 0);
  second.Find("DejaVu Sans", true);  // a face not asked for before
  EXPECT_EQ(second.FontconfigLookups(), 1);

  RememberedFonts third(cache);
  third.Find("DejaVu Sans", false);
  third.Find("DejaVu Sans", true);
  EXPECT_EQ(third.FontconfigLookups(), 0) << "both answers remembered";

  // Each change below is one the answers may depend on: fontconfig is asked again.
  const std::function<void()> changes[] = {
      [&] { Touch(config); },
      [&] { Write(cache + "/huevex_tests.fonts", "garbage"); },
      [&] { Write(root / "home" / "fontconfig" / "fonts.conf", "<fontconfig/>"); },
      [&] {
        Write(root / "other.conf", stock);
        setenv("FONTCONFIG_FILE", (root / "other.conf").c_str(), 1);
      },
  };
  for (size_t i = 0; i < std::size(changes); ++i) {
    changes[i]();
    RememberedFonts after(cache);
    EXPECT_EQ(after.Find("DejaVu Sans", false), file) << "change " << i;
    EXPECT_EQ(after.FontconfigLookups(), 1) << "change " << i;
  }
}

}  // namespace
}  // namespace huevex::soft
