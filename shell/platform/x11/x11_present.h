// Putting a form's finished surface on its window. The pixels go through an
// image in the server's format: one shared with the server (MIT-SHM) where
// that works, so that a put moves no pixels through the socket, else a plain
// one sent with XPutImage. A window's first put is a plain one: most windows
// are put a few times only, and a start-up so asks the server nothing about
// shared memory before its window is up; the second put moves to a shared
// image. A shared image is not written again before the server has read it.
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <optional>

#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_pixels.h"

namespace huevex::x11 {

// What one window's surface is put through, kept from one put to the next.
struct WindowImage {
  std::unique_ptr<ShmImage> shared;
  ImagePtr plain;
  unsigned long put_serial = 0;  // the request of the last shared put
};

class Presenter {
 public:
  Presenter(Display* display, const PixelFormat& format);

  // Puts the part of the bitmap that fits in width x height at the
  // drawable's top-left corner, or at `at`.
  void Put(Drawable drawable, WindowImage& image, const soft::Bitmap& bitmap, int width, int height,
           Point at = {});
  // Returns once the server has read the image's shared segment, so that it
  // can be written again or freed.
  void Finish(const WindowImage& image);

 private:
  XImage* ImageFor(WindowImage& image, int width, int height);
  void Convert(const soft::Bitmap& bitmap, XImage* image, int width, int height) const;

  bool ShmWorks();

  Display* display_;
  PixelFormat format_;
  // Whether MIT-SHM works, asked at the first put that would use it.
  std::optional<bool> shm_;
};

}  // namespace huevex::x11
