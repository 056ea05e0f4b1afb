#include "shell/platform/x11/x11_pointer_watch.h"

#include <X11/extensions/XInput2.h>
#include <dlfcn.h>

#include "shell/platform/soft/library_function.h"

namespace huevex::x11 {
namespace {

// libXi, loaded the first time the pointer is watched (the magnifier's first
// tick): a program whose magnifier never opens never maps it. It stays
// loaded, since Xlib keeps its hooks for the display from then on.
struct XInput2 {
  decltype(&XIQueryVersion) QueryVersion = nullptr;
  decltype(&XISelectEvents) SelectEvents = nullptr;
};

const XInput2* LoadXInput2() {
  static const XInput2 loaded = [] {
    XInput2 xi;
    if (void* library = dlopen("libXi.so.6", RTLD_NOW | RTLD_LOCAL)) {
      if (!soft::BindFunction(library, "XIQueryVersion", xi.QueryVersion) ||
          !soft::BindFunction(library, "XISelectEvents", xi.SelectEvents)) {
        xi = XInput2{};
      }
    }
    return xi;
  }();
  return loaded.QueryVersion ? &loaded : nullptr;
}

}  // namespace

std::optional<Point> PointerWatch::Known(Clock::time_point now) {
  if (!watching_ || !known_ || now - answered_at_ >= kTrustFor) return std::nullopt;
  // An event the loop has not handled yet may be the motion; so may one
  // still in the socket, which this takes in without waiting.
  if (XEventsQueued(display_, QueuedAfterReading) > 0) return std::nullopt;
  return known_;
}

bool PointerWatch::Watch() {
  if (watching_) return true;
  if (!Available()) return false;
  Select(true);
  return true;
}

void PointerWatch::Answered(Point position, Clock::time_point now) {
  known_ = position;
  answered_at_ = now;
}

// The first motion ends the watch until the position is asked for again: a
// moving pointer is asked about on every tick anyway, and a program that has
// stopped asking (no magnifier) is not woken by every move of the mouse.
bool PointerWatch::Handle(XEvent& event) {
  if (!opcode_ || event.type != GenericEvent || event.xcookie.extension != *opcode_) return false;
  if (event.xcookie.evtype == XI_RawMotion) {
    known_.reset();
    if (watching_) Select(false);
  }
  return true;
}

// Raw events reach every client that selects them on the root window, whoever
// holds a grab, from XInput 2.1 on.
bool PointerWatch::Available() {
  if (!looked_up_) {
    looked_up_ = true;
    int opcode = 0, event = 0, error = 0;
    int major = 2, minor = 2;
    const XInput2* xi = nullptr;
    if (XQueryExtension(display_, "XInputExtension", &opcode, &event, &error) &&
        (xi = LoadXInput2()) && xi->QueryVersion(display_, &major, &minor) == Success &&
        (major > 2 || (major == 2 && minor >= 1))) {
      opcode_ = opcode;
    }
  }
  return opcode_.has_value();
}

void PointerWatch::Select(bool on) {
  unsigned char bits[XIMaskLen(XI_RawMotion)] = {};
  if (on) XISetMask(bits, XI_RawMotion);
  XIEventMask mask{XIAllMasterDevices, on ? static_cast<int>(sizeof bits) : 0, bits};
  LoadXInput2()->SelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
  watching_ = on;
}

}  // namespace huevex::x11
