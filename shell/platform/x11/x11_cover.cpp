#include "shell/platform/x11/x11_cover.h"

namespace huevex::x11 {

void ScreenCover::Show(const soft::Bitmap& picture, Cursor cursor) {
  Hide();
  const int screen = DefaultScreen(display_);
  const auto width = static_cast<unsigned>(picture.width);
  const auto height = static_cast<unsigned>(picture.height);
  background_ =
      PixmapHandle(display_, XCreatePixmap(display_, root_, width, height,
                                           static_cast<unsigned>(DefaultDepth(display_, screen))));
  presenter_.Put(background_.get(), background_image_, picture, picture.width, picture.height);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixmap = background_.get();
  attributes.cursor = cursor;
  attributes.event_mask = ExposureMask;
  window_ = WindowHandle(
      display_,
      XCreateWindow(display_, root_, 0, 0, width, height, 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWOverrideRedirect | CWBackPixmap | CWCursor | CWEventMask,
                    &attributes));
  XStoreName(display_, window_.get(), "HUEVEX");  // the program's, for whoever looks
  XMapRaised(display_, window_.get());
}

void ScreenCover::Hide() {
  window_.reset();
  presenter_.Finish(background_image_);
  background_image_ = {};
  background_.reset();
}

void ScreenCover::Uncover(Rect area) {
  if (!Shown() || area.Width() <= 0 || area.Height() <= 0) return;
  XClearArea(display_, window_.get(), area.left, area.top, static_cast<unsigned>(area.Width()),
             static_cast<unsigned>(area.Height()), False);
}

void ScreenCover::Put(WindowImage& image, const soft::Bitmap& surface, Rect client) {
  if (!Shown()) return;
  presenter_.Put(window_.get(), image, surface, client.Width(), client.Height(),
                 {client.left, client.top});
}

}  // namespace huevex::x11
