// frmMain, the picker window: the pick gesture on the crosshair and the
// sampling of the pixel under the pointer.
#pragma once

#include <cstdint>
#include <optional>

#include "resources/layouts.h"
#include "shell/forms/toolkit.h"

namespace huevex {

class FrmMain : public Form {
 public:
  // How long a release waits for the pick's first read of the screen, when
  // none came before it; how long for a read of the release point when the
  // pick has read elsewhere (past it, the pick's last read is copied: the
  // point may be on no screen); and how long at most while the desktop asks
  // the user whether the screen may be read.
  static constexpr std::uint32_t kReleaseWaitMs = 2000;
  static constexpr std::uint32_t kReleasePointWaitMs = 250;
  static constexpr std::uint32_t kAnswerWaitMs = 120'000;

  // The magnifier and the help panel, which the main window opens and closes.
  FrmMain(Runtime& runtime, Form& frmZoom, Form& frmAbout);

  PictureBox& picCursor() { return Get<PictureBox>(layouts::controls::picCursor); }
  PictureBox& picColor() { return Get<PictureBox>("picColor"); }
  Label& lblDECvalue() { return Get<Label>("lblDECvalue"); }
  Label& lblRGBvalue() { return Get<Label>("lblRGBvalue"); }
  Label& lblHEXvalue() { return Get<Label>("lblHEXvalue"); }
  Timer& timSpy() { return Get<Timer>(layouts::controls::timSpy); }

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;
  void Form_KeyDown(int& keyCode, int shift) override;

 private:
  void picCursor_MouseDown(int button, int shift, Single x, Single y);
  void picCursor_MouseUp(int button, int shift, Single x, Single y);
  void timSpy_Timer();
  void ToggleMagnifier();
  void imgQuestion_Click();
  void ShowColor(ColorValue color);
  bool ReleaseWaitOver();
  void Nudge(int dx, int dy);
  void CancelPick();

  Form& frmZoom_;
  Form& frmAbout_;
  // Between a press on the crosshair and its release or Esc.
  bool picking_ = false;
  // Esc ended the pick: its releases do nothing.
  bool cancelled_ = false;
  // Whether a tick of the current pick has read the screen, and where it last did.
  bool pickSampled_ = false;
  Point lastSampled_;
  // What the swatch and codes showed before the pick, for Esc to put back.
  struct Shown {
    ColorValue swatch = 0;
    std::string dec, rgb, hex;
  };
  Shown beforePick_;
  // A release that came before the pick's first read: where it was, and when.
  struct ReleaseWait {
    Point at;
    std::uint32_t since = 0;
  };
  std::optional<ReleaseWait> releaseWait_;
};

}  // namespace huevex
