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
    if (!main_.Loaded()) return;
    main_.Caption(copied ? std::string(layouts::Main().caption) : "HUEVEX - NOT COPIED");
  });
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
