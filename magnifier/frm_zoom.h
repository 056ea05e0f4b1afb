// frmZoom, the magnifier: a borderless panel under the main window showing
// the screen around the cursor enlarged.
#pragma once

#include "shell/forms/toolkit.h"

namespace huevex {

class Project;

class FrmZoom : public Form {
 public:
  explicit FrmZoom(Project& project);

 private:
  Project& project_;
};

}  // namespace huevex
