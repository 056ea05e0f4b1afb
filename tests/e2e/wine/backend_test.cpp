// Checks of the Win32 backend against the real user32 and gdi32, run as a
// Windows program (under Wine in the end-to-end tests, or on Windows itself):
// drawing with masks, fonts, fills, the window frame, mouse and close events,
// DPI changes, capture taken away, the pointer, timers, the clipboard, the
// monitors and what WM_PAINT shows. Prints one line per check and ends with status 0 only
// if every check held.
#include <cstdio>
#include <string>
#include <vector>

#include "resources/pictures.h"
#include "shell/platform/gdi_owners.h"
// The backends bring <windows.h>, which must come after the program's headers.
#include "shell/platform/win32/picture_bitmaps.h"
#include "shell/platform/win32/win32_gdi.h"
#include "shell/platform/win32/win32_windows.h"

namespace huevex::win32 {
namespace {

int failures = 0;

template <typename T>
void Check(const char* what, const T& expected, const T& actual) {
  const bool ok = expected == actual;
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) {
    std::printf("    expected: %s\n    got:      %s\n", std::to_string(expected).c_str(),
                std::to_string(actual).c_str());
    ++failures;
  }
}

void Check(const char* what, const std::string& expected, const std::string& actual) {
  const bool ok = expected == actual;
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) {
    std::printf("    expected: %s\n    got:      %s\n", expected.c_str(), actual.c_str());
    ++failures;
  }
}

std::string ToText(Rect r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

std::string Hex(ColorValue color) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(color));
  return text;
}

// What the backend reported to the toolkit, one line per event.
class Recorder : public WindowEvents {
 public:
  explicit Recorder(WindowSystem& windows) : windows_(windows) {}
  void OnMouseDown(Hwnd, MouseButton button, Point p) override {
    Add("down " + std::to_string(static_cast<int>(button)) + " " + Where(p));
  }
  void OnMouseUp(Hwnd, MouseButton button, Point p) override {
    Add("up " + std::to_string(static_cast<int>(button)) + " " + Where(p));
  }
  void OnCloseRequest(Hwnd) override { Add("close"); }
  void OnTimer(TimerId timer) override {
    if (timer != watched) return;
    if (++ticks == 3) windows_.Quit();
  }
  void OnDpiChanged(Hwnd, int dpi) override { Add("dpi " + std::to_string(dpi)); }

  std::string Take() {
    std::string all;
    all.swap(events_);
    return all;
  }
  TimerId watched{};
  int ticks = 0;

 private:
  static std::string Where(Point p) { return std::to_string(p.x) + "," + std::to_string(p.y); }
  void Add(const std::string& line) { events_ += (events_.empty() ? "" : "; ") + line; }
  WindowSystem& windows_;
  std::string events_;
};

LPARAM ClientLparam(int x, int y) {
  return static_cast<LPARAM>(static_cast<WORD>(x) |
                             (static_cast<DWORD>(static_cast<WORD>(y)) << 16));
}

void PaintPictureFollowsTheMaskRule(Gdi& gdi) {
  // One pixel of each kind over a known background: the surface ANDed with
  // the mask spread over all bits, then XORed with the color.
  const ColorValue back = RGB(10, 20, 30);
  Picture picture{5, 1, {}, {}};
  const std::uint32_t red = RGB(255, 0, 0), white = RGB(255, 255, 255), green = RGB(0, 200, 0);
  picture.color = {red, 0, white, 0, green};
  picture.mask = {0, 1, 1, 0, 1};
  const MemorySurface surface(gdi, 5, 1);
  gdi.FillSolidRect(surface.dc(), {0, 0, 5, 1}, back);
  gdi.PaintPicture(surface.dc(), 0, 0, picture);
  for (int x = 0; x < 5; ++x) {
    const std::uint32_t keep = picture.mask[x] ? 0xFFFFFFu : 0u;
    const auto expected =
        static_cast<ColorValue>((static_cast<std::uint32_t>(back) & keep) ^ picture.color[x]);
    const std::string what = "picture pixel " + std::to_string(x);
    Check(what.c_str(), Hex(expected), Hex(gdi.GetPixel(surface.dc(), x, 0)));
  }
  // Drawn twice at the same place, the same picture gives the same pixels
  // (the bitmaps made for it are kept, not changed).
  gdi.FillSolidRect(surface.dc(), {0, 0, 5, 1}, back);
  gdi.PaintPicture(surface.dc(), 0, 0, picture);
  Check("picture drawn again, inverted pixel", Hex(RGB(245, 235, 225)),
        Hex(gdi.GetPixel(surface.dc(), 2, 0)));
  // A different picture at the same address is drawn as it is now.
  picture.color[0] = RGB(0, 0, 255);
  gdi.PaintPicture(surface.dc(), 0, 0, picture);
  Check("changed picture at the same address", Hex(RGB(0, 0, 255)),
        Hex(gdi.GetPixel(surface.dc(), 0, 0)));
}

