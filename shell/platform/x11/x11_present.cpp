#include "shell/platform/x11/x11_present.h"

#include <X11/extensions/XShm.h>

#include <algorithm>
#include <cstdlib>

namespace huevex::x11 {

Presenter::Presenter(Display* display, const PixelFormat& format)
    : display_(display), format_(format) {}

void Presenter::Put(Drawable drawable, WindowImage& image, const soft::Bitmap& bitmap, int width,
                    int height, Point at) {
  width = std::min(width, bitmap.width);
  height = std::min(height, bitmap.height);
  if (width <= 0 || height <= 0) return;
  XImage* pixels = ImageFor(image, width, height);
  if (!pixels) return;
  Convert(bitmap, pixels, width, height);
  const GC gc = DefaultGC(display_, DefaultScreen(display_));
  if (image.shared && pixels == image.shared->image()) {
    image.put_serial = NextRequest(display_);
    XShmPutImage(display_, drawable, gc, pixels, 0, 0, at.x, at.y, static_cast<unsigned>(width),
                 static_cast<unsigned>(height), False);
  } else {
    XPutImage(display_, drawable, gc, pixels, 0, 0, at.x, at.y, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
  }
}

// The server has read a shared segment once it has answered any request sent
// after the put. The magnifier's next frame reads the screen before it paints,
// and that answer comes after the last put, so a frame seldom waits here and
// the server sends no completion event to wake the program for.
void Presenter::Finish(const WindowImage& image) {
  if (image.put_serial != 0 && LastKnownRequestProcessed(display_) < image.put_serial) {
    XSync(display_, False);
  }
}

XImage* Presenter::ImageFor(WindowImage& image, int width, int height) {
  Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
  const int depth = DefaultDepth(display_, DefaultScreen(display_));
  const bool first = !image.shared && !image.plain;
  if (!first && ShmWorks()) {
    Finish(image);
    if (!image.shared || image.shared->width() != width || image.shared->height() != height) {
      image.shared = ShmImage::Create(display_, visual, depth, width, height);
    }
    if (image.shared) {
      image.plain.reset();
      return image.shared->image();
    }
    shm_ = false;  // the server would not attach: plain puts from now on
  }
  ImagePtr& plain = image.plain;
  if (!plain || plain->width != width || plain->height != height) {
    plain.reset(XCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0));
    if (!plain) return nullptr;
    // XDestroyImage frees the pixels with free().
    plain->data =
        static_cast<char*>(std::malloc(static_cast<size_t>(plain->bytes_per_line) * height));
    if (!plain->data) {
      plain.reset();
      return nullptr;
    }
  }
  return plain.get();
}

bool Presenter::ShmWorks() {
  if (!shm_) shm_ = ShmUsable(display_);
  return *shm_;
}

// Color values (0x00BBGGRR) to the server's pixels, row by row; the usual
// 32-bit 0x00RRGGBB format is written directly.
void Presenter::Convert(const soft::Bitmap& bitmap, XImage* image, int width, int height) const {
  const bool direct = image->bits_per_pixel == 32 && format_.red_mask == 0xFF0000 &&
                      format_.green_mask == 0xFF00 && format_.blue_mask == 0xFF &&
                      image->byte_order == LSBFirst;
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* from = &bitmap.pixels[static_cast<size_t>(y) * bitmap.width];
    if (direct) {
      auto* to = reinterpret_cast<std::uint32_t*>(image->data +
                                                  static_cast<size_t>(y) * image->bytes_per_line);
      for (int x = 0; x < width; ++x) {
        const std::uint32_t c = from[x];
        to[x] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
      }
    } else {
      for (int x = 0; x < width; ++x) XPutPixel(image, x, y, FromColorValue(from[x], format_));
    }
  }
}

}  // namespace huevex::x11
