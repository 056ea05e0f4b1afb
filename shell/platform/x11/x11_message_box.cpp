#include "shell/platform/x11/x11_message_box.h"

#include <X11/keysym.h>

#include "shell/platform/gdi_owners.h"
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

}  // namespace

void ShowMessageBox(X11Desktop& desktop, Gdi& gdi, std::string_view title,
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

  const Rect work = desktop.PrimaryWorkArea();
  const Insets frame = desktop.FrameInsets(true, dpi);
  WindowDesc desc;
  desc.title = std::string(title);
  desc.framed = true;
  desc.client_width = width;
  desc.client_height = height;
  desc.position = {work.left + (work.Width() - width - frame.left - frame.right) / 2,
                   work.top + (work.Height() - height - frame.top - frame.bottom) / 2};
  // The window reads the surface until it is destroyed, so it goes first.
  const Hwnd box = desktop.CreateTopLevel(desc);
  desktop.SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  desktop.Present(box, surface.dc());
  desktop.ShowTopLevel(box, true);
  desktop.RunModal(box, [ok](XEvent& event) { return Closes(event, ok); });
  desktop.DestroyTopLevel(box);
}

}  // namespace huevex::x11
