#include "shell/forms/controls.h"

#include <algorithm>

#include "shell/forms/toolkit.h"
#include "shell/numbers.h"

namespace huevex {

int TwipsToPixels(double twips, int dpi) { return CLng(twips * dpi / 1440.0); }

double PixelsToTwips(int pixels, int dpi) { return pixels * 1440.0 / dpi; }

namespace {

void Outline(const PaintContext& c, Rect r, ColorValue color) {
  c.gdi.FillSolidRect(c.dc, Intersect({r.left, r.top, r.right, r.top + 1}, c.clip), color);
  c.gdi.FillSolidRect(c.dc, Intersect({r.left, r.bottom - 1, r.right, r.bottom}, c.clip), color);
  c.gdi.FillSolidRect(c.dc, Intersect({r.left, r.top, r.left + 1, r.bottom}, c.clip), color);
  c.gdi.FillSolidRect(c.dc, Intersect({r.right - 1, r.top, r.right, r.bottom}, c.clip), color);
}

}  // namespace

// Control

Control::Control(Form& form, const ControlLayout& layout, Control* container)
    : form_(form), layout_(layout), name_(layout.name), container_(container) {}

void Control::Visible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  form_.Invalidate();
}

Point Control::ChildOrigin(int dpi) const {
  const Rect r = Bounds(dpi);
  return {r.left, r.top};
}

Rect Control::Bounds(int dpi) const {
  const Point origin = container_ ? container_->ChildOrigin(dpi) : Point{0, 0};
  const int left = origin.x + TwipsToPixels(layout_.left, dpi);
  const int top = origin.y + TwipsToPixels(layout_.top, dpi);
  return {left, top, left + TwipsToPixels(layout_.width, dpi),
          top + TwipsToPixels(layout_.height, dpi)};
}

bool Control::IsContainerKind() const {
  return Kind() == ControlKind::Frame || Kind() == ControlKind::PictureBox;
}

// Frame: opaque, with an etched 3D border when it has one.

void Frame::Paint(const PaintContext& c) {
  const Rect r = Bounds(c.dpi);
  c.gdi.FillSolidRect(c.dc, Intersect(r, c.clip), PlainColor(c.gdi, layout_.back_color));
  if (!layout_.border) return;
  const ColorValue shadow = c.gdi.GetSysColor(COLOR_BTNSHADOW);
  const ColorValue light = c.gdi.GetSysColor(COLOR_BTNHIGHLIGHT);
  Outline(c, {r.left + 1, r.top + 1, r.right, r.bottom}, light);
  Outline(c, {r.left, r.top, r.right - 1, r.bottom - 1}, shadow);
}

// Label

Label::Label(Form& form, const ControlLayout& layout, Control* container)
    : Control(form, layout, container), caption_(layout.caption) {}

void Label::Caption(std::string_view text) {
  if (caption_ == text) return;
  caption_ = text;
  form_.Invalidate();
}

void Label::Paint(const PaintContext& c) {
  const Rect r = Bounds(c.dpi);
  if (!layout_.transparent) {
    c.gdi.FillSolidRect(c.dc, Intersect(r, c.clip), PlainColor(c.gdi, layout_.back_color));
  }
  if (caption_.empty()) return;
  c.gdi.PaintText(c.dc, form_.FontFor(layout_.font), r, caption_,
                  PlainColor(c.gdi, layout_.fore_color), layout_.alignment, true);
}

// Image: its picture unscaled from the top-left corner.

void Image::Paint(const PaintContext& c) {
  if (!layout_.picture) return;
  const Rect r = Bounds(c.dpi);
  c.gdi.PaintPicture(c.dc, r.left, r.top, *layout_.picture);
}

// Line: only level or upright lines occur; a wide line is centred on its path
// and, like a pen's stroke, stops short of its end point.

void Line::Paint(const PaintContext& c) {
  const Point origin = Container() ? Container()->ChildOrigin(c.dpi) : Point{0, 0};
  const int x1 = origin.x + TwipsToPixels(layout_.left, c.dpi);
  const int y1 = origin.y + TwipsToPixels(layout_.top, c.dpi);
  const int x2 = origin.x + TwipsToPixels(layout_.width, c.dpi);
  const int y2 = origin.y + TwipsToPixels(layout_.height, c.dpi);
  const int w = std::max(1, layout_.line_width);
  const int before = (w - 1) / 2, after = w - before;
  Rect r;
  if (y1 == y2) {
    r = {std::min(x1, x2), y1 - before, std::max(x1, x2), y1 + after};
  } else {
    r = {x1 - before, std::min(y1, y2), x1 + after, std::max(y1, y2)};
  }
  c.gdi.FillSolidRect(c.dc, Intersect(r, c.clip), PlainColor(c.gdi, layout_.fore_color));
}

