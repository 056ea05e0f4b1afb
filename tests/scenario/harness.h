// The whole program on the simulated desktop, with the few gestures a test
// needs: press on the crosshair, move, let time pass, release.
#pragma once

#include <functional>
#include <memory>

#include "app/project.h"
#include "shell/platform/sim/sim_desktop.h"

namespace huevex::testing {

class Desktop {
 public:
  // The program starts with the pointer where `pointer` says: its window
  // shown, the shortcut registered; or as the command that picks once.
  enum class StartAs { Window, PickCommand };
  explicit Desktop(std::vector<sim::Monitor> monitors = {{{0, 0, 1920, 1080}, 96}}, int primary = 0,
                   Point pointer = {}, StartAs start = StartAs::Window,
                   const std::function<void(sim::SimDesktop&)>& before_start = {})
      : sim(std::move(monitors), primary),
        project(sim.gdi(), sim,
                {[this](std::string_view text) { printed += text; },
                 [this](std::string_view text) { troubles += std::string(text) + "\n"; }}) {
    sim.MoveCursor(pointer);
    if (before_start) before_start(sim);
    if (start == StartAs::PickCommand) {
      project.StartPick();
    } else {
      project.Start(kDefaultShortcut);
    }
  }

  FrmMain& main() { return project.frmMain(); }
  Hwnd MainWindow() { return project.frmMain().Window(); }

  // The screen point of the crosshair's centre dot in its box, at any DPI.
  Point CrosshairCentre() {
    const Rect client = sim.ClientRect(MainWindow());
    const Rect box = main().picCursor().Bounds(main().Dpi());
    return {client.left + (box.left + box.right) / 2, client.top + (box.top + box.bottom) / 2};
  }

  void PressOnCrosshair(MouseButton button = MouseButton::Left) {
    sim.MoveCursor(CrosshairCentre());
    sim.Press(button);
  }

  // A whole pick: press on the crosshair, drag to the point, let the timer
  // tick, release there.
  void Pick(Point target, MouseButton button = MouseButton::Left) {
    PressOnCrosshair(button);
    sim.MoveCursor(target);
    sim.Advance(5);
    sim.Release(button);
  }

  sim::SimDesktop sim;
  std::string printed, troubles;  // what the program wrote out, and of trouble
  Project project;
};

}  // namespace huevex::testing
