// The windowless controls a form is built from. Each paints itself into its
// form's back buffer through Gdi and answers hit tests; none has a native window.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/forms/layout.h"
#include "shell/platform/gdi_owners.h"
#include "shell/platform/platform.h"

namespace huevex {

class Form;

// What a control paints with: the form's context and its current DPI.
struct PaintContext {
  Gdi& gdi;
  Hdc dc;
  int dpi;
  Rect clip;  // the container's visible area, client pixels
};

class Control {
 public:
  Control(Form& form, const ControlLayout& layout, Control* container);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const { return name_; }
  Form& Owner() const { return form_; }
  ControlKind Kind() const { return layout_.kind; }
  Control* Container() const { return container_; }
  void SetContainer(Control* container) { container_ = container; }
  const std::vector<Control*>& Children() const { return children_; }
  void AddChild(Control* child) { children_.push_back(child); }

  bool Visible() const { return visible_; }
  void Visible(bool visible);

  // The control's rectangle in the form's client pixels.
  Rect Bounds(int dpi) const;
  // Where the control's children are measured from, client pixels.
  virtual Point ChildOrigin(int dpi) const;

  // A control whose surface holds its children (frames and picture boxes).
  bool IsContainerKind() const;
  virtual void Paint(const PaintContext& context) = 0;
  // Lines show but take no clicks; everything else that is visible does.
  virtual bool TakesClicks() const { return true; }

 protected:
  Form& form_;
  ControlLayout layout_;

 private:
  std::string name_;
  Control* container_;
  std::vector<Control*> children_;
  bool visible_ = true;
};

class Frame : public Control {
 public:
  using Control::Control;
  void Paint(const PaintContext& context) override;
};

class Label : public Control {
 public:
  Label(Form& form, const ControlLayout& layout, Control* container);
  const std::string& Caption() const { return caption_; }
  void Caption(std::string_view text);
  void Paint(const PaintContext& context) override;

 private:
  std::string caption_;
};

class Image : public Control {
 public:
  using Control::Control;
  const huevex::Picture* Picture() const { return layout_.picture; }
  void Paint(const PaintContext& context) override;
};

class Line : public Control {
 public:
  using Control::Control;
  void Paint(const PaintContext& context) override;
  bool TakesClicks() const override { return false; }
};

class PictureBox : public Control {
 public:
  PictureBox(Form& form, const ControlLayout& layout, Control* container);

  const huevex::Picture* Picture() const { return layout_.picture; }
  ColorValue BackColor() const { return back_color_; }
  void BackColor(ColorValue color);
  double ScaleWidth() const;
  double ScaleHeight() const;
  // The persistent image: drawing through hDC goes to it, Cls clears it to
  // BackColor, Refresh shows it on screen.
  Hdc hDC();
  void Cls();
  void Refresh();

  Point ChildOrigin(int dpi) const override;
  void Paint(const PaintContext& context) override;
  // The form's DPI changed: the image takes the new inner size.
  void DropImage();

 private:
  Rect Inner(int dpi) const;
  void EnsureImage();

  ColorValue back_color_;
  MemorySurface image_;
};

class Timer : public Control {
 public:
  Timer(Form& form, const ControlLayout& layout, Control* container);
  ~Timer() override;
  bool Enabled() const { return enabled_; }
  void Enabled(bool enabled);
  int Interval() const { return interval_; }
  void Interval(int milliseconds);
  void Paint(const PaintContext&) override {}
  bool TakesClicks() const override { return false; }
  TimerId Id() const { return id_; }

 private:
  void Restart();

  bool enabled_;
  int interval_;
  TimerId id_{};
};

// Twips to pixels at a DPI, ties to even.
int TwipsToPixels(double twips, int dpi);
double PixelsToTwips(int pixels, int dpi);

}  // namespace huevex
