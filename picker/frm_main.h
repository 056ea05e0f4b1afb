// frmMain, the picker window: the pick gesture on the crosshair and the
// sampling of the pixel under the pointer.
#pragma once

#include "shell/forms/toolkit.h"

namespace huevex {

class FrmMain : public Form {
 public:
  // The magnifier and the help panel, which the main window opens and closes.
  FrmMain(Runtime& runtime, Form& frmZoom, Form& frmAbout);

  PictureBox& picCursor() { return Get<PictureBox>("picCursor"); }
  PictureBox& picColor() { return Get<PictureBox>("picColor"); }
  Label& lblDECvalue() { return Get<Label>("lblDECvalue"); }
  Label& lblRGBvalue() { return Get<Label>("lblRGBvalue"); }
  Label& lblHEXvalue() { return Get<Label>("lblHEXvalue"); }
  Timer& timSpy() { return Get<Timer>("timSpy"); }

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;

 private:
  void picCursor_MouseDown(int button, int shift, Single x, Single y);
  void picCursor_MouseUp(int button, int shift, Single x, Single y);
  void timSpy_Timer();
  void ToggleMagnifier();
  void imgQuestion_Click();

  Form& frmZoom_;
  Form& frmAbout_;
};

}  // namespace huevex
