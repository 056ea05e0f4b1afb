// Owners for what Gdi hands out, so that a context given back, a memory
// surface freed and a selection undone happen on every path, in the right
// order, without being written out at each use.
#pragma once

#include <utility>

#include "shell/platform/platform.h"

namespace huevex {

// A system color reference becomes the color it stands for; a plain color
// stays as it is.
inline ColorValue PlainColor(Gdi& gdi, ColorValue color) {
  return IsSystemColor(color) ? gdi.GetSysColor(color & 0xFF) : color;
}

// The screen's device context, given back when the owner goes.
class ScreenDC {
 public:
  explicit ScreenDC(Gdi& gdi, Hwnd window = Hwnd{})
      : gdi_(gdi), window_(window), dc_(gdi.GetDC(window)) {}
  ~ScreenDC() { gdi_.ReleaseDC(window_, dc_); }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;

  Hdc get() const { return dc_; }

 private:
  Gdi& gdi_;
  Hwnd window_;
  Hdc dc_;
};

// An object selected into a context; the one it replaced goes back in when
// the owner goes.
class SelectedObject {
 public:
  SelectedObject(Gdi& gdi, Hdc dc, Hgdiobj object)
      : gdi_(gdi), dc_(dc), previous_(gdi.SelectObject(dc, object)) {}
  ~SelectedObject() { gdi_.SelectObject(dc_, previous_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  Gdi& gdi_;
  Hdc dc_;
  Hgdiobj previous_;
};

// A memory context with a bitmap of the screen's format (or of another
// context's) selected into it: a surface to paint into and copy from. Freed in
// the order GDI wants: the bitmap deselected, the context deleted, then the
// bitmap.
class MemorySurface {
 public:
  MemorySurface() = default;
  MemorySurface(Gdi& gdi, int width, int height) : gdi_(&gdi), width_(width), height_(height) {
    const ScreenDC screen(gdi);
    Create(screen.get());
  }
  MemorySurface(Gdi& gdi, Hdc like, int width, int height)
      : gdi_(&gdi), width_(width), height_(height) {
    Create(like);
  }
  ~MemorySurface() { Free(); }
  MemorySurface(MemorySurface&& other) noexcept { *this = std::move(other); }
  MemorySurface& operator=(MemorySurface&& other) noexcept {
    if (this != &other) {
      Free();
      gdi_ = std::exchange(other.gdi_, nullptr);
      dc_ = std::exchange(other.dc_, Hdc{});
      bitmap_ = std::exchange(other.bitmap_, Hgdiobj{});
      previous_ = std::exchange(other.previous_, Hgdiobj{});
      width_ = std::exchange(other.width_, 0);
      height_ = std::exchange(other.height_, 0);
    }
    return *this;
  }

  explicit operator bool() const { return dc_ != Hdc{}; }
  Hdc dc() const { return dc_; }
  Hgdiobj bitmap() const { return bitmap_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  void Create(Hdc like) {
    dc_ = gdi_->CreateCompatibleDC(like);
    bitmap_ = gdi_->CreateCompatibleBitmap(like, width_, height_);
    previous_ = gdi_->SelectObject(dc_, bitmap_);
  }
  void Free() {
    if (!gdi_ || dc_ == Hdc{}) return;
    gdi_->SelectObject(dc_, previous_);
    gdi_->DeleteDC(dc_);
    gdi_->DeleteObject(bitmap_);
    dc_ = Hdc{};
  }

  Gdi* gdi_ = nullptr;
  Hdc dc_{};
  Hgdiobj bitmap_{};
  Hgdiobj previous_{};
  int width_ = 0;
  int height_ = 0;
};

// A font, brush or bitmap deleted when the owner goes.
class GdiObject {
 public:
  GdiObject() = default;
  GdiObject(Gdi& gdi, Hgdiobj object) : gdi_(&gdi), object_(object) {}
  ~GdiObject() {
    if (gdi_ && object_ != Hgdiobj{}) gdi_->DeleteObject(object_);
  }
  GdiObject(GdiObject&& other) noexcept
      : gdi_(std::exchange(other.gdi_, nullptr)), object_(std::exchange(other.object_, {})) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    std::swap(gdi_, other.gdi_);
    std::swap(object_, other.object_);
    return *this;
  }

  Hgdiobj get() const { return object_; }

 private:
  Gdi* gdi_ = nullptr;
  Hgdiobj object_{};
};

}  // namespace huevex
