// What the program is asked to do, from its command line and its one
// setting in the environment: show the main window (with the shortcut), or
// pick once and print, or tell its usage or version. The same on every
// platform; the Windows program also takes options written with '/'.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shell/platform/platform.h"

namespace huevex {

#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

struct CommandLine {
  enum class Action { Window, Pick, Help, Version, Wrong };
  Action action = Action::Window;
  std::string wrong;  // the argument not understood
};

// The arguments after the program's name. `slashes`: "/pick" as "--pick".
CommandLine ParseCommandLine(std::span<const std::string_view> args, bool slashes);

// Exit statuses of a command: picked, backed out of, and every kind of trouble.
inline constexpr int kExitPicked = 0;
inline constexpr int kExitCancelled = 1;
inline constexpr int kExitTrouble = 2;

// The global shortcut: Super+Alt+C unless HUEVEX_SHORTCUT names another
// ("Ctrl+Shift+F9"), or "none".
inline constexpr Shortcut kDefaultShortcut{'C', false, true, false, true};
struct ShortcutChoice {
  std::optional<Shortcut> shortcut;
  std::string wrong;  // a setting that names no shortcut: why, for the user
};
ShortcutChoice ChooseShortcut(const char* setting);
// "Super+Alt+C" (on Windows the Super key is called Win).
std::string ShortcutText(const Shortcut& shortcut, bool windows);

// What --help prints; `program` is how the program is called.
std::string HelpText(std::string_view program, bool windows);
std::string VersionText();

}  // namespace huevex
