// The project: the forms runtime and its three forms, one of each, found by
// name. The program starts with frmMain; the other two load when first used.
#pragma once

#include "help/frm_about.h"
#include "magnifier/frm_zoom.h"
#include "picker/frm_main.h"
#include "shell/forms/toolkit.h"

namespace huevex {

class Project {
 public:
  Project(Gdi& gdi, WindowSystem& windows);

  Runtime& runtime() { return runtime_; }
  FrmMain& frmMain() { return main_; }
  FrmZoom& frmZoom() { return zoom_; }
  FrmAbout& frmAbout() { return about_; }

  // Loads and shows the startup form.
  void Start();

 private:
  void ShowTroubleInTitle();

  Runtime runtime_;  // first: the forms below go before it does
  FrmMain main_;
  FrmZoom zoom_;
  FrmAbout about_;
  bool not_copied_ = false;            // the last copy was given up
  bool screen_unreadable_ = false;     // no way to the screen's pixels now
  bool screen_explained_ = false;      // the message box has been shown
  bool question_pointed_out_ = false;  // the desktop's open question has been
};

// The whole program on a platform: start, then run the message loop until no
// form is loaded.
int RunHuevex(Gdi& gdi, WindowSystem& windows);

}  // namespace huevex