void FillsStayInsideTheirRectangle(Gdi& gdi) {
  const MemorySurface surface(gdi, 6, 6);
  gdi.FillSolidRect(surface.dc(), {0, 0, 6, 6}, RGB(1, 1, 1));
  gdi.FillSolidRect(surface.dc(), {2, 2, 4, 5}, RGB(200, 100, 50));
  gdi.FillSolidRect(surface.dc(), {4, 4, 4, 6}, RGB(9, 9, 9));  // empty: draws nothing
  const struct {
    int x, y;
    ColorValue color;
  } cases[] = {{2, 2, RGB(200, 100, 50)}, {3, 4, RGB(200, 100, 50)}, {1, 2, RGB(1, 1, 1)},
               {4, 2, RGB(1, 1, 1)},      {2, 5, RGB(1, 1, 1)},      {4, 4, RGB(1, 1, 1)}};
  for (const auto& c : cases) {
    const std::string what = "fill at " + std::to_string(c.x) + "," + std::to_string(c.y);
    Check(what.c_str(), Hex(c.color), Hex(gdi.GetPixel(surface.dc(), c.x, c.y)));
  }
}

void FontHeightsRoundLikeMulDiv() {
  const struct {
    double points;
    int dpi, height;
  } cases[] = {{8.25, 96, -11},  {6, 96, -8},     {5.25, 96, -7},
               {8.25, 144, -17}, {5.25, 120, -9}, {6, 120, -10}};
  for (const auto& c : cases) {
    const std::string what =
        "font height " + std::to_string(c.points) + " pt at " + std::to_string(c.dpi) + " DPI";
    Check(what.c_str(), c.height, FontHeight(c.points, c.dpi));
  }
}

void TextStaysInItsBox(Gdi& gdi) {
  const MemorySurface surface(gdi, 60, 40);
  gdi.FillSolidRect(surface.dc(), {0, 0, 60, 40}, RGB(255, 255, 255));
  const Hgdiobj font = gdi.CreateFontFor({"Arial", 8.25, 400}, 96);
  const Rect box{10, 10, 50, 30};
  gdi.PaintText(surface.dc(), font, box, "MMMMMMMMMMMM WWWWWWWWWW", RGB(0, 0, 0), TextAlign::Left,
                true);
  gdi.DeleteObject(font);
  int inside = 0, outside = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 60; ++x) {
      if (gdi.GetPixel(surface.dc(), x, y) == RGB(255, 255, 255)) continue;
      ++(box.Contains({x, y}) ? inside : outside);
    }
  }
  Check("text drawn inside its box", true, inside > 20);
  Check("text pixels outside its box", 0, outside);
}

void WidenReadsUtf8() {
  Check("UTF-8 ASCII", std::wstring(L"#FF0000") == Widen("#FF0000"), true);
  Check("UTF-8 two-byte", std::wstring(L"\u00e9") == Widen("\xc3\xa9"), true);
  Check("UTF-8 three-byte", std::wstring(L"\u20ac") == Widen("\xe2\x82\xac"), true);
  Check("UTF-8 empty", Widen("").empty(), true);
}

void CursorHasItsHotSpotAtTheCentre() {
  const UniqueIcon cursor = CursorFromPicture(pictures::Crosshair());
  ICONINFO info{};
  const bool got = cursor && ::GetIconInfo(cursor.get(), &info);
  Check("crosshair cursor made", true, got);
  if (!got) return;
  Check("cursor, not icon", 0, static_cast<int>(info.fIcon));
  Check("hot spot x", 7, static_cast<int>(info.xHotspot));
  Check("hot spot y", 7, static_cast<int>(info.yHotspot));
  BITMAP mask{};
  ::GetObjectW(info.hbmMask, sizeof mask, &mask);
  Check("cursor width", 15, static_cast<int>(mask.bmWidth));
  if (info.hbmMask) ::DeleteObject(info.hbmMask);
  if (info.hbmColor) ::DeleteObject(info.hbmColor);
}

