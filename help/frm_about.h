// frmAbout, the help panel that drops down under the main window.
#pragma once

#include "shell/forms/toolkit.h"

namespace huevex {

class Project;

class FrmAbout : public Form {
 public:
  explicit FrmAbout(Project& project);

 protected:
  void Form_Load() override;

 private:
  Project& project_;
};

}  // namespace huevex
