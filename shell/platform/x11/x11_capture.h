// Mouse capture as X does it: an active grab of the pointer on the root
// window, taken at the press's own time with owner events off, so that every
// press, release and motion until the release comes to the program wherever
// the pointer goes, and no other client sees them. The grab's cursor is the
// captured window's pointer: a pixmap cursor made from its picture, with the
// hot spot on the picture's centre. A capture with no button held (a pick
// from a command or the shortcut) is the same grab, taken at once. While the grab holds, the screen
// takes the pointer's position from the grab's events instead of asking the server. The keyboard is
// grabbed with it, so that keys reach the program during a pick whatever window the pointer is over
// and whatever the window manager's focus policy (focus follows the mouse, say).
#pragma once

#include <X11/Xlib.h>

#include <map>
#include <vector>

#include "shell/platform/platform.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_screen.h"

namespace huevex::x11 {

// A picture as the two bitmaps of a pixmap cursor, in X bitmap order (rows
// padded to whole bytes, the leftmost pixel in the lowest bit). Mask bits are
// set where the picture draws; source bits where it draws a dark color, which
// shows in the cursor's foreground (black). The hot spot is the centre pixel.
struct CursorBitmaps {
  int width = 0;
  int height = 0;
  int hot_x = 0;
  int hot_y = 0;
  std::vector<unsigned char> source;
  std::vector<unsigned char> mask;
};
CursorBitmaps MakeCursorBitmaps(const Picture& picture);

class PointerCapture {
 public:
  PointerCapture(Display* display, Window root, X11Screen& screen);
  ~PointerCapture();
  PointerCapture(const PointerCapture&) = delete;
  PointerCapture& operator=(const PointerCapture&) = delete;

  // The cursor of a picture, made the first time it is asked for; None for no
  // picture.
  Cursor CursorFor(const Picture* picture);

  // Captures for `window`, whose pointer is `pointer`, the press at `press`
  // (on the root) having started it at `time`. With `keyboard_needed` (no
  // press started it: a pick from a command or the shortcut) the capture is
  // nothing without the keyboard. False when the grab could not be had.
  bool Take(Window window, const Picture* pointer, Point press, Time time,
            bool keyboard_needed = false);
  void Release(Time time);
  // The window that has the capture, 0 when none has.
  Window window() const { return window_; }
  // The window's pointer changed: the grab's cursor follows it.
  void PointerChanged(const Picture* picture, Time time);
  // Shows no pointer at all (while the screen is pictured for a cover: a
  // compositor that draws the pointer into its frames would put it in), or
  // the window's own again.
  void HidePointer(bool hidden, Time time);
  // Shows the pointer's picture this far off the pointer (Xwayland, where a
  // nudge moves the sampled point but not the pointer): the grab's cursor is
  // the picture moved by that much on a larger, transparent field.
  void ShowOffset(Point offset, Time time);
  // The pointer is at `root` (an event of the grab): where that lies in the
  // captured window.
  Point Follow(Point root);

 private:
  void TellCursor(const Picture* picture, Point offset = {});
  Cursor OffsetCursor(const Picture& picture, Point offset);
  CursorHandle MakeCursor(const Picture& picture);

  Display* display_;
  Window root_;
  X11Screen& screen_;
  Window window_ = 0;
  Point origin_;  // the captured window's client corner on the root
  bool grabbed_ = false;
  bool keyboard_ = false;
  const Picture* picture_ = nullptr;  // the grab's pointer
  Point offset_;
  std::map<const Picture*, CursorHandle> cursors_;
  CursorHandle offset_cursor_;  // the picture at offset_, while it is off the pointer
  CursorHandle blank_cursor_;   // made the first time the pointer is hidden
};

}  // namespace huevex::x11
