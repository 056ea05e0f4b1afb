// The global shortcut as X does it: a passive grab of the key with its
// modifiers on the root window, taken in every combination of the lock
// modifiers (Caps Lock, Num Lock, Scroll Lock), so that the shortcut works
// whichever of them is on. The server then reports the key to us whatever
// window has the focus. Another client that grabbed the same key first makes
// the grab fail: the shortcut is taken.
#pragma once

#include <X11/Xlib.h>

#include <vector>

#include "shell/platform/platform.h"

namespace huevex::x11 {

class GlobalShortcut {
 public:
  GlobalShortcut(Display* display, Window root) : display_(display), root_(root) {}
  ~GlobalShortcut();
  GlobalShortcut(const GlobalShortcut&) = delete;
  GlobalShortcut& operator=(const GlobalShortcut&) = delete;

  // False when the keyboard has no such key, or another client has the
  // shortcut; nothing is left grabbed then.
  bool Grab(const Shortcut& shortcut);
  // Whether a key press is the shortcut's.
  bool Matches(const XKeyEvent& event) const;

 private:
  void Ungrab();

  Display* display_;
  Window root_;
  KeyCode keycode_ = 0;
  unsigned modifiers_ = 0;
  unsigned locks_ = 0;  // the lock modifiers' masks together
  std::vector<unsigned> grabbed_;
};

}  // namespace huevex::x11