// PictureBox

PictureBox::PictureBox(Form& form, const ControlLayout& layout, Control* container)
    : Control(form, layout, container), back_color_(layout.back_color) {
  if (layout.auto_size && layout.picture) {
    // Sized to its picture, at 15 twips to the pixel.
    layout_.width = layout.picture->width * 15 + (layout.border ? 30 : 0);
    layout_.height = layout.picture->height * 15 + (layout.border ? 30 : 0);
  }
}

void PictureBox::BackColor(ColorValue color) {
  if (back_color_ == color) return;
  back_color_ = color;
  form_.Invalidate();
}

Rect PictureBox::Inner(int dpi) const {
  Rect r = Bounds(dpi);
  if (layout_.border) r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  return r;
}

Point PictureBox::ChildOrigin(int dpi) const {
  const Rect r = Inner(dpi);
  return {r.left, r.top};
}

double PictureBox::ScaleWidth() const {
  const int pixels = Inner(form_.Dpi()).Width();
  return layout_.pixel_scale ? pixels : PixelsToTwips(pixels, form_.Dpi());
}

double PictureBox::ScaleHeight() const {
  const int pixels = Inner(form_.Dpi()).Height();
  return layout_.pixel_scale ? pixels : PixelsToTwips(pixels, form_.Dpi());
}

void PictureBox::EnsureImage() {
  const Rect inner = Inner(form_.Dpi());
  const int width = std::max(1, inner.Width()), height = std::max(1, inner.Height());
  if (image_ && image_.width() == width && image_.height() == height) return;
  image_ = MemorySurface(form_.runtime().gdi(), width, height);
  Cls();
}

void PictureBox::DropImage() { image_ = MemorySurface(); }

Hdc PictureBox::hDC() {
  EnsureImage();
  return image_.dc();
}

void PictureBox::Cls() {
  EnsureImage();
  Gdi& gdi = form_.runtime().gdi();
  gdi.FillSolidRect(image_.dc(), {0, 0, image_.width(), image_.height()},
                    PlainColor(gdi, back_color_));
}

void PictureBox::Refresh() { form_.PaintControl(*this); }

void PictureBox::Paint(const PaintContext& c) {
  const Rect r = Bounds(c.dpi);
  const Rect inner = Inner(c.dpi);
  if (layout_.border) Outline(c, r, c.gdi.GetSysColor(COLOR_WINDOWFRAME));
  if (layout_.persistent_image && image_) {
    const Rect shown = Intersect(inner, c.clip);
    c.gdi.BitBlt(c.dc, shown.left, shown.top, shown.Width(), shown.Height(), image_.dc(),
                 shown.left - inner.left, shown.top - inner.top, SRCCOPY);
    return;
  }
  c.gdi.FillSolidRect(c.dc, Intersect(inner, c.clip), PlainColor(c.gdi, back_color_));
  if (layout_.picture) c.gdi.PaintPicture(c.dc, inner.left, inner.top, *layout_.picture);
}

// Timer: ticks while enabled with an interval above zero and its form loaded.

Timer::Timer(Form& form, const ControlLayout& layout, Control* container)
    : Control(form, layout, container), enabled_(layout.enabled), interval_(layout.interval) {
  Restart();
}

Timer::~Timer() {
  if (id_ != TimerId{}) form_.runtime().StopTimer(id_);
}

void Timer::Enabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Restart();
}

void Timer::Interval(int milliseconds) {
  if (milliseconds < 0 || milliseconds > 65535) Raise(err::kInvalidCall);
  if (interval_ == milliseconds) return;
  interval_ = milliseconds;
  Restart();
}

void Timer::Restart() {
  Runtime& runtime = form_.runtime();
  if (id_ != TimerId{}) runtime.StopTimer(id_);
  id_ = TimerId{};
  if (enabled_ && interval_ > 0) id_ = runtime.StartTimer(*this, static_cast<unsigned>(interval_));
}

}  // namespace huevex