void Windows(Win32Gdi& gdi, Win32Windows& windows, Recorder& events) {
  const int dpi = windows.GetDpi(Hwnd{});
  WindowDesc desc;
  desc.title = "HUEVEX backend test";
  desc.position = {100, 100};
  desc.client_width = 169;
  desc.client_height = 105;
  desc.icon = &pictures::ApplicationIcon32();
  const Hwnd main = windows.CreateTopLevel(desc);
  const HWND window = ToHwnd(main);
  Check("framed window made", true, ::IsWindow(window) != FALSE);

  RECT client{};
  ::GetClientRect(window, &client);
  Check("client width", 169, static_cast<int>(client.right));
  Check("client height", 105, static_cast<int>(client.bottom));
  const Rect outer = windows.GetOuterRect(main);
  const Insets frame = windows.FrameInsets(true, dpi);
  Check("outer width = client + frame", 169 + frame.left + frame.right, outer.Width());
  Check("outer height = client + frame", 105 + frame.top + frame.bottom, outer.Height());
  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  Check("caption and system menu", true,
        (style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU));
  Check("no resizing frame, no minimise or maximise box", 0,
        static_cast<int>(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)));
  Check("window icon set", true, ::SendMessageW(window, WM_GETICON, ICON_BIG, 0) != 0);

  WindowDesc panel_desc;
  panel_desc.framed = false;
  panel_desc.taskbar = false;
  panel_desc.position = {outer.left, outer.bottom};
  panel_desc.client_width = 175;
  panel_desc.client_height = 40;
  const Hwnd panel = windows.CreateTopLevel(panel_desc);
  const Rect panel_outer = windows.GetOuterRect(panel);
  Check("borderless: outer is client", std::string("175x40"),
        std::to_string(panel_outer.Width()) + "x" + std::to_string(panel_outer.Height()));
  Check("borderless: no taskbar button", true,
        (::GetWindowLongW(ToHwnd(panel), GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0);
  Check("borderless: owned by no window", true, ::GetWindow(ToHwnd(panel), GW_OWNER) == nullptr);

  // Mouse buttons, client coordinates signed, and the close box.
  ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, ClientLparam(-5, 7));
  ::SendMessageW(window, WM_LBUTTONUP, 0, ClientLparam(200, -3));
  ::SendMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, ClientLparam(1, 2));
  ::SendMessageW(window, WM_RBUTTONUP, 0, ClientLparam(1, 2));
  ::SendMessageW(window, WM_MBUTTONDOWN, MK_MBUTTON, ClientLparam(3, 4));
  ::SendMessageW(window, WM_MBUTTONUP, 0, ClientLparam(3, 4));
  Check("buttons",
        std::string("down 1 -5,7; up 1 200,-3; down 2 1,2; up 2 1,2; down 4 3,4; up 4 3,4"),
        events.Take());
  ::SendMessageW(window, WM_CLOSE, 0, 0);
  Check("close box asks, the window stays", std::string("close"), events.Take());
  Check("window still there after WM_CLOSE", true, ::IsWindow(window) != FALSE);

  // Shown, it shows what was presented.
  {
    const MemorySurface surface(gdi, 169, 105);
    gdi.FillSolidRect(surface.dc(), {0, 0, 169, 105}, RGB(1, 2, 3));
    windows.Present(main, surface.dc());
    windows.ShowTopLevel(main, true);
    MSG message;
    for (int i = 0; i < 20; ++i) {
      while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
      ::Sleep(10);
    }
    const Hdc dc = gdi.GetDC(main);
    Check("painted from the presented surface", Hex(RGB(1, 2, 3)), Hex(gdi.GetPixel(dc, 80, 50)));
    gdi.ReleaseDC(main, dc);
    windows.ShowTopLevel(main, false);
    windows.Present(main, Hdc{});
  }

  // The pointer: the crosshair while captured, the arrow again afterwards.
  ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, ClientLparam(10, 10));
  windows.SetCapture(main);
  windows.SetPointer(main, &pictures::Crosshair());
  ICONINFO info{};
  const bool crosshair = ::GetIconInfo(::GetCursor(), &info) && info.xHotspot == 7 &&
                         info.yHotspot == 7 && !info.fIcon;
  if (info.hbmMask) ::DeleteObject(info.hbmMask);
  if (info.hbmColor) ::DeleteObject(info.hbmColor);
  Check("pointer while captured is the crosshair", true, crosshair);
  windows.SetPointer(main, nullptr);
  Check("pointer back to the arrow", true, ::GetCursor() == ::LoadCursorW(nullptr, IDC_ARROW));

  // Capture taken away while the button is down ends the press as a release.
  events.Take();
  const HWND other = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr);
  ::SetCapture(other);
  const std::string lost = events.Take();
  Check("capture lost: the press is released", true, lost.rfind("up 1 ", 0) == 0);
  ::ReleaseCapture();
  ::DestroyWindow(other);
  // Our own release reports nothing.
  ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, ClientLparam(10, 10));
  windows.SetCapture(main);
  events.Take();
  windows.ReleaseCapture();
  Check("own release of the capture reports nothing", std::string(""), events.Take());

  // A move to a monitor of another DPI: the suggested rectangle is taken and
  // the toolkit told; later sizes use the new DPI.
  RECT suggested{200, 150, 200 + 300, 150 + 250};
  ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  Check("DPI change reported", std::string("dpi 144"), events.Take());
  Check("window DPI", 144, windows.GetDpi(main));
  const Rect moved = windows.GetOuterRect(main);
  Check("suggested rectangle taken", std::string("200,150 300x250"),
        std::to_string(moved.left) + "," + std::to_string(moved.top) + " " +
            std::to_string(moved.Width()) + "x" + std::to_string(moved.Height()));
  windows.ResizeClient(main, 254, 158);
  const Insets frame144 = windows.FrameInsets(true, 144);
  const Rect resized = windows.GetOuterRect(main);
  Check("resized with the frame at 144 DPI", 254 + frame144.left + frame144.right, resized.Width());

  // The clipboard: plain text, and false while another window holds it open.
  Check("clipboard written", true, windows.SetClipboardText(main, "#050AC8 \xc3\xa9"));
  std::wstring read;
  if (::OpenClipboard(nullptr)) {
    if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* text = static_cast<const wchar_t*>(::GlobalLock(data))) {
        read = text;
        ::GlobalUnlock(data);
      }
    }
    ::CloseClipboard();
  }
  Check("clipboard text", true, read == L"#050AC8 \u00e9");
  const HWND holder = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr);
  ::OpenClipboard(holder);
  Check("busy clipboard refuses", false, windows.SetClipboardText(main, "#000000"));
  ::CloseClipboard();
  ::DestroyWindow(holder);
  Check("free clipboard takes it again", true, windows.SetClipboardText(main, "#000000"));

  // Each window goes on its own; destroying one again is harmless.
  windows.DestroyTopLevel(main);
  Check("panel outlives the main window", true, ::IsWindow(ToHwnd(panel)) != FALSE);
  windows.DestroyTopLevel(panel);
  Check("panel destroyed", false, ::IsWindow(ToHwnd(panel)) != FALSE);
  windows.DestroyTopLevel(panel);
}

