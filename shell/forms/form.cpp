#include "shell/forms/form.h"

#include <string>

#include "shell/forms/runtime.h"
#include "shell/platform/monitors.h"

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
  dpi_ = UsableDpi(ws.GetDpi(Hwnd{}));
  const int client_width = TwipsToPixels(layout_.client_width, dpi_);
  const int client_height = TwipsToPixels(layout_.client_height, dpi_);
  const Insets frame = layout_.framed ? ws.FrameInsets(true, dpi_) : Insets{};
  const Rect work = StartWorkArea();
  Point position{work.left, work.top};
  if (layout_.start_up == StartUpPosition::CenterScreen) {
    position = CentredIn(work, client_width + frame.left + frame.right,
                         client_height + frame.top + frame.bottom);
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
  const int window_dpi = UsableDpi(ws.GetDpi(window_));
  if (window_dpi != dpi_) ChangeDpi(window_dpi);
  Build();
  back_buffer_ = MemorySurface(runtime_.gdi(), client_width, client_height);
  dirty_ = true;
  Form_Load();
}

// The work area a window opens on: the primary monitor's, else, where no
// monitor is primary, that of the monitor under the pointer (or nearest it).
Rect Form::StartWorkArea() {
  const std::vector<MonitorInfo> monitors = runtime_.windows().GetMonitors();
  if (const MonitorInfo* primary = PrimaryMonitor(monitors)) return primary->work;
  // The pointer is asked about only where it can make a difference.
  if (monitors.size() == 1) return monitors.front().work;
  Point pointer{};
  runtime_.gdi().GetCursorPos(&pointer);
  return MonitorFromPoint(monitors, pointer).work;
}

void Form::ComeBackOnScreen() {
  if (!loaded_) return;
  WindowSystem& ws = runtime_.windows();
  const Rect outer = ws.GetOuterRect(window_);
  if (OnAnyMonitor(ws.GetMonitors(), outer)) return;
  ws.MoveTopLevel(window_, CentredIn(StartWorkArea(), outer.Width(), outer.Height()));
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

// Form: events

void Form::Bind(std::string_view control, Event event, std::function<void()> handler) {
  handlers_[{std::string(control), event}] = std::move(handler);
}

void Form::BindMouse(std::string_view control, MouseEvent event, MouseHandler handler) {
  mouse_handlers_[{std::string(control), event}] = std::move(handler);
}

Clipboard& Form::Clipboard() { return runtime_.Clipboard(); }

void Form::RaiseEvent(const Control& control, Event event) {
  if (auto it = handlers_.find({control.Name(), event}); it != handlers_.end()) {
    const auto handler = it->second;  // the form may unload while it runs
    handler();
  }
}

void Form::RaiseMouse(const Control& control, MouseEvent event, MouseButton button, Point client) {
  auto it = mouse_handlers_.find({control.Name(), event});
  if (it == mouse_handlers_.end()) return;
  const Rect bounds = control.Bounds(dpi_);
  const auto x = static_cast<Single>(PixelsToTwips(client.x - bounds.left, dpi_));
  const auto y = static_cast<Single>(PixelsToTwips(client.y - bounds.top, dpi_));
  const auto handler = it->second;
  handler(static_cast<int>(button), 0, x, y);
}

void Form::RaiseKeyDown(int keyCode, int shift) {
  if (loaded_) Form_KeyDown(keyCode, shift);
}

}  // namespace huevex
