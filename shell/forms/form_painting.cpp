// How a form puts its controls on screen and finds the one under a click.
#include <string>
#include <utility>

#include "shell/forms/form.h"
#include "shell/forms/runtime.h"

namespace huevex {

// Form: painting

Rect Form::ClientArea() const {
  return {0, 0, TwipsToPixels(layout_.client_width, dpi_),
          TwipsToPixels(layout_.client_height, dpi_)};
}

Hgdiobj Form::FontFor(const FontDesc& wanted) {
  const FontDesc& font = wanted.face.empty() ? layout_.font : wanted;
  const std::string key = std::string(font.face) + "/" + std::to_string(font.points) + "/" +
                          std::to_string(font.weight);
  auto it = fonts_.find(key);
  if (it == fonts_.end()) {
    Gdi& gdi = runtime_.gdi();
    it = fonts_.emplace(key, GdiObject(gdi, gdi.CreateFontFor(font, dpi_))).first;
  }
  return it->second.get();
}

void Form::PaintIfDirty() {
  if (loaded_ && dirty_) PaintNow();
}

void Form::PaintNow() {
  if (!loaded_) return;
  Gdi& gdi = runtime_.gdi();
  const Rect client = ClientArea();
  gdi.FillSolidRect(back_buffer_.dc(), client, PlainColor(gdi, layout_.back_color));
  PaintContainer(top_level_, client, back_buffer_.dc());
  runtime_.windows().Present(window_, back_buffer_.dc());
  dirty_ = false;
}

void Form::PaintControl(Control& control) {
  if (!loaded_) return;
  if (dirty_ || Covered(control)) {
    dirty_ = true;
    PaintNow();
    return;
  }
  Rect clip = ClientArea();
  for (const Control* c = &control; c; c = c->Container()) {
    if (!c->Visible()) return;  // nothing of it shows
    if (c != &control) clip = Intersect(clip, c->Bounds(dpi_));
  }
  control.Paint({runtime_.gdi(), back_buffer_.dc(), dpi_, clip});
  runtime_.windows().Present(window_, back_buffer_.dc());
}

// Whether a visible frame or picture box stacked above the control, or above
// one of its containers, overlaps it. Labels, images and lines never lie over
// a frame or picture box.
bool Form::Covered(const Control& control) const {
  const Rect area = control.Bounds(dpi_);
  for (const Control* c = &control; c; c = c->Container()) {
    const std::vector<Control*>& layer = c->Container() ? c->Container()->Children() : top_level_;
    for (const Control* other : layer) {
      if (other == c) break;
      if (!other->Visible() || !other->IsContainerKind()) continue;
      const Rect r = other->Bounds(dpi_);
      if (r.left < area.right && area.left < r.right && r.top < area.bottom &&
          area.top < r.bottom) {
        return true;
      }
    }
  }
  return false;
}

// Bottom to top: the container's labels, images and lines (the last listed
// first), then its frames and picture boxes likewise, each followed by its own children.
void Form::PaintContainer(const std::vector<Control*>& layer, Rect clip, Hdc dc) {
  const PaintContext context{runtime_.gdi(), dc, dpi_, clip};
  for (int pass = 0; pass < 2; ++pass) {
    const bool containers = pass == 1;
    for (auto it = layer.rbegin(); it != layer.rend(); ++it) {
      Control* control = *it;
      if (!control->Visible() || control->IsContainerKind() != containers) continue;
      control->Paint(context);
      if (!control->Children().empty()) {
        PaintContainer(control->Children(), Intersect(control->Bounds(dpi_), clip), dc);
      }
    }
  }
}

// Top to bottom, in the same order as painting reversed.
Control* Form::HitIn(const std::vector<Control*>& layer, Point client) {
  for (int pass = 0; pass < 2; ++pass) {
    const bool containers = pass == 0;
    for (Control* control : layer) {
      if (!control->Visible() || !control->TakesClicks()) continue;
      if (control->IsContainerKind() != containers) continue;
      if (!control->Bounds(dpi_).Contains(client)) continue;
      if (Control* child = HitIn(control->Children(), client)) return child;
      return control;
    }
  }
  return nullptr;
}

Control* Form::HitTest(Point client) { return loaded_ ? HitIn(top_level_, client) : nullptr; }

void Form::ChangeDpi(int dpi) {
  dpi_ = UsableDpi(dpi);
  fonts_.clear();
  const Rect client = ClientArea();
  runtime_.windows().ResizeClient(window_, client.Width(), client.Height());
  for (auto& control : controls_) {
    if (auto* box = dynamic_cast<PictureBox*>(control.get())) box->DropImage();
  }
  dirty_ = true;
  if (!back_buffer_) return;  // still loading: the surface is made at the new size
  // The window shows the new surface before the old one goes.
  MemorySurface shown =
      std::exchange(back_buffer_, MemorySurface(runtime_.gdi(), client.Width(), client.Height()));
  PaintNow();
}

}  // namespace huevex
