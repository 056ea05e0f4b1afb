#include "shell/platform/x11/x11_screen.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace huevex::x11 {

X11Screen::X11Screen(Display* display)
    : display_(display),
      root_(DefaultRootWindow(display)),
      width_(DisplayWidth(display, DefaultScreen(display))),
      height_(DisplayHeight(display, DefaultScreen(display))),
      pointer_watch_(display),
      cache_(display),
      monitors_(display) {
  Visual* visual = DefaultVisual(display, DefaultScreen(display));
  true_color_ = visual->c_class == TrueColor || visual->c_class == DirectColor;
  if (true_color_) format_ = {visual->red_mask, visual->green_mask, visual->blue_mask};
}

X11Screen::~X11Screen() = default;

void X11Screen::ChooseSource(const char* forced) {
  xwayland_ = IsXwayland(display_);
  const ScreenSourceChoice choice = ChooseScreenSource(forced, xwayland_);
  if (choice.unknown) {
    std::fprintf(stderr,
                 "huevex: HUEVEX_SCREEN=%s names no screen source (x11, screencopy or portal); "
                 "it is ignored\n",
                 forced);
  }
  if (choice.kind == ScreenSourceKind::X11) return;
  std::string why;
  module_ = CaptureLibrary::Load(&why);
  std::unique_ptr<CaptureModule> module =
      *module_ ? CaptureModule::Open(*module_, ModuleKind(choice.kind), &why) : nullptr;
  if (!module) {
    unreadable_ = true;
    Tell({ScreenAccess::Unreadable, why});
    return;
  }
  wayland_ = std::make_unique<WaylandScreen>(std::move(module),
                                             [this](const AccessNotice& notice) { Tell(notice); });
  wayland_->SetRootSize(width_, height_);
}

std::shared_ptr<CaptureLibrary> X11Screen::Module() {
  if (!module_ && xwayland_) {
    std::string why;  // the source, where one was chosen, has told it already
    module_ = CaptureLibrary::Load(&why);
  }
  return module_.value_or(nullptr);
}

Rect PointerBox(Point at, Rect cursor) {
  return {at.x + cursor.left - 1, at.y + cursor.top - 1, at.x + cursor.right + 1,
          at.y + cursor.bottom + 1};
}

// The pointer's place during a pick goes to the capture too: a compositor
// that draws the pointer in software has our crosshair in its frames (seen
// with sway 1.7, whose Xwayland also puts its pointer a pixel off).
void X11Screen::Grabbed(bool held) {
  if (!held) cursor_.reset();
  if (!held) cache_.Stop();
  if (held) offset_ = {};  // a new pick starts on the pointer
  if (wayland_) wayland_->Grabbed(held);
  TellPointer();
}

// A grab with a cursor of ours is a pick (other presses keep the arrow):
// only a pick, and the magnifier's reads, ask the capture for frames.
void X11Screen::GrabCursor(std::optional<Rect> box) {
  const bool pick_starts = box && !cursor_;
  cursor_ = box;
  if (pick_starts && wayland_) wayland_->PickStarted();
  TellPointer();
}

void X11Screen::FollowPointer(std::optional<Point> position) {
  // Where the grab last saw the pointer (its release) is the freshest answer
  // there is when it ends: an older one, kept while no raw motion came (a
  // warp makes none), would put the release somewhere it was before.
  if (!position && followed_) {
    Point at{};
    CursorPos(&at);  // with the nudge, where there is one
    if (pointer_watch_.Watch()) pointer_watch_.Answered(at, PointerWatch::Clock::now());
    offset_ = {};
  }
  if (position != followed_) cache_.Forget();
  followed_ = position;
  TellPointer();
}

void X11Screen::TellPointer() {
  if (!wayland_) return;
  if (!cursor_ || !followed_) {
    wayland_->SetPointer({});
    return;
  }
  wayland_->SetPointer(PointerBox(*followed_, *cursor_));
}

// Only a change is told: the first time the screen cannot be read (or the
// desktop's question stays open), and the first time it can again.
void X11Screen::Tell(const AccessNotice& notice) {
  if (notice.access == told_) return;
  told_ = notice.access;
  notice_ = notice;
}

// Held until the program has wanted pixels once: a box at start-up would only
// cover the main window before the user has asked for anything.
std::optional<AccessNotice> X11Screen::TakeNotice(std::optional<ScreenAccess> only) {
  if (!read_once_ || (only && (!notice_ || notice_->access != *only))) return std::nullopt;
  return std::exchange(notice_, std::nullopt);
}

