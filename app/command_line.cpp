#include "app/command_line.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace huevex {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string> Split(std::string_view text, char at) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(at, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// 'A'-'Z', '0'-'9' or F1-F24 as a virtual-key code; 0 for anything else.
int KeyOf(const std::string& name) {
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
    return std::toupper(static_cast<unsigned char>(name[0]));
  }
  if (name.size() >= 2 && name.size() <= 3 && name[0] == 'f') {
    int n = 0;
    for (size_t i = 1; i < name.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
      n = n * 10 + (name[i] - '0');
    }
    if (n >= 1 && n <= 24) return VK_F1 + n - 1;
  }
  return 0;
}

// Where a modifier's name (lower case) is kept in a shortcut; null for none.
bool* ModifierOf(Shortcut& shortcut, const std::string& name) {
  if (name == "ctrl" || name == "control") return &shortcut.control;
  if (name == "alt") return &shortcut.alt;
  if (name == "shift") return &shortcut.shift;
  if (name == "super" || name == "win" || name == "meta" || name == "logo") return &shortcut.super;
  return nullptr;
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> args, bool slashes) {
  CommandLine line;
  for (std::string_view arg : args) {
    std::string option(arg);
    if (slashes && option.size() > 1 && option[0] == '/') option = "--" + option.substr(1);
    CommandLine::Action action;
    if (option == "--pick" || option == "-p") {
      action = CommandLine::Action::Pick;
    } else if (option == "--help" || option == "-h" || (slashes && option == "--?")) {
      action = CommandLine::Action::Help;
    } else if (option == "--version" || option == "-V") {
      action = CommandLine::Action::Version;
    } else {
      return {CommandLine::Action::Wrong, std::string(arg)};
    }
    // Help and the version win over a pick; two of anything else are one.
    if (line.action == CommandLine::Action::Window || action == CommandLine::Action::Help ||
        (action == CommandLine::Action::Version && line.action == CommandLine::Action::Pick)) {
      line.action = action;
    }
  }
  return line;
}

ShortcutChoice ChooseShortcut(const char* setting) {
  if (!setting || !*setting) return {kDefaultShortcut, ""};
  const std::string text = Lower(setting);
  if (text == "none") return {std::nullopt, ""};
  Shortcut shortcut;
  const std::vector<std::string> parts = Split(text, '+');
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::string& m = parts[i];
    bool* flag = ModifierOf(shortcut, m);
    if (!flag || *flag) {
      return {std::nullopt, "HUEVEX_SHORTCUT=" + std::string(setting) + ": \"" + parts[i] +
                                "\" is not a modifier (Ctrl, Alt, Shift, Super)"};
    }
    *flag = true;
  }
  shortcut.key = KeyOf(parts.back());
  if (shortcut.key == 0) {
    return {std::nullopt, "HUEVEX_SHORTCUT=" + std::string(setting) +
                              ": the key must be a letter, a digit or F1 to F24"};
  }
  if (!shortcut.control && !shortcut.alt && !shortcut.super) {
    return {std::nullopt,
            "HUEVEX_SHORTCUT=" + std::string(setting) +
                ": a shortcut needs Ctrl, Alt or Super, or it takes a key from typing"};
  }
  return {shortcut, ""};
}

std::optional<Shortcut> ShortcutFor(const CommandLine& line, const Output& output) {
  if (line.action == CommandLine::Action::Pick) return std::nullopt;
  ShortcutChoice choice = ChooseShortcut(std::getenv("HUEVEX_SHORTCUT"));
  if (!choice.wrong.empty() && output.trouble) {
    output.trouble(choice.wrong + "; HUEVEX goes on without a shortcut");
  }
  return choice.shortcut;
}

std::string ShortcutText(const Shortcut& shortcut, bool windows) {
  std::string text;
  if (shortcut.super) text += windows ? "Win+" : "Super+";
  if (shortcut.control) text += "Ctrl+";
  if (shortcut.alt) text += "Alt+";
  if (shortcut.shift) text += "Shift+";
  if (shortcut.key >= VK_F1 && shortcut.key < VK_F1 + 24) {
    text += 'F';
    text += std::to_string(shortcut.key - VK_F1 + 1);
  } else {
    text += static_cast<char>(shortcut.key);
  }
  return text;
}

std::string HelpText(std::string_view program, bool windows) {
  std::string text = R"(Usage: {program} [--pick | --help | --version]
A color picker. Without options it opens its window: press on the crosshair,
drag it anywhere on the screen and release it over the color wanted; the HEX
code (#RRGGBB) goes to the clipboard. While it runs, {shortcut} starts the
same pick without the drag: a click (or Enter) picks, Esc backs out.

  {pick}    pick once and print: the crosshair is the pointer at once;
                  a click of any button or Enter picks the point, and its code
                  goes to the clipboard and to standard output as #RRGGBB;
                  Esc ends it with nothing copied. The arrow keys move the
                  point by a pixel, ten with Shift.
  --help, -h      show this help
  --version, -V   show the version

Exit status: 0 picked, 1 backed out of (Esc), 2 trouble (an unknown option,
no display, a screen that cannot be read).

Environment:
  HUEVEX_SHORTCUT the shortcut, as "Ctrl+Shift+F9" (Ctrl, Alt, Shift, Super
                  and a letter, a digit or F1 to F24), or "none"
)";
  if (!windows) {
    text += R"(  HUEVEX_SCREEN   where the pixels come from: x11, screencopy, screencast
                  or portal (by default the program chooses)
)";
  }
  const auto put = [&](std::string_view name, std::string_view value) {
    const size_t at = text.find(name);
    if (at != std::string::npos) text.replace(at, name.size(), value);
  };
  put("{program}", program);
  put("{shortcut}", ShortcutText(kDefaultShortcut, windows));
  put("{pick}", windows ? "--pick, /pick" : "--pick, -p  ");
  return text;
}

std::string VersionText() { return "HUEVEX 1.0.0\n"; }

std::optional<int> AnswerAtOnce(const CommandLine& line, bool windows, const Output& output) {
  switch (line.action) {
    case CommandLine::Action::Help:
      if (output.answer) output.answer(HelpText(windows ? "HUEVEX" : "huevex", windows));
      return 0;
    case CommandLine::Action::Version:
      if (output.answer) output.answer(VersionText());
      return 0;
    case CommandLine::Action::Wrong:
      if (output.trouble) {
        output.trouble("unknown option '" + line.wrong + "' (" +
                       (windows ? "HUEVEX /?" : "huevex --help") + " tells the options)");
      }
      return kExitTrouble;
    case CommandLine::Action::Window:
    case CommandLine::Action::Pick:
      break;
  }
  return std::nullopt;
}

}  // namespace huevex
