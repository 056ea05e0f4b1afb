// The font memory's file: a header line, what the answers depend on, the
// answers, the rendered sizes with their glyphs, and an end line; anything
// else reads as no memory at all.
#include <algorithm>
#include <charconv>

#include "shell/platform/soft/font_memory.h"

namespace huevex::soft {
namespace {

constexpr std::string_view kHeader = "huevex fonts 2\n";
constexpr std::string_view kEnd = "end\n";

bool Writable(std::string_view text) {
  return text.find_first_of("\t\n") == std::string_view::npos;
}

// Takes a number and the blank after it from the front of a line.
template <typename Number>
bool Take(std::string_view& line, Number& value) {
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
  if (error != std::errc() || end == line.data() + line.size() || *end != ' ') return false;
  line.remove_prefix(static_cast<size_t>(end - line.data()) + 1);
  return true;
}

bool TakeFlag(std::string_view& line, bool& flag) {
  int value = 0;
  if (!Take(line, value) || (value != 0 && value != 1)) return false;
  flag = value == 1;
  return true;
}

std::string StateText(const PathState& state) {
  return std::to_string(state.present ? 1 : 0) + " " + std::to_string(state.modified_ns) + " " +
         std::to_string(state.size) + " " + std::to_string(state.inode) + " " + state.path + "\n";
}

bool TakeState(std::string_view line, PathState& state) {
  if (!TakeFlag(line, state.present) || !Take(line, state.modified_ns) || !Take(line, state.size) ||
      !Take(line, state.inode) || line.empty()) {
    return false;
  }
  state.path = line;
  return true;
}

constexpr char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string FontMemory::Text() const {
  std::string text(kHeader);
  for (size_t at = 0; at < environment.size();) {
    const size_t end = environment.find('\n', at);
    if (end == std::string::npos) return {};
    const std::string_view line = std::string_view(environment).substr(at, end - at);
    if (!Writable(line)) return {};
    text.append("env ").append(line).append("\n");
    at = end + 1;
  }
  const auto path_ok = [](const std::string& path) { return !path.empty() && Writable(path); };
  for (const PathState& state : depends_on) {
    if (!path_ok(state.path)) return {};
    text += "path " + StateText(state);
  }
  if (renderer) {
    if (!path_ok(renderer->path)) return {};
    text += "renderer " + StateText(*renderer);
  }
  for (const FontAnswer& answer : answers) {
    if (!Writable(answer.family) || !path_ok(answer.file.path)) return {};
    text += "face " + std::to_string(answer.bold ? 1 : 0) + " " +
            std::to_string(answer.file.index) + " " + answer.family + "\t" + answer.file.path +
            "\n";
  }
  for (const auto& [key, size] : sizes) {
    const auto& [path, index, points, pixels, overstruck] = key;
    if (!path_ok(path)) return {};
    text += "size " + std::to_string(index) + " " + std::to_string(points) + " " +
            std::to_string(pixels ? 1 : 0) + " " + std::to_string(overstruck ? 1 : 0) + " " +
            std::to_string(size.ascent) + " " + std::to_string(size.line_height) + " " + path +
            "\n";
    for (const auto& [code, glyph] : size.glyphs) {
      text += "glyph " + std::to_string(static_cast<std::uint32_t>(code)) + " " +
              std::to_string(glyph.advance) + " " + std::to_string(glyph.left) + " " +
              std::to_string(glyph.top) + " " + std::to_string(glyph.width) + " " +
              std::to_string(glyph.rows) + " ";
      for (unsigned char a : glyph.alpha) {
        text += kHex[a >> 4];
        text += kHex[a & 15];
      }
      text += "\n";
    }
  }
  return text.append(kEnd);
}

std::optional<FontMemory> FontMemory::FromText(std::string_view text) {
  if (!text.starts_with(kHeader) || !text.ends_with(kEnd)) return std::nullopt;
  text.remove_prefix(kHeader.size());
  text.remove_suffix(kEnd.size());
  FontMemory memory;
  FaceSize* size = nullptr;  // the glyphs that follow are its
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const std::string_view word = line.substr(0, blank);
    line.remove_prefix(blank + 1);
    if (word == "env") {
      memory.environment.append(line).append("\n");
    } else if (word == "path") {
      if (!TakeState(line, memory.depends_on.emplace_back())) return std::nullopt;
    } else if (word == "renderer") {
      if (!TakeState(line, memory.renderer.emplace())) return std::nullopt;
    } else if (word == "face") {
      FontAnswer answer;
      if (!TakeFlag(line, answer.bold) || !Take(line, answer.file.index) || answer.file.index < 0) {
        return std::nullopt;
      }
      const size_t tab = line.find('\t');
      if (tab == std::string_view::npos || tab + 1 == line.size()) return std::nullopt;
      answer.family = line.substr(0, tab);
      answer.file.path = line.substr(tab + 1);
      memory.answers.push_back(std::move(answer));
    } else if (word == "size") {
      int index = 0;
      long points = 0;
      bool pixels = false, overstruck = false;
      FaceSize read;
      if (!Take(line, index) || !Take(line, points) || !TakeFlag(line, pixels) ||
          !TakeFlag(line, overstruck) || !Take(line, read.ascent) ||
          !Take(line, read.line_height) || line.empty() || index < 0 || points <= 0) {
        return std::nullopt;
      }
      read.key = {std::string(line), index, points, pixels, overstruck};
      const auto [at, added] = memory.sizes.emplace(read.key, std::move(read));
      if (!added) return std::nullopt;
      size = &at->second;
    } else if (word == "glyph") {
      std::uint32_t code = 0;
      GlyphImage glyph;
      if (!size || !Take(line, code) || !Take(line, glyph.advance) || !Take(line, glyph.left) ||
          !Take(line, glyph.top) || !Take(line, glyph.width) || !Take(line, glyph.rows) ||
          glyph.width < 0 || glyph.rows < 0 ||
          line.size() != 2 * static_cast<size_t>(glyph.width) * static_cast<size_t>(glyph.rows)) {
        return std::nullopt;
      }
      glyph.alpha.reserve(line.size() / 2);
      for (size_t i = 0; i < line.size(); i += 2) {
        const int high = HexDigit(line[i]), low = HexDigit(line[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        glyph.alpha.push_back(static_cast<unsigned char>(high << 4 | low));
      }
      if (!size->glyphs.emplace(static_cast<char32_t>(code), std::move(glyph)).second) {
        return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
  }
  return memory;
}

}  // namespace huevex::soft