bool X11Screen::Handle(XEvent& event) {
  return cache_.Handle(event) || pointer_watch_.Handle(event);
}

bool X11Screen::MonitorsChanged(const XEvent& event) {
  if (!monitors_.Handle(event)) return false;
  cache_.Forget();  // pixels off every monitor read black
  return true;
}

// A resized root may have a new picture behind it, which the damage object
// watching the old one would not report on.
void X11Screen::SetSize(int width, int height) {
  width_ = std::max(1, width);
  height_ = std::max(1, height);
  cache_.Stop();
  monitors_.Changed();
  if (wayland_) wayland_->SetRootSize(width_, height_);
}

bool X11Screen::CursorPos(Point* point) {
  if (followed_) {
    *point = {std::clamp(followed_->x + offset_.x, 0, width_ - 1),
              std::clamp(followed_->y + offset_.y, 0, height_ - 1)};
    return true;
  }
  const auto now = PointerWatch::Clock::now();
  if (const std::optional<Point> known = pointer_watch_.Known(now)) {
    *point = *known;
    return true;
  }
  const bool watched = pointer_watch_.Watch();
  Window root = 0, child = 0;
  int root_x = 0, root_y = 0, x = 0, y = 0;
  unsigned mask = 0;
  if (!XQueryPointer(display_, root_, &root, &child, &root_x, &root_y, &x, &y, &mask)) {
    pointer_watch_.Forget();
    return false;  // the pointer is on another screen
  }
  *point = {root_x, root_y};
  if (watched) pointer_watch_.Answered(*point, now);
  return true;
}

bool X11Screen::WarpCursor(Point point) {
  const Point to{std::clamp(point.x, 0, width_ - 1), std::clamp(point.y, 0, height_ - 1)};
  if (xwayland_ && followed_) {
    offset_ = {to.x - followed_->x, to.y - followed_->y};
    if (on_offset_) on_offset_(offset_);
    TellPointer();
    return true;
  }
  XWarpPointer(display_, None, root_, 0, 0, 0, 0, to.x, to.y);
  XFlush(display_);
  // The grab's motion event says the same a moment later; until then the
  // pointer is where it was sent.
  if (followed_) followed_ = to;
  pointer_watch_.Forget();
  cache_.Forget();
  return true;
}

bool X11Screen::OnScreen(Point point) { return monitors_.Covers(Bounds(), point); }

bool X11Screen::Freeze(std::int64_t not_before_ns) {
  if (!wayland_) return false;
  soft::Bitmap picture{width_, height_, false, {}};
  picture.pixels.resize(static_cast<size_t>(width_) * height_);
  std::int64_t captured_ns = 0;
  if (!wayland_->Read(Bounds(), picture.pixels.data(), &captured_ns) ||
      captured_ns < not_before_ns) {
    return false;
  }
  frozen_ = std::move(picture);
  return true;
}

bool X11Screen::Read(Rect block, std::uint32_t* out) {
  const int block_width = block.Width();
  if (block_width <= 0 || block.Height() <= 0) return true;
  read_once_ = true;
  if (frozen_) {
    const Rect kept{0, 0, frozen_->width, frozen_->height};
    for (int y = block.top; y < block.bottom; ++y) {
      for (int x = block.left; x < block.right; ++x, ++out) {
        *out = kept.Contains({x, y}) ? frozen_->At(x, y) : 0u;
      }
    }
    return true;
  }
  if (wayland_) return wayland_->Read(block, out);
  if (unreadable_) return false;
  // Only a grab's reads are kept, and not a palette screen's, whose colormap
  // can change what its pixels show with no damage.
  const bool keeps = followed_.has_value() && true_color_;
  if (keeps && cache_.Answer(block, out)) return true;
  const bool keep = keeps && cache_.Prepare();
  if (!ReadRoot(block, out)) return false;
  if (keep) cache_.Keep(block, out);
  return true;
}

