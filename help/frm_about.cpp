#include "help/frm_about.h"

#include "resources/layouts.h"
#include "shell/project.h"

namespace huevex {

FrmAbout::FrmAbout(Project& project)
    : Form(project.runtime(), layouts::About()), project_(project) {}

}  // namespace huevex
