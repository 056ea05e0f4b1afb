#include "app/project.h"

#include "resources/layouts.h"

namespace huevex {

Project::Project(Gdi& gdi, WindowSystem& windows)
    : runtime_(gdi, windows),
      main_(runtime_, zoom_, about_),
      zoom_(runtime_, main_),
      about_(runtime_, main_) {
  // A copy the clipboard refused shows in the title until a copy succeeds.
  runtime_.Clipboard().OnOutcome([this](bool copied) {
    not_copied_ = !copied;
    ShowTroubleInTitle();
  });
  // A screen that cannot be read shows in the title while it lasts, and is
  // explained once in a message box. A question of the desktop's left open
  // is no failure: the box points at it, once.
  runtime_.OnScreenAccessChange([this](ScreenAccess access, std::string_view reason) {
    screen_unreadable_ = access == ScreenAccess::Unreadable;
    ShowTroubleInTitle();
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

void Project::Start() {
  runtime_.Dispatch([this] { main_.Show(); });
}

int RunHuevex(Gdi& gdi, WindowSystem& windows) {
  Project project(gdi, windows);
  project.Start();
  if (!project.runtime().Ended()) windows.Run();
  return 0;
}

}  // namespace huevex
