// The project: the forms runtime and its three forms, one of each, found by
// name. The program starts with frmMain shown, or with a pick armed that
// ends the program when it ends; the other two forms load when first used.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "app/command_line.h"
#include "help/frm_about.h"
#include "magnifier/frm_zoom.h"
#include "picker/frm_main.h"
#include "shell/forms/toolkit.h"

namespace huevex {

class Project {
 public:
  Project(Gdi& gdi, WindowSystem& windows, Output output = {});

  Runtime& runtime() { return runtime_; }
  FrmMain& frmMain() { return main_; }
  FrmZoom& frmZoom() { return zoom_; }
  FrmAbout& frmAbout() { return about_; }

  // Loads and shows the startup form; the shortcut, where there is one,
  // starts a pick in it from anywhere.
  void Start(std::optional<Shortcut> shortcut = std::nullopt);
  // Picks once: the pick starts at once and the program ends with it,
  // having printed the code it copied.
  void StartPick();
  // The exit status: for a pick, how it ended.
  int ExitStatus() const { return status_; }

 private:
  void ShowTroubleInTitle();
  void PickEnded(FrmMain::PickEnd end);
  void Copied(bool copied);
  void Finish(int status);

  Runtime runtime_;  // first: the forms below go before it does
  FrmMain main_;
  FrmZoom zoom_;
  FrmAbout about_;
  Output output_;
  bool not_copied_ = false;            // the last copy was given up
  bool screen_unreadable_ = false;     // no way to the screen's pixels now
  bool screen_explained_ = false;      // the message box has been shown
  bool question_pointed_out_ = false;  // the desktop's open question has been
  std::string screen_reason_;          // why the screen cannot be read, while it lasts
  // A pick from the command: what it ends with.
  enum class Command { Off, Picking, Copying, Done };
  Command command_ = Command::Off;
  int status_ = 0;
};

// The whole program on a platform, as the command line asks: start, then
// run the message loop until no form is loaded. The exit status.
int RunHuevex(Gdi& gdi, WindowSystem& windows,
              CommandLine::Action action = CommandLine::Action::Window,
              std::optional<Shortcut> shortcut = std::nullopt, Output output = {});

}  // namespace huevex
