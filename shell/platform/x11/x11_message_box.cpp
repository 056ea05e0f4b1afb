#include "shell/platform/x11/x11_message_box.h"

#include <X11/keysym.h>

#include <algorithm>

#include "shell/platform/gdi_owners.h"
#include "shell/platform/monitors.h"
#include "shell/platform/x11/x11_desktop.h"

namespace huevex::x11 {
namespace {

const FontDesc kFont{"Arial", 9, 400};
constexpr size_t kCharactersPerLine = 48;  // about as many as fit on a line

// The lines the message takes: its own, and one more for each line too long
// to fit on one.
int LineCount(std::string_view message) {
  int lines = 1;
  for (size_t at = 0, line_start = 0; at <= message.size(); ++at) {
    if (at == message.size() || message[at] == '\n') {
      lines += static_cast<int>((at - line_start) / kCharactersPerLine);
      if (at < message.size()) ++lines;
      line_start = at + 1;
    }
  }
  return lines;
}

// A release over OK, or Enter, Escape or space.
bool Closes(XEvent& event, Rect ok) {
  if (event.type == ButtonRelease) return ok.Contains({event.xbutton.x, event.xbutton.y});
  if (event.type != KeyPress) return false;
  const KeySym key = XLookupKeysym(&event.xkey, 0);
  return key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space;
}

// Where a box of this outer size lies centred over its owner (or the primary
// monitor's work area). Over an owner on its monitor's work area it is kept
// inside that area, so that an owner near an edge or a seam leaves no part of
// the box off that monitor.
Point Centred(X11Desktop& desktop, Hwnd owner, Rect box) {
  const std::vector<MonitorInfo> monitors = desktop.GetMonitors();
  const MonitorInfo* primary = PrimaryMonitor(monitors);
  const Rect over =
      owner != Hwnd{} ? desktop.GetOuterRect(owner) : (primary ? *primary : monitors.front()).work;
  const Rect work = MonitorFromRect(monitors, over).work;
  const Point at{over.left + (over.Width() - box.Width()) / 2,
                 over.top + (over.Height() - box.Height()) / 2};
  if (!work.Contains({over.left + over.Width() / 2, over.top + over.Height() / 2})) return at;
  return {std::clamp(at.x, work.left, std::max(work.left, work.right - box.Width())),
          std::clamp(at.y, work.top, std::max(work.top, work.bottom - box.Height()))};
}

}  // namespace

void ShowMessageBox(X11Desktop& desktop, Gdi& gdi, Hwnd owner, std::string_view title,
                    std::string_view message) {
  const int dpi = desktop.GetDpi(Hwnd{});
  const auto px = [dpi](int pixels) { return ScaleForDpi(pixels, dpi); };
  const int width = px(340);
  const Rect text{px(16), px(16), width - px(16), px(16) + LineCount(message) * px(16)};
  const int height = text.bottom + px(16) + px(24) + px(12);
  const Rect ok{width / 2 - px(40), height - px(12) - px(24), width / 2 + px(40), height - px(12)};

  const MemorySurface surface(gdi, width, height);
  const GdiObject font(gdi, gdi.CreateFontFor(kFont, dpi));
  const ColorValue face = gdi.GetSysColor(COLOR_BTNFACE);
  const ColorValue ink = gdi.GetSysColor(COLOR_BTNTEXT);
  gdi.FillSolidRect(surface.dc(), {0, 0, width, height}, face);
  gdi.PaintText(surface.dc(), font.get(), text, message, ink, TextAlign::Left, true);
  gdi.FillSolidRect(surface.dc(), ok, gdi.GetSysColor(COLOR_3DDKSHADOW));
  gdi.FillSolidRect(surface.dc(), {ok.left + 1, ok.top + 1, ok.right - 1, ok.bottom - 1}, face);
  gdi.PaintText(surface.dc(), font.get(), {ok.left, ok.top + px(4), ok.right, ok.bottom}, "OK", ink,
                TextAlign::Center, false);

  const Insets frame = desktop.FrameInsets(true, dpi);
  WindowDesc desc;
  desc.title = std::string(title);
  desc.framed = true;
  desc.taskbar = owner == Hwnd{};
  desc.client_width = width;
  desc.client_height = height;
  desc.position = Centred(
      desktop, owner, {0, 0, width + frame.left + frame.right, height + frame.top + frame.bottom});
  // The window reads the surface until it is destroyed, so it goes first.
  const Hwnd box = desktop.CreateTopLevel(desc);
  if (owner != Hwnd{}) desktop.SetTransientFor(box, owner);
  desktop.KeepOnTop(box, true);
  desktop.Present(box, surface.dc());
  desktop.ShowTopLevel(box, true);
  desktop.RunModal(box, [ok](XEvent& event) { return Closes(event, ok); });
  desktop.DestroyTopLevel(box);
}

}  // namespace huevex::x11
