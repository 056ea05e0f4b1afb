// frmAbout, the help panel that drops down under the main window.
#pragma once

#include "shell/forms/toolkit.h"

namespace huevex {

class FrmAbout : public Form {
 public:
  // Opens under the main window.
  FrmAbout(Runtime& runtime, Form& frmMain);

 protected:
  void Form_Load() override;

 private:
  Form& frmMain_;
};

}  // namespace huevex