bool X11Screen::ReadRoot(Rect block, std::uint32_t* out) {
  const int block_width = block.Width();
  std::fill_n(out, static_cast<size_t>(block_width) * block.Height(), 0u);
  const Rect area{std::max(block.left, 0), std::max(block.top, 0), std::min(block.right, width_),
                  std::min(block.bottom, height_)};
  if (area.left >= area.right || area.top >= area.bottom) return true;
  if (true_color_ && area.Width() * area.Height() >= kShmMinPixels && ShmWorks() &&
      ReadShm(area, block, out)) {
    BlankOffMonitors(block, out);
    return true;
  }
  if (!ReadPlain(area, block, out)) return false;
  BlankOffMonitors(block, out);
  return true;
}

// The root window also has pixels where no monitor shows them.
void X11Screen::BlankOffMonitors(Rect block, std::uint32_t* out) {
  if (monitors_.Holds(Bounds(), block)) return;
  for (int y = block.top; y < block.bottom; ++y) {
    for (int x = block.left; x < block.right; ++x, ++out) {
      if (!monitors_.Covers(Bounds(), {x, y})) *out = 0;
    }
  }
}

bool X11Screen::ShmWorks() {
  if (!shm_) shm_ = ShmUsable(display_);
  return *shm_;
}

bool X11Screen::ReadPlain(Rect area, Rect block, std::uint32_t* out) {
  const ImagePtr image(XGetImage(display_, root_, area.left, area.top,
                                 static_cast<unsigned>(area.Width()),
                                 static_cast<unsigned>(area.Height()), AllPlanes, ZPixmap));
  if (!image) {
    // Xwayland refuses every read of the root (BadMatch), and does so for good.
    Tell({ScreenAccess::Unreadable,
          xwayland_ ? "Xwayland gives X programs no screen pixels (HUEVEX_SCREEN=x11 asks "
                      "it for them); a Wayland screen source reads them instead"
                    : "the X server refused to give the screen's pixels"});
    return false;
  }
  Tell({ScreenAccess::Readable, ""});
  Convert(image.get(), area, block, out);
  return true;
}

bool X11Screen::ReadShm(Rect area, Rect block, std::uint32_t* out) {
  if (!shm_image_ || shm_image_->width() != area.Width() || shm_image_->height() != area.Height()) {
    shm_image_.reset();
    shm_image_ = ShmImage::Create(display_, DefaultVisual(display_, DefaultScreen(display_)),
                                  DefaultDepth(display_, DefaultScreen(display_)), area.Width(),
                                  area.Height());
    if (!shm_image_) {
      shm_ = false;
      return false;
    }
  }
  if (!XShmGetImage(display_, root_, shm_image_->image(), area.left, area.top, AllPlanes)) {
    return false;
  }
  Convert(shm_image_->image(), area, block, out);
  return true;
}

void X11Screen::Convert(XImage* image, Rect area, Rect block, std::uint32_t* out) {
  const int block_width = block.Width();
  const auto at = [&](int x, int y) -> std::uint32_t& {
    return out[static_cast<size_t>(y - block.top) * block_width + (x - block.left)];
  };
  if (!true_color_) {
    // A palette screen: the colormap says what each pixel value shows.
    std::vector<XColor> colors;
    colors.reserve(static_cast<size_t>(area.Width()) * area.Height());
    for (int y = 0; y < area.Height(); ++y) {
      for (int x = 0; x < area.Width(); ++x) {
        XColor color{};
        color.pixel = XGetPixel(image, x, y);
        colors.push_back(color);
      }
    }
    XQueryColors(display_, DefaultColormap(display_, DefaultScreen(display_)), colors.data(),
                 static_cast<int>(colors.size()));
    size_t i = 0;
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x, ++i) {
        at(x, y) = (colors[i].red >> 8) | ((colors[i].green >> 8) & 0xFF) << 8 |
                   ((colors[i].blue >> 8) & 0xFF) << 16;
      }
    }
    return;
  }
  const bool direct =
      image->bits_per_pixel == 32 &&
      image->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
  for (int y = area.top; y < area.bottom; ++y) {
    const char* row = image->data + static_cast<size_t>(y - area.top) * image->bytes_per_line;
    for (int x = area.left; x < area.right; ++x) {
      unsigned long pixel = 0;
      if (direct) {
        std::uint32_t value = 0;
        std::memcpy(&value, row + static_cast<size_t>(x - area.left) * 4, 4);
        pixel = value;
      } else {
        pixel = XGetPixel(image, x - area.left, y - area.top);
      }
      at(x, y) = ToColorValue(pixel, format_);
    }
  }
}

}  // namespace huevex::x11