// The monitors as Windows lists them; the primary's work area is the one the
// program has always centred on.
void MonitorsWithOnePrimary(Win32Windows& windows) {
  const std::vector<MonitorInfo> monitors = windows.GetMonitors();
  int primaries = 0;
  MonitorInfo primary;
  for (const MonitorInfo& m : monitors) {
    if (m.primary) primary = m;
    primaries += m.primary ? 1 : 0;
  }
  Check("one primary monitor", 1, primaries);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  Check("primary work area",
        std::string(ToText(Rect{work.left, work.top, work.right, work.bottom})),
        ToText(primary.work));
  Check("primary at the origin",
        std::string(
            ToText(Rect{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)})),
        ToText(primary.monitor));
}

void TimersTickUntilQuit(Win32Windows& windows, Recorder& events) {
  events.watched = windows.SetTimer(5);
  const TimerId other = windows.SetTimer(5);
  Check("timer ids differ", true, events.watched != other);
  windows.KillTimer(other);
  // Should the timer never fire, this ends the loop after two seconds.
  ::SetTimer(nullptr, 0, 2000, [](HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(2); });
  windows.Run();
  Check("ticks before Quit ended the loop", 3, events.ticks);
  windows.KillTimer(events.watched);
}

}  // namespace
}  // namespace huevex::win32

int main() {
  using namespace huevex::win32;
  Win32Gdi gdi;
  Win32Windows windows(::GetModuleHandleW(nullptr), 1);
  Recorder events(windows);
  windows.SetListener(&events);

  PaintPictureFollowsTheMaskRule(gdi);
  FillsStayInsideTheirRectangle(gdi);
  FontHeightsRoundLikeMulDiv();
  TextStaysInItsBox(gdi);
  WidenReadsUtf8();
  CursorHasItsHotSpotAtTheCentre();
  Windows(gdi, windows, events);
  MonitorsWithOnePrimary(windows);
  TimersTickUntilQuit(windows, events);

  windows.SetListener(nullptr);
  std::printf("%s\n", failures ? "some checks FAILED" : "all checks held");
  return failures ? 1 : 0;
}
