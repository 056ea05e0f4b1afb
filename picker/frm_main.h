// frmMain, the picker window: the pick gesture on the crosshair and the
// sampling of the pixel under the pointer.
#pragma once

#include <cstdint>
#include <optional>

#include "shell/forms/toolkit.h"

namespace huevex {

class FrmMain : public Form {
 public:
  // How long a release waits for the pick's first read of the screen, when
  // none came before it; and how long at most while the desktop asks the
  // user whether the screen may be read.
  static constexpr std::uint32_t kReleaseWaitMs = 2000;
  static constexpr std::uint32_t kAnswerWaitMs = 120'000;

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
  void ShowColor(ColorValue color);
  bool ReleaseWaitOver();

  Form& frmZoom_;
  Form& frmAbout_;
  // Whether a tick of the current pick has read the screen.
  bool pickSampled_ = false;
  // A release that came before the pick's first read: where it was, and when.
  struct ReleaseWait {
    Point at;
    std::uint32_t since = 0;
  };
  std::optional<ReleaseWait> releaseWait_;
};

}  // namespace huevex
