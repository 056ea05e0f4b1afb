// The screen covered by a window of our own that shows it as it was, for a
// pick with no press on Xwayland. There an X grab follows the pointer only
// while it is over X windows, so a pick from a command or the shortcut
// could not follow it over Wayland windows and the desktop: with the cover
// over every monitor the pointer is always over one of ours, and the pick
// reads the picture the cover shows (X11Screen::Freeze). The cover is
// unmanaged (no frame, above the managed windows), so our own shown windows
// would lie under it: their surfaces are drawn onto it where they are.
#pragma once

#include <X11/Xlib.h>

#include "shell/platform/platform.h"
#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_present.h"

namespace huevex::x11 {

class ScreenCover {
 public:
  ScreenCover(Display* display, Window root, Presenter& presenter)
      : display_(display), root_(root), presenter_(presenter) {}

  // Covers the root with `picture` (its size), the pointer shown as `cursor`.
  void Show(const soft::Bitmap& picture, Cursor cursor);
  void Hide();
  bool Shown() const { return window_.get() != 0; }
  Window window() const { return window_.get(); }
  // Shows what the picture has there again (a window of ours has left it).
  void Uncover(Rect area);
  // One of our windows' surfaces, drawn onto the cover at its place.
  void Put(WindowImage& image, const soft::Bitmap& surface, Rect client);

 private:
  Display* display_;
  Window root_;
  Presenter& presenter_;
  PixmapHandle background_;  // the picture: the server repaints from it
  WindowImage background_image_;
  WindowHandle window_;
};

}  // namespace huevex::x11
