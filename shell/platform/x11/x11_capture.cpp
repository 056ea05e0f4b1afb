#include "shell/platform/x11/x11_capture.h"

#include <cstdlib>

#include "shell/platform/moved_picture.h"

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
  if (it == cursors_.end()) it = cursors_.emplace(picture, MakeCursor(*picture)).first;
  return it->second.get();
}

// A pixmap cursor of the picture, its hot spot on the picture's centre.
CursorHandle PointerCapture::MakeCursor(const Picture& picture) {
  const CursorBitmaps bitmaps = MakeCursorBitmaps(picture);
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
  return CursorHandle(display_, XCreatePixmapCursor(display_, source.get(), mask.get(), &black,
                                                    &white, static_cast<unsigned>(bitmaps.hot_x),
                                                    static_cast<unsigned>(bitmaps.hot_y)));
}

bool PointerCapture::Take(Window window, const Picture* pointer, Point press, Time time,
                          bool keyboard_needed) {
  if (grabbed_ && window_ != window) Release(time);
  window_ = window;
  Window child = 0;
  XTranslateCoordinates(display_, window_, root_, 0, 0, &origin_.x, &origin_.y, &child);
  // The grab takes over the press's own implicit grab.
  const int status = XGrabPointer(display_, root_, False, kGrabEvents, GrabModeAsync, GrabModeAsync,
                                  None, CursorFor(pointer), time);
  grabbed_ = status == GrabSuccess;
  picture_ = pointer;
  offset_ = {};
  if (grabbed_) {
    keyboard_ =
        XGrabKeyboard(display_, root_, False, GrabModeAsync, GrabModeAsync, time) == GrabSuccess;
    if (keyboard_needed && !keyboard_) {
      Release(time);
      return false;
    }
    screen_.Grabbed(true);
    // The pointer may have moved between the press and the grab (a busy
    // program), unreported: the grab's events tell only what comes after.
    Point at = press;
    Window root = 0, child_at = 0;
    int root_x = 0, root_y = 0, x = 0, y = 0;
    unsigned mask = 0;
    if (XQueryPointer(display_, root_, &root, &child_at, &root_x, &root_y, &x, &y, &mask)) {
      at = {root_x, root_y};
    }
    screen_.FollowPointer(at);
    TellCursor(pointer);
  } else {
    window_ = 0;
  }
  return grabbed_;
}

void PointerCapture::Release(Time time) {
  if (grabbed_) {
    XUngrabPointer(display_, time);
    if (keyboard_) XUngrabKeyboard(display_, time);
    screen_.Grabbed(false);
  }
  grabbed_ = false;
  keyboard_ = false;
  window_ = 0;
  picture_ = nullptr;
  offset_ = {};
  offset_cursor_.reset();
  screen_.FollowPointer(std::nullopt);
}

void PointerCapture::PointerChanged(const Picture* picture, Time time) {
  if (!grabbed_) return;
  picture_ = picture;
  ShowOffset(offset_, time);
}

void PointerCapture::ShowOffset(Point offset, Time time) {
  if (!grabbed_) return;
  offset_ = offset;
  const bool shown = picture_ && !picture_->Empty() && offset != Point{} &&
                     std::abs(offset.x) <= kMostPictureOffset &&
                     std::abs(offset.y) <= kMostPictureOffset;
  const Cursor cursor = shown ? OffsetCursor(*picture_, offset) : CursorFor(picture_);
  XChangeActivePointerGrab(display_, kGrabEvents, cursor, time);
  if (!shown) offset_cursor_.reset();
  TellCursor(picture_, shown ? offset : Point{});
}

void PointerCapture::HidePointer(bool hidden, Time time) {
  if (!grabbed_) return;
  if (!hidden) {
    ShowOffset(offset_, time);
    return;
  }
  if (!blank_cursor_.get()) {
    Picture blank{1, 1, {0}, {1}};  // see-through
    blank_cursor_ = MakeCursor(blank);
  }
  XChangeActivePointerGrab(display_, kGrabEvents, blank_cursor_.get(), time);
  screen_.GrabCursor(Rect{});  // still a pick, with no pointer to leave out
}

Cursor PointerCapture::OffsetCursor(const Picture& picture, Point offset) {
  // The server keeps a cursor that a grab shows until the grab lets it go.
  offset_cursor_ = MakeCursor(MovedPicture(picture, offset));
  return offset_cursor_.get();
}

// Where the grab's cursor lies around the pointer (its hot spot is the
// picture's centre), for captures that have the cursor drawn in; the
// default arrow's shape is the desktop's, not known here.
void PointerCapture::TellCursor(const Picture* picture, Point offset) {
  if (!picture || picture->Empty()) {
    screen_.GrabCursor(std::nullopt);
    return;
  }
  const int w = picture->width, h = picture->height;
  screen_.GrabCursor(
      Rect{offset.x - w / 2, offset.y - h / 2, offset.x + w - w / 2, offset.y + h - h / 2});
}

Point PointerCapture::Follow(Point root) {
  if (grabbed_) screen_.FollowPointer(root);
  return {root.x - origin_.x, root.y - origin_.y};
}

CursorBitmaps MakeCursorBitmaps(const Picture& picture) {
  CursorBitmaps out;
  out.width = picture.width;
  out.height = picture.height;
  out.hot_x = picture.width / 2;
  out.hot_y = picture.height / 2;
  const int stride = (picture.width + 7) / 8;
  out.source.assign(static_cast<size_t>(stride) * picture.height, 0);
  out.mask.assign(out.source.size(), 0);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const size_t i = static_cast<size_t>(y) * picture.width + x;
      if (picture.mask[i] != 0) continue;  // transparent (or inverting, which cursors cannot do)
      const std::uint32_t c = picture.color[i];
      const int luminance = (GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114) / 1000;
      const size_t byte = static_cast<size_t>(y) * stride + x / 8;
      const auto bit = static_cast<unsigned char>(1u << (x % 8));
      out.mask[byte] |= bit;
      if (luminance < 128) out.source[byte] |= bit;
    }
  }
  return out;
}

}  // namespace huevex::x11
