#include "magnifier/frm_zoom.h"

#include "resources/layouts.h"
#include "shell/project.h"

namespace huevex {

FrmZoom::FrmZoom(Project& project) : Form(project.runtime(), layouts::Zoom()), project_(project) {}

}  // namespace huevex
