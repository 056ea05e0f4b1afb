// Whether the pointer can have moved since the server last said where it is.
// The magnifier asks for the position twenty times a second; at rest, every
// one of those round trips wakes both the program and the server for nothing.
// XInput2's raw motion events report each movement of a pointing device
// without being asked, so while none has come the last answer still holds.
// A warp (XWarpPointer, which also moves the pointer for xdotool's absolute
// moves) makes no raw event, so an answer is trusted for a short while only.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <optional>

#include "shell/platform/platform.h"

namespace huevex::x11 {

class PointerWatch {
 public:
  using Clock = std::chrono::steady_clock;
  // Just under the magnifier's 250 ms rhythm: a pointer at rest is asked
  // about once per timed frame, and a warp shows at the latest then.
  static constexpr std::chrono::milliseconds kTrustFor{240};

  explicit PointerWatch(Display* display) : display_(display) {}

  // The last answer, while it holds: nothing has arrived since that may be
  // motion, and it is younger than kTrustFor.
  std::optional<Point> Known(Clock::time_point now);
  // Call before asking the server, so that no movement after its answer goes
  // unseen. False where the server has no XInput2.
  bool Watch();
  void Answered(Point position, Clock::time_point now);
  void Forget() { known_.reset(); }
  // Takes raw motion events; false for any other event.
  bool Handle(XEvent& event);

 private:
  bool Available();
  void Select(bool on);

  Display* display_;
  std::optional<int> opcode_;  // XInputExtension's, once looked up
  bool looked_up_ = false;
  bool watching_ = false;
  std::optional<Point> known_;
  Clock::time_point answered_at_{};
};

}  // namespace huevex::x11
