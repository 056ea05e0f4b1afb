#include "help/frm_about.h"

#include "resources/layouts.h"
#include "shell/project.h"

namespace huevex {

FrmAbout::FrmAbout(Project& project)
    : Form(project.runtime(), layouts::About()), project_(project) {}

// Placed once per load, directly under the main window; never made topmost.
void FrmAbout::Form_Load() {
  FrmMain& main = project_.frmMain();
  Left(main.Left());
  const Single height = main.Height();
  Top(AddSingle(height, main.Top()));
}

}  // namespace huevex
