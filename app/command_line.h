// What the program is asked to do, from its command line and its one
// setting in the environment: show the main window (with the shortcut), or
// pick once and print, or tell its usage or version. The same on every
// platform; the Windows program also takes options written with '/'.
#pragma once

#include <functional>
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

// Where the program's words go: a command's answer (standard output), and
// what it has to say of trouble (standard error, or a box where a program
// has no console). Each platform's entry point decides.
struct Output {
  std::function<void(std::string_view)> answer;
  std::function<void(std::string_view)> trouble;
};

// Usage, version and an option not understood are answered before anything
// is opened: the exit status, once `output` has told it. None where the
// program is to run (its window, or a pick).
std::optional<int> AnswerAtOnce(const CommandLine& line, bool windows, const Output& output);

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
// The shortcut of the program's window, from HUEVEX_SHORTCUT: a setting that
// names none is told as trouble, and the window goes on without one. A
// command's pick has none.
std::optional<Shortcut> ShortcutFor(const CommandLine& line, const Output& output);
// "Super+Alt+C" (on Windows the Super key is called Win).
std::string ShortcutText(const Shortcut& shortcut, bool windows);

// What --help prints; `program` is how the program is called.
std::string HelpText(std::string_view program, bool windows);
std::string VersionText();

}  // namespace huevex
