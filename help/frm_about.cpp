#include "help/frm_about.h"

#include "resources/layouts.h"

namespace huevex {

FrmAbout::FrmAbout(Runtime& runtime, Form& frmMain)
    : Form(runtime, layouts::About()), frmMain_(frmMain) {}

// Placed once per load, directly under the main window; never made topmost.
void FrmAbout::Form_Load() {
  Left(frmMain_.Left());
  const Single height = frmMain_.Height();
  Top(AddSingle(height, frmMain_.Top()));
}

}  // namespace huevex
