// Owners for the X resources the backend holds: the display connection,
// client-side images, server-side ids (windows, pixmaps, cursors) and images
// whose pixels live in a shared memory segment.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <memory>
#include <utility>

namespace huevex::x11 {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

struct ImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using ImagePtr = std::unique_ptr<XImage, ImageDestroyer>;

// A server-side resource freed with its own call on the display it came from.
template <auto Free>
class XResource {
 public:
  XResource() = default;
  XResource(Display* display, XID id) : display_(display), id_(id) {}
  ~XResource() { reset(); }
  XResource(XResource&& other) noexcept
      : display_(other.display_), id_(std::exchange(other.id_, 0)) {}
  XResource& operator=(XResource&& other) noexcept {
    if (this != &other) {
      reset();
      display_ = other.display_;
      id_ = std::exchange(other.id_, 0);
    }
    return *this;
  }
  XResource(const XResource&) = delete;
  XResource& operator=(const XResource&) = delete;

  XID get() const { return id_; }
  explicit operator bool() const { return id_ != 0; }
  // Gives the id up without freeing it (the server has already destroyed it).
  XID release() { return std::exchange(id_, 0); }
  void reset() {
    if (id_ != 0) Free(display_, id_);
    id_ = 0;
  }

 private:
  Display* display_ = nullptr;
  XID id_ = 0;
};

using WindowHandle = XResource<XDestroyWindow>;
using PixmapHandle = XResource<XFreePixmap>;
using CursorHandle = XResource<XFreeCursor>;

// A ZPixmap image whose pixels are shared with the server (MIT-SHM), so that
// puts and gets move no pixels through the socket. The segment is marked for
// removal as soon as both sides are attached, so it cannot outlive the process.
class ShmImage {
 public:
  // Null when the segment cannot be made or attached.
  static std::unique_ptr<ShmImage> Create(Display* display, Visual* visual, int depth, int width,
                                          int height);
  ~ShmImage();
  ShmImage(const ShmImage&) = delete;
  ShmImage& operator=(const ShmImage&) = delete;

  XImage* image() const { return image_; }
  XShmSegmentInfo* info() { return &info_; }
  int width() const { return image_->width; }
  int height() const { return image_->height; }

 private:
  ShmImage() = default;
  Display* display_ = nullptr;
  XImage* image_ = nullptr;
  XShmSegmentInfo info_{};
  bool attached_ = false;
};

// MIT-SHM works only where client and server share the machine's memory.
bool ShmUsable(Display* display);

}  // namespace huevex::x11
