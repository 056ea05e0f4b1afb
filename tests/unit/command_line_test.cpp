// The command line and the shortcut's setting, as the program reads them.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace huevex {
namespace {

using Action = CommandLine::Action;

TEST(CommandLineTest, Options) {
  const struct {
    std::vector<std::string_view> args;
    bool slashes;
    Action action;
    const char* wrong;
  } table[] = {
      {{}, false, Action::Window, ""},
      {{"--pick"}, false, Action::Pick, ""},
      {{"-p"}, false, Action::Pick, ""},
      {{"/pick"}, true, Action::Pick, ""},
      {{"/pick"}, false, Action::Wrong, "/pick"},
      {{"--help"}, false, Action::Help, ""},
      {{"/?"}, true, Action::Help, ""},
      {{"--pick", "--version"}, false, Action::Version, ""},
      {{"--version", "--help"}, false, Action::Help, ""},
      {{"--pick", "--colour"}, false, Action::Wrong, "--colour"},
      {{"pick"}, false, Action::Wrong, "pick"},
  };
  for (const auto& row : table) {
    const CommandLine line = ParseCommandLine(row.args, row.slashes);
    const std::string what = row.args.empty() ? "(none)" : std::string(row.args.front());
    EXPECT_EQ(line.action, row.action) << what;
    EXPECT_EQ(line.wrong, row.wrong) << what;
  }
  EXPECT_NE(HelpText("huevex", false).find("Super+Alt+C"), std::string::npos);
  EXPECT_NE(HelpText("HUEVEX.exe", true).find("Win+Alt+C"), std::string::npos);
}

TEST(CommandLineTest, TheShortcutsSetting) {
  const struct {
    const char* setting;
    std::optional<Shortcut> shortcut;
    bool wrong;
  } table[] = {
      {nullptr, kDefaultShortcut, false},
      {"", kDefaultShortcut, false},
      {"none", std::nullopt, false},
      {"ctrl+SHIFT+f9", Shortcut{VK_F1 + 8, true, false, true, false}, false},
      {"Win+Alt+7", Shortcut{'7', false, true, false, true}, false},
      {"Shift+C", std::nullopt, true},      // would take a capital C from typing
      {"Ctrl+Ctrl+C", std::nullopt, true},  // a modifier twice
      {"Hyper+C", std::nullopt, true},
      {"Ctrl+F25", std::nullopt, true},
      {"Ctrl+Alt+", std::nullopt, true},
  };
  for (const auto& row : table) {
    const ShortcutChoice choice = ChooseShortcut(row.setting);
    const char* what = row.setting ? row.setting : "(unset)";
    EXPECT_EQ(choice.shortcut, row.shortcut) << what;
    EXPECT_EQ(!choice.wrong.empty(), row.wrong) << what << ": " << choice.wrong;
    if (choice.shortcut) {
      EXPECT_EQ(ChooseShortcut(ShortcutText(*choice.shortcut, false).c_str()).shortcut,
                choice.shortcut)
          << what;
    }
  }
}

}  // namespace
}  // namespace huevex
