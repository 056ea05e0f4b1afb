#include "shell/forms/toolkit.h"

#include <algorithm>
#include <string>
#include <utility>

namespace huevex {

// Form: loading and lifetime

Form::Form(Runtime& runtime, const FormLayout& layout)
    : runtime_(runtime), layout_(layout), caption_(layout.caption) {
  runtime_.Register(*this);
}

Form::~Form() {
  runtime_.Unregister(*this);
  Destroy();
}

void Form::Load() {
  if (loaded_) return;
  // After a run-time error has ended the program nothing loads again; the
  // procedure that was still running unwinds quietly.
  if (runtime_.Ended()) throw RuntimeError{0, ""};
  loaded_ = true;
  WindowSystem& ws = runtime_.windows();
  dpi_ = ws.GetDpi(Hwnd{});
  const int client_width = TwipsToPixels(layout_.client_width, dpi_);
  const int client_height = TwipsToPixels(layout_.client_height, dpi_);
  const Insets frame = layout_.framed ? ws.FrameInsets(true, dpi_) : Insets{};
  const Rect work = ws.PrimaryWorkArea();
  Point position{work.left, work.top};
  if (layout_.start_up == StartUpPosition::CenterScreen) {
    const int outer_width = client_width + frame.left + frame.right;
    const int outer_height = client_height + frame.top + frame.bottom;
    position = {work.left + (work.Width() - outer_width) / 2,
                work.top + (work.Height() - outer_height) / 2};
  }
  WindowDesc desc;
  desc.title = caption_;
  desc.framed = layout_.framed;
  desc.taskbar = layout_.taskbar;
  desc.position = position;
  desc.client_width = client_width;
  desc.client_height = client_height;
  desc.icon = layout_.icon;
  window_ = ws.CreateTopLevel(desc);
  const int window_dpi = ws.GetDpi(window_);
  if (window_dpi != dpi_) ChangeDpi(window_dpi);
  Build();
  back_buffer_ = MemorySurface(runtime_.gdi(), client_width, client_height);
  dirty_ = true;
  Form_Load();
}

void Form::Build() {
  for (const ControlLayout& item : layout_.controls) {
    std::unique_ptr<Control> control;
    switch (item.kind) {
      case ControlKind::Frame:
        control = std::make_unique<Frame>(*this, item, nullptr);
        break;
      case ControlKind::Label:
        control = std::make_unique<Label>(*this, item, nullptr);
        break;
      case ControlKind::Image:
        control = std::make_unique<Image>(*this, item, nullptr);
        break;
      case ControlKind::Line:
        control = std::make_unique<Line>(*this, item, nullptr);
        break;
      case ControlKind::PictureBox:
        control = std::make_unique<PictureBox>(*this, item, nullptr);
        break;
      case ControlKind::Timer:
        control = std::make_unique<Timer>(*this, item, nullptr);
        break;
    }
    controls_.push_back(std::move(control));
  }
  // Containment, once every control exists; children keep layout order.
  for (size_t i = 0; i < controls_.size(); ++i) {
    const std::string_view container = layout_.controls[i].container;
    Control* parent = nullptr;
    for (auto& candidate : controls_) {
      if (!container.empty() && candidate->Name() == container) parent = candidate.get();
    }
    controls_[i]->SetContainer(parent);
    if (parent) {
      parent->AddChild(controls_[i].get());
    } else {
      top_level_.push_back(controls_[i].get());
    }
  }
}

bool Form::UnloadForm() {
  if (!loaded_) return true;
  if (unloading_) {
    // Unloaded from inside its own Form_Unload: the window goes now.
    Destroy();
    return true;
  }
  unloading_ = true;
  int cancel = 0;
  try {
    Form_Unload(cancel);
  } catch (...) {
    unloading_ = false;
    throw;
  }
  unloading_ = false;
  if (cancel != 0) return false;
  Destroy();
  return true;
}

void Form::Destroy() {
  if (!loaded_) return;
  loaded_ = false;
  visible_ = false;
  runtime_.FormUnloaded(*this);
  top_level_.clear();
  controls_.clear();
  fonts_.clear();
  // The window reads its surface until it is gone, so the surface goes after it.
  runtime_.windows().DestroyTopLevel(window_);
  window_ = Hwnd{};
  back_buffer_ = MemorySurface();
  // The next load starts again from the layout.
  mouse_pointer_ = vbDefault;
  mouse_icon_ = nullptr;
  caption_ = std::string(layout_.caption);
  runtime_.AfterUnload();
}

void Unload(Form& form) { form.UnloadForm(); }

// Form: properties

Hwnd Form::hWnd() {
  Load();
  return window_;
}

bool Form::Visible() {
  Load();
  return visible_;
}

void Form::Show() {
  Load();
  if (visible_) return;
  visible_ = true;
  PaintNow();
  runtime_.windows().ShowTopLevel(window_, true);
}

void Form::Hide() {
  Load();
  if (!visible_) return;
  visible_ = false;
  runtime_.windows().ShowTopLevel(window_, false);
}

Single Form::Left() {
  Load();
  return static_cast<Single>(PixelsToTwips(runtime_.windows().GetOuterRect(window_).left, dpi_));
}

void Form::Left(Single twips) {
  Load();
  const Rect outer = runtime_.windows().GetOuterRect(window_);
  runtime_.windows().MoveTopLevel(window_, {TwipsToPixels(twips, dpi_), outer.top});
}

Single Form::Top() {
  Load();
  return static_cast<Single>(PixelsToTwips(runtime_.windows().GetOuterRect(window_).top, dpi_));
}

void Form::Top(Single twips) {
  Load();
  const Rect outer = runtime_.windows().GetOuterRect(window_);
  runtime_.windows().MoveTopLevel(window_, {outer.left, TwipsToPixels(twips, dpi_)});
}

Single Form::Height() {
  Load();
  return static_cast<Single>(
      PixelsToTwips(runtime_.windows().GetOuterRect(window_).Height(), dpi_));
}

int Form::MousePointer() {
  Load();
  return mouse_pointer_;
}

void Form::MousePointer(int pointer) {
  Load();
  mouse_pointer_ = pointer;
  UpdatePointer();
}

const Picture* Form::MouseIcon() {
  Load();
  return mouse_icon_;
}

void Form::MouseIcon(const Picture* icon) {
  Load();
  mouse_icon_ = icon;
  UpdatePointer();
}

void Form::UpdatePointer() {
  const bool custom = mouse_pointer_ == vbCustom && mouse_icon_ && !mouse_icon_->Empty();
  runtime_.windows().SetPointer(window_, custom ? mouse_icon_ : nullptr);
}

int Form::WindowState() {
  Load();
  return runtime_.windows().IsMinimized(window_) ? vbMinimized : 0;
}

std::string Form::Caption() {
  Load();
  return caption_;
}

void Form::Caption(std::string_view text) {
  Load();
  if (caption_ == text) return;
  caption_ = text;
  runtime_.windows().SetTitle(window_, caption_);
}

Control& Form::Find(std::string_view name) {
  Load();
  for (auto& control : controls_) {
    if (control->Name() == name) return *control;
  }
  throw RuntimeError{424, "Object required"};
}

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
  dpi_ = dpi;
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

// Form: events

void Form::Bind(std::string procedure, std::function<void()> handler) {
  handlers_[std::move(procedure)] = std::move(handler);
}

void Form::BindMouse(std::string procedure, MouseHandler handler) {
  mouse_handlers_[std::move(procedure)] = std::move(handler);
}

Clipboard& Form::Clipboard() { return runtime_.Clipboard(); }

void Form::RaiseEvent(const Control& control, std::string_view event) {
  const std::string procedure = control.Name() + "_" + std::string(event);
  if (auto it = handlers_.find(procedure); it != handlers_.end()) {
    const auto handler = it->second;  // the form may unload while it runs
    handler();
  }
}

void Form::RaiseMouse(const Control& control, std::string_view event, MouseButton button,
                      Point client) {
  const std::string procedure = control.Name() + "_" + std::string(event);
  auto it = mouse_handlers_.find(procedure);
  if (it == mouse_handlers_.end()) return;
  const Rect bounds = control.Bounds(dpi_);
  const auto x = static_cast<Single>(PixelsToTwips(client.x - bounds.left, dpi_));
  const auto y = static_cast<Single>(PixelsToTwips(client.y - bounds.top, dpi_));
  const auto handler = it->second;
  handler(static_cast<int>(button), 0, x, y);
}

// Clipboard

void Clipboard::SetText(std::string_view text) {
  text_ = text;
  Stop();
  if (TryOnce()) {
    Finish(true);
    return;
  }
  retries_left_ = kRetries;
  retry_timer_ = runtime_.windows().SetTimer(kRetryMs);
}

bool Clipboard::TryOnce() {
  return runtime_.windows().SetClipboardText(runtime_.MainWindow(), text_);
}

bool Clipboard::Retry(TimerId timer) {
  if (timer != retry_timer_ || timer == TimerId{}) return false;
  if (TryOnce()) {
    Stop();
    Finish(true);
  } else if (--retries_left_ <= 0) {
    Stop();
    Finish(false);
  }
  return true;
}

void Clipboard::Stop() {
  if (retry_timer_ != TimerId{}) runtime_.windows().KillTimer(retry_timer_);
  retry_timer_ = TimerId{};
}

void Clipboard::Finish(bool copied) {
  if (listener_) listener_(copied);
}

// Runtime

Runtime::Runtime(Gdi& gdi, WindowSystem& windows)
    : gdi_(gdi), windows_(windows), clipboard_(*this) {
  windows_.SetListener(this);
}

Runtime::~Runtime() { windows_.SetListener(nullptr); }

Form* Runtime::FormOf(Hwnd window) {
  for (Form* form : forms_) {
    if (form->Loaded() && form->Window() == window) return form;
  }
  return nullptr;
}

Hwnd Runtime::MainWindow() const {
  return !forms_.empty() && forms_.front()->Loaded() ? forms_.front()->Window() : Hwnd{};
}

bool Runtime::AnyLoaded() const {
  return std::any_of(forms_.begin(), forms_.end(), [](const Form* f) { return f->Loaded(); });
}

void Runtime::Dispatch(const std::function<void()>& action) {
  if (ended_) return;
  ++depth_;
  try {
    action();
  } catch (const RuntimeError& error) {
    HandleError(error);
  }
  --depth_;
  if (depth_ == 0 && !ended_) {
    for (Form* form : forms_) form->PaintIfDirty();
  }
}

void Runtime::HandleError(const RuntimeError& error) {
  if (ended_) return;
  ended_ = true;
  windows_.ShowError(
      "HUEVEX", "Run-time error '" + std::to_string(error.number) + "':\n\n" + error.description);
  clipboard_.Stop();
  for (Form* form : forms_) form->Destroy();
  windows_.Quit();
}

void Runtime::FormUnloaded(Form& form) {
  if (captured_form_ == &form) {
    captured_form_ = nullptr;
    captured_control_ = nullptr;
    buttons_down_ = 0;
    windows_.ReleaseCapture();
  }
}

void Runtime::AfterUnload() {
  if (AnyLoaded()) return;
  clipboard_.Stop();
  windows_.Quit();
}

TimerId Runtime::StartTimer(Timer& timer, unsigned interval_ms) {
  const TimerId id = windows_.SetTimer(interval_ms);
  timers_[id] = &timer;
  return id;
}

void Runtime::StopTimer(TimerId id) {
  windows_.KillTimer(id);
  timers_.erase(id);
}

void Runtime::OnMouseDown(Hwnd window, MouseButton button, Point client) {
  Dispatch([&] {
    if (captured_control_) {
      // Another button while one is held goes to the control that has the mouse.
      buttons_down_ |= static_cast<int>(button);
      captured_form_->RaiseMouse(*captured_control_, "MouseDown", button, client);
      return;
    }
    Form* form = FormOf(window);
    const Control* target = form ? form->HitTest(client) : nullptr;
    if (!target) return;
    captured_form_ = form;
    captured_control_ = target;
    buttons_down_ = static_cast<int>(button);
    windows_.SetCapture(window);
    form->RaiseMouse(*target, "MouseDown", button, client);
  });
}

void Runtime::OnMouseUp(Hwnd, MouseButton button, Point client) {
  Dispatch([&] {
    if (!captured_control_) return;
    Form* form = captured_form_;
    const Control* target = captured_control_;
    buttons_down_ &= ~static_cast<int>(button);
    if (buttons_down_ == 0) {
      captured_form_ = nullptr;
      captured_control_ = nullptr;
      windows_.ReleaseCapture();
    }
    form->RaiseMouse(*target, "MouseUp", button, client);
    // A release over the control that took the press is also a click.
    if (buttons_down_ == 0 && form->Loaded() && form->HitTest(client) == target) {
      form->RaiseEvent(*target, "Click");
    }
  });
}

void Runtime::OnCloseRequest(Hwnd window) {
  Dispatch([&] {
    if (Form* form = FormOf(window)) Unload(*form);
  });
}

void Runtime::OnTimer(TimerId id) {
  Dispatch([&] {
    if (clipboard_.Retry(id)) return;
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Timer& timer = *it->second;
    timer.Owner().RaiseEvent(timer, "Timer");
  });
}

void Runtime::OnScreenAccess(bool readable, std::string_view reason) {
  Dispatch([&] {
    if (screen_access_listener_) screen_access_listener_(readable, reason);
  });
}

void Runtime::OnDpiChanged(Hwnd window, int dpi) {
  Dispatch([&] {
    if (Form* form = FormOf(window)) form->ChangeDpi(dpi);
  });
}

}  // namespace huevex
