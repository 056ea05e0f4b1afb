// frmMain, the picker window: the pick gesture on the crosshair and the
// sampling of the pixel under the pointer.
#pragma once

#include <cstdint>
#include <functional>
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
  PictureBox& picColor() { return Get<PictureBox>(layouts::controls::picColor); }
  Label& lblDECvalue() { return Get<Label>(layouts::controls::lblDECvalue); }
  Label& lblRGBvalue() { return Get<Label>(layouts::controls::lblRGBvalue); }
  Label& lblHEXvalue() { return Get<Label>(layouts::controls::lblHEXvalue); }
  Timer& timSpy() { return Get<Timer>(layouts::controls::timSpy); }

  // A pick with no press, from a command or the shortcut: the crosshair is
  // the pointer everywhere and sampling runs at once, until a click (at its
  // release) or Enter picks, or Esc backs out. With `beside_pointer` the
  // window and the magnifier show beside the point and follow it. Nothing
  // happens while a pick runs already.
  void ArmPick(bool beside_pointer);
  // How a pick ended: its code copied, backed out of, nothing read (no
  // picture of the screen came), or not started (another program holds the
  // pointer).
  enum class PickEnd { Copied, Cancelled, NothingRead, PointerHeld };
  void OnPickEnded(std::function<void(PickEnd)> listener) { pick_ended_ = std::move(listener); }
  // The screen cannot be read: a pick armed with no press ends as one that
  // read nothing, since nothing would end it (on Xwayland it waits for a
  // picture of the screen to cover the screen with). Other picks go on.
  void ScreenUnreadable();

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;
  void Form_KeyDown(int& keyCode, int shift) override;

 private:
  // Where the pick is. A pick starts with a press on the crosshair, or armed
  // with no press until one comes anywhere; Esc cancels it until the
  // button's release; a release that the pick has not read the point of
  // waits for that read.
  enum class PickPhase { Idle, Armed, Picking, Cancelled, AwaitingReleasePoint };

  void picCursor_MouseDown(int button, int shift, Single x, Single y);
  void picCursor_MouseUp(int button, int shift, Single x, Single y);
  void timSpy_Timer();
  void ToggleMagnifier();
  void imgQuestion_Click();
  ColorValue ReadScreen(Point point);
  void ShowColor(ColorValue color);
  void StartPick();
  void Release();
  void EndPick();
  void CopyPicked();
  void Ended(PickEnd end);
  void GoBeside(Point point);
  void AwaitReleasePoint(bool read);
  bool ReleaseWaitOver();
  void Nudge(int dx, int dy);
  void CancelPick(PickEnd end = PickEnd::Cancelled);

  Form& frmZoom_;
  Form& frmAbout_;
  PickPhase phase_ = PickPhase::Idle;
  bool beside_pointer_ = false;
  std::optional<Point> placedAt_;  // the point the window was last put beside
  std::function<void(PickEnd)> pick_ended_;
  // Whether a tick of the current pick has read the screen, and where it last did.
  bool pickSampled_ = false;
  Point lastSampled_;
  // What the swatch and codes showed before the pick, for Esc to put back.
  struct Shown {
    ColorValue swatch = 0;
    std::string dec, rgb, hex;
  };
  Shown beforePick_;
  // The point a release waits to read, and since when.
  Point releasePoint_;
  std::uint32_t releaseSince_ = 0;
};

}  // namespace huevex
