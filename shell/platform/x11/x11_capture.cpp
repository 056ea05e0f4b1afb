#include "shell/platform/x11/x11_capture.h"

#include "shell/platform/x11/x11_pixels.h"

namespace huevex::x11 {
namespace {

constexpr unsigned kGrabEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

}  // namespace

PointerCapture::PointerCapture(Display* display, Window root, X11Screen& screen)
    : display_(display), root_(root), screen_(screen) {}

PointerCapture::~PointerCapture() {
  if (grabbed_) XUngrabPointer(display_, CurrentTime);
}

Cursor PointerCapture::CursorFor(const Picture* picture) {
  if (!picture || picture->Empty()) return None;
  auto it = cursors_.find(picture);
  if (it != cursors_.end()) return it->second.get();
  const CursorBitmaps bitmaps = MakeCursorBitmaps(*picture);
  const auto width = static_cast<unsigned>(bitmaps.width);
  const auto height = static_cast<unsigned>(bitmaps.height);
  const PixmapHandle source(
      display_,
      XCreateBitmapFromData(display_, root_, reinterpret_cast<const char*>(bitmaps.source.data()),
                            width, height));
  const PixmapHandle mask(
      display_,
      XCreateBitmapFromData(display_, root_, reinterpret_cast<const char*>(bitmaps.mask.data()),
                            width, height));
  XColor black{}, white{};
  white.red = white.green = white.blue = 0xFFFF;
  black.flags = white.flags = DoRed | DoGreen | DoBlue;
  const Cursor cursor = XCreatePixmapCursor(display_, source.get(), mask.get(), &black, &white,
                                            static_cast<unsigned>(bitmaps.hot_x),
                                            static_cast<unsigned>(bitmaps.hot_y));
  cursors_.emplace(picture, CursorHandle(display_, cursor));
  return cursor;
}

void PointerCapture::Take(Window window, const Picture* pointer, Point press, Time time) {
  if (grabbed_ && window_ != window) Release(time);
  window_ = window;
  Window child = 0;
  XTranslateCoordinates(display_, window_, root_, 0, 0, &origin_.x, &origin_.y, &child);
  // The grab takes over the press's own implicit grab.
  const int status = XGrabPointer(display_, root_, False, kGrabEvents, GrabModeAsync, GrabModeAsync,
                                  None, CursorFor(pointer), time);
  grabbed_ = status == GrabSuccess;
  if (grabbed_) {
    screen_.Grabbed(true);
    screen_.FollowPointer(press);
    TellCursor(pointer);
  }
}

void PointerCapture::Release(Time time) {
  if (grabbed_) {
    XUngrabPointer(display_, time);
    screen_.Grabbed(false);
  }
  grabbed_ = false;
  window_ = 0;
  screen_.FollowPointer(std::nullopt);
}

void PointerCapture::PointerChanged(const Picture* picture, Time time) {
  if (!grabbed_) return;
  XChangeActivePointerGrab(display_, kGrabEvents, CursorFor(picture), time);
  TellCursor(picture);
}

// Where the grab's cursor lies around the pointer (its hot spot is the
// picture's centre), for captures that have the cursor drawn in; the
// default arrow's shape is the desktop's, not known here.
void PointerCapture::TellCursor(const Picture* picture) {
  if (!picture || picture->Empty()) {
    screen_.GrabCursor(std::nullopt);
    return;
  }
  const int w = picture->width, h = picture->height;
  screen_.GrabCursor(Rect{-(w / 2), -(h / 2), w - w / 2, h - h / 2});
}

Point PointerCapture::Follow(Point root) {
  if (grabbed_) screen_.FollowPointer(root);
  return {root.x - origin_.x, root.y - origin_.y};
}

}  // namespace huevex::x11
