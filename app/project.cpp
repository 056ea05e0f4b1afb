#include "app/project.h"

#include "resources/layouts.h"

namespace huevex {

Project::Project(Gdi& gdi, WindowSystem& windows, Output output)
    : runtime_(gdi, windows),
      main_(runtime_, zoom_, about_),
      zoom_(runtime_, main_),
      about_(runtime_, main_),
      output_(std::move(output)) {
  // A copy the clipboard refused shows in the title until a copy succeeds.
  runtime_.Clipboard().OnOutcome([this](bool copied) {
    not_copied_ = !copied;
    ShowTroubleInTitle();
    Copied(copied);
  });
  // A screen that cannot be read shows in the title while it lasts, and is
  // explained once in a message box (a command says why on its way out). A
  // question of the desktop's left open is no failure: the box points at it,
  // once.
  runtime_.OnScreenAccessChange([this](ScreenAccess access, std::string_view reason) {
    screen_unreadable_ = access == ScreenAccess::Unreadable;
    screen_reason_ = screen_unreadable_ ? std::string(reason) : "";
    ShowTroubleInTitle();
    if (screen_unreadable_) main_.ScreenUnreadable();
    if (command_ != Command::Off) return;
    if (access == ScreenAccess::StillAsking && !question_pointed_out_) {
      question_pointed_out_ = true;
      runtime_.windows().ShowError(
          runtime_.MainWindow(), "HUEVEX",
          "The desktop is asking whether HUEVEX may read the screen, in a dialog of its own "
          "(it may lie behind other windows).\n\nAnswer it there: until then the swatch, the "
          "codes and the magnifier show nothing new, and picks copy nothing.");
    }
    if (access != ScreenAccess::Unreadable || screen_explained_) return;
    screen_explained_ = true;
    runtime_.windows().ShowError(
        runtime_.MainWindow(), "HUEVEX",
        "HUEVEX cannot read the screen: " + std::string(reason) +
            "\n\nThe swatch, the codes and the magnifier show nothing new until it can.");
  });
  main_.OnPickEnded([this](FrmMain::PickEnd end) { PickEnded(end); });
}

void Project::ShowTroubleInTitle() {
  if (!main_.Loaded()) return;
  if (screen_unreadable_) {
    main_.Caption("HUEVEX - SCREEN NOT READABLE");
  } else if (not_copied_) {
    main_.Caption("HUEVEX - NOT COPIED");
  } else {
    main_.Caption(layouts::Main().caption);
  }
}

void Project::Start(std::optional<Shortcut> shortcut) {
  runtime_.Dispatch([this] { main_.Show(); });
  if (!shortcut || runtime_.Ended()) return;
  runtime_.OnShortcutEvents(
      [this] { main_.ArmPick(false); },
      [this, text = ShortcutText(*shortcut, kOnWindows)](std::string_view why) {
        if (output_.trouble) {
          output_.trouble("the shortcut " + text + " is not available (" + std::string(why) +
                          "); HUEVEX goes on without it");
        }
      });
  runtime_.windows().RegisterShortcut(*shortcut);
}

void Project::StartPick() {
  command_ = Command::Picking;
  runtime_.Dispatch([this] { main_.ArmPick(true); });
}

// A command's pick: the copy is awaited before the code is printed; Esc and
// a screen that gave nothing end it at once.
void Project::PickEnded(FrmMain::PickEnd end) {
  if (command_ != Command::Picking) return;
  switch (end) {
    case FrmMain::PickEnd::Copied:
      command_ = Command::Copying;
      break;
    case FrmMain::PickEnd::Cancelled:
      Finish(kExitCancelled);
      break;
    case FrmMain::PickEnd::NothingRead:
      if (output_.trouble) {
        output_.trouble(screen_reason_.empty() ? std::string("the screen could not be read")
                                               : "the screen could not be read: " + screen_reason_);
      }
      Finish(kExitTrouble);
      break;
    case FrmMain::PickEnd::PointerHeld:
      if (output_.trouble) output_.trouble("another program holds the pointer or the keyboard");
      Finish(kExitTrouble);
      break;
  }
}

void Project::Copied(bool copied) {
  if (command_ != Command::Copying) return;
  if (output_.answer) output_.answer(main_.lblHEXvalue().Caption() + "\n");
  if (!copied && output_.trouble) {
    output_.trouble("the clipboard stayed busy: the color was not copied");
  }
  Finish(kExitPicked);
}

void Project::Finish(int status) {
  command_ = Command::Done;
  status_ = status;
  Unload(main_);
}

int RunHuevex(Gdi& gdi, WindowSystem& windows, CommandLine::Action action,
              std::optional<Shortcut> shortcut, Output output) {
  Project project(gdi, windows, std::move(output));
  if (action == CommandLine::Action::Pick) {
    project.StartPick();
  } else {
    project.Start(shortcut);
  }
  if (!project.runtime().Ended()) windows.Run();
  return project.ExitStatus();
}

}  // namespace huevex
