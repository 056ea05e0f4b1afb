// The two seams between the program and the platform it runs on.
//
// `Gdi` is the screen and drawing services, in Win32's own names and shapes;
// `WindowSystem` is native top-level windows, mouse input, timers, the
// clipboard and the message loop. Everything above these seams is the same on
// Windows, on X11 and on the simulated desktop. No platform header leaks
// through: handles are opaque values.
//
// The constants below share Win32's names and values. <windows.h> defines
// macros of the same names, so it comes after this header wherever both are
// needed; the Win32 backend checks at compile time that both give the same
// numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace huevex {

// Red in the low byte, then green, then blue; the top byte is zero. Negative
// values name a system color instead, by its index in their low byte, all but
// CLR_INVALID, which names nothing.
using ColorValue = std::int32_t;
inline constexpr ColorValue CLR_INVALID = -1;

inline constexpr ColorValue RGB(int r, int g, int b) {
  return static_cast<ColorValue>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
inline constexpr int GetRValue(ColorValue c) { return c & 0xFF; }
inline constexpr int GetGValue(ColorValue c) { return (c >> 8) & 0xFF; }
inline constexpr int GetBValue(ColorValue c) { return (c >> 16) & 0xFF; }

inline constexpr bool IsSystemColor(ColorValue c) { return c < 0 && c != CLR_INVALID; }

// System color indexes the program and the toolkit use.
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWFRAME = 6;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_BTNTEXT = 18;
inline constexpr int COLOR_BTNHIGHLIGHT = 20;
inline constexpr int COLOR_3DDKSHADOW = 21;
inline constexpr int COLOR_3DLIGHT = 22;

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::int32_t Width() const { return right - left; }
  std::int32_t Height() const { return bottom - top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// The area two rectangles share; empty (zero wide or high) where they do not meet.
inline Rect Intersect(Rect a, Rect b) {
  Rect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
         a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// A length given for 96 DPI, at another DPI (to the nearest pixel).
inline int ScaleForDpi(int pixels_at_96, int dpi) {
  const long long scaled = static_cast<long long>(pixels_at_96) * dpi;
  return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : -((-scaled + 48) / 96));
}

// The DPIs a real monitor is set to: from half the usual 96 to Windows'
// largest scale, 500 %.
inline constexpr int kLeastDpi = 48;
inline constexpr int kMostDpi = 480;

// A DPI from outside the program (a setting, the system) as the program uses
// it: none (zero or less) is the usual 96, and any other outside the range is
// brought to its nearer end: no setting can ask for a window no screen holds,
// or a surface no allocation can.
inline int UsableDpi(int dpi) {
  if (dpi <= 0) return 96;
  return dpi < kLeastDpi ? kLeastDpi : dpi > kMostDpi ? kMostDpi : dpi;
}

// Opaque handles. Zero is "none" for all of them.
enum class Hwnd : std::uintptr_t {};
enum class Hdc : std::uintptr_t {};
enum class Hgdiobj : std::uintptr_t {};  // bitmaps, brushes, fonts
enum class TimerId : std::uintptr_t {};

inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;
inline constexpr std::uint32_t PATCOPY = 0x00F00021;

// A picture as the program carries it: each pixel holds an XOR color
// (0x00BBGGRR) and an AND mask bit. A clear bit paints the color; a set bit
// over black keeps what is beneath (see-through), over white flips it. The
// top row comes first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> color;
  std::vector<std::uint8_t> mask;
  bool Empty() const { return width == 0 || height == 0; }
};

struct FontDesc {
  std::string_view face{};  // "Arial", "Small Fonts"
  double points = 8.25;
  int weight = 400;
  friend bool operator==(const FontDesc&, const FontDesc&) = default;
};

enum class TextAlign { Left, Right, Center };

class Gdi {
 public:
  virtual ~Gdi() = default;

  // The screen.
  virtual bool GetCursorPos(Point* point) = 0;
  // Moves the pointer, stopping at the screen's edges. Where the platform
  // cannot move the real pointer during a grab (Xwayland), the point that
  // GetCursorPos gives moves instead, and the pointer's picture with it.
  virtual bool SetCursorPos(int x, int y) = 0;
  virtual Hwnd GetDesktopWindow() = 0;
  virtual Hdc GetDC(Hwnd window) = 0;  // 0 or the desktop window: the whole screen
  virtual int ReleaseDC(Hwnd window, Hdc dc) = 0;
  virtual ColorValue GetPixel(Hdc dc, int x, int y) = 0;  // CLR_INVALID off the surface
  virtual ColorValue GetSysColor(int index) = 0;

  // Memory contexts, bitmaps, brushes.
  virtual Hdc CreateCompatibleDC(Hdc dc) = 0;
  virtual Hgdiobj CreateCompatibleBitmap(Hdc dc, int width, int height) = 0;
  virtual Hgdiobj SelectObject(Hdc dc, Hgdiobj object) = 0;
  virtual bool SetPixelV(Hdc dc, int x, int y, ColorValue color) = 0;
  virtual Hgdiobj CreatePatternBrush(Hgdiobj bitmap) = 0;
  virtual bool DeleteDC(Hdc dc) = 0;
  virtual bool DeleteObject(Hgdiobj object) = 0;
  virtual bool PatBlt(Hdc dc, int x, int y, int width, int height, std::uint32_t rop) = 0;
  virtual bool BitBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x,
                      int source_y, std::uint32_t rop) = 0;
  virtual bool StretchBlt(Hdc dest, int x, int y, int width, int height, Hdc source, int source_x,
                          int source_y, int source_width, int source_height, std::uint32_t rop) = 0;

  // What the forms toolkit paints with. Colors here are plain, never system references.
  virtual void FillSolidRect(Hdc dc, Rect rect, ColorValue color) = 0;
  virtual Hgdiobj CreateFontFor(const FontDesc& font, int dpi) = 0;
  // Draws text inside box: lines wrapped at blanks to the box's width (when
  // wrap is set), each line aligned, transparent background, clipped to box.
  virtual void PaintText(Hdc dc, Hgdiobj font, Rect box, std::string_view utf8, ColorValue color,
                         TextAlign align, bool wrap) = 0;
  // Draws a picture unscaled with its top-left corner at (x, y), honouring its mask.
  virtual void PaintPicture(Hdc dc, int x, int y, const Picture& picture) = 0;
};

enum class MouseButton { Left = 1, Right = 2, Middle = 4 };

// A key with its modifiers, for a shortcut that works whichever program has
// the keyboard. The key is a virtual-key code: 'A' to 'Z', '0' to '9', or
// VK_F1 to VK_F24.
struct Shortcut {
  int key = 0;
  bool control = false;
  bool alt = false;
  bool shift = false;
  bool super = false;  // the Windows key, Super on Linux desktops
  friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

// Virtual-key codes of the keys the program reads.
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_LEFT = 0x25;
inline constexpr int VK_UP = 0x26;
inline constexpr int VK_RIGHT = 0x27;
inline constexpr int VK_DOWN = 0x28;
inline constexpr int VK_F1 = 0x70;  // to VK_F24 = 0x87

// Whether the program can read the screen: it can; the desktop is asking
// the user whether it may, and has been for longer than the wait for an
// answer (its dialog may still be up); or it cannot.
enum class ScreenAccess { Readable, StillAsking, Unreadable };

// What the window system reports to the toolkit. Positions are client pixels
// of the window named (negative or past the edge while the mouse is captured).
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void OnMouseDown(Hwnd window, MouseButton button, Point client) = 0;
  virtual void OnMouseUp(Hwnd window, MouseButton button, Point client) = 0;
  virtual void OnCloseRequest(Hwnd window) = 0;  // the close box
  // A key went down (again, while it is held) in the window that has the
  // keyboard, or in the one that holds the mouse capture.
  virtual void OnKeyDown(Hwnd window, int key, bool shift) {
    (void)window;
    (void)key;
    (void)shift;
  }
  virtual void OnTimer(TimerId timer) = 0;
  virtual void OnDpiChanged(Hwnd window, int dpi) = 0;
  // Whether the screen can be read: told once when every way to it fails
  // (with the reason, for the user), once when the desktop's question of
  // whether it may be read has stayed open past the wait for its answer, and
  // again when it can be read.
  virtual void OnScreenAccess(ScreenAccess access, std::string_view reason) {
    (void)access;
    (void)reason;
  }
  // Monitors were added, removed, moved or resized.
  virtual void OnMonitorsChanged() {}
  // The shortcut registered with RegisterShortcut was pressed.
  virtual void OnShortcut() {}
  // The desktop would not take the shortcut (another program has it): why,
  // for the user. Told once, possibly well after RegisterShortcut.
  virtual void OnShortcutRefused(std::string_view reason) { (void)reason; }
};

// Every window is a top-level window of its own: none is owned by another.
struct WindowDesc {
  std::string title;
  bool framed = true;     // title bar, thin fixed frame, close box only
  bool taskbar = true;    // borderless windows have no taskbar button
  Point position;         // outer top-left, screen pixels
  int client_width = 0;   // pixels
  int client_height = 0;  // pixels
  const Picture* icon = nullptr;
};

// One monitor as the window system describes it (GetMonitorInfo's shape):
// its rectangle on the virtual screen, the part of it that windows may use
// (without docks and panels), and whether it is the primary.
struct MonitorInfo {
  Rect monitor;
  Rect work;
  bool primary = false;
  friend bool operator==(const MonitorInfo&, const MonitorInfo&) = default;
};

struct Insets {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  virtual void SetListener(WindowEvents* listener) = 0;

  // Top-level windows. Created hidden.
  virtual Hwnd CreateTopLevel(const WindowDesc& desc) = 0;
  virtual void DestroyTopLevel(Hwnd window) = 0;
  virtual Insets FrameInsets(bool framed, int dpi) = 0;  // outer minus client, pixels
  virtual Rect GetOuterRect(Hwnd window) = 0;
  virtual void MoveTopLevel(Hwnd window, Point outer_top_left) = 0;
  virtual void ResizeClient(Hwnd window, int client_width, int client_height) = 0;
  virtual void ShowTopLevel(Hwnd window, bool visible) = 0;
  virtual bool IsMinimized(Hwnd window) = 0;
  virtual void SetTitle(Hwnd window, std::string_view utf8) = 0;
  // Puts the window above every window that is not kept on top, and keeps it
  // there. Only the stacking changes (windows move and size through the calls
  // above); with `activate` false the active window stays as it is.
  virtual bool KeepOnTop(Hwnd window, bool activate) = 0;
  // Draws the window's title bar and frame as those of the active window,
  // though another window may have the focus (WM_NCACTIVATE on Windows).
  virtual void DrawTitleBarActive(Hwnd window) = 0;
  // Shows the client area from this surface (a memory context of the window's
  // client size) now, and again whenever the window is uncovered. The window
  // keeps reading the surface until another is presented or the window is
  // destroyed, so the surface must outlive it.
  virtual void Present(Hwnd window, Hdc surface) = 0;

  // Mouse: capture from press to release, and the window's pointer
  // (nullptr: the default arrow; else the picture with its hot spot at its centre).
  virtual void SetCapture(Hwnd window) = 0;
  // Capture with no button held (a pick started from a command or a
  // shortcut): every press, release and key comes to `window`, wherever the
  // pointer is and whichever program had the keyboard, and the window's
  // pointer shows over every window and the desktop, until ReleaseCapture.
  // Where the platform cannot follow the pointer over other programs'
  // windows, the screen as it was is shown over them meanwhile, and reads of
  // the screen give that picture. False when another program holds the
  // pointer or the keyboard.
  virtual bool CaptureAll(Hwnd window) = 0;
  virtual void ReleaseCapture() = 0;
  virtual void SetPointer(Hwnd window, const Picture* picture) = 0;

  virtual TimerId SetTimer(unsigned interval_ms) = 0;
  virtual void KillTimer(TimerId timer) = 0;
  // Milliseconds since some start, wrapping at 2^32: the clock timers keep.
  virtual std::uint32_t GetTickCount() = 0;

  // Places plain text on the clipboard; false when the clipboard is busy.
  virtual bool SetClipboardText(Hwnd owner, std::string_view utf8) = 0;

  // A global shortcut for the rest of the run: OnShortcut whenever it is
  // pressed. False where the platform has no way to one (the user binds
  // the command in the desktop's own settings instead); a desktop that
  // will not take it says so through OnShortcutRefused. Where the answer
  // comes later (a desktop portal, asked without waiting), true, and a
  // desktop that turns out to have no way to one says nothing.
  virtual bool RegisterShortcut(const Shortcut& shortcut) = 0;

  virtual int GetDpi(Hwnd window) = 0;  // Hwnd{}: the primary monitor's
  // Every monitor, as EnumDisplayMonitors lists them; at most one is the
  // primary, and there may be none. Never empty: a screen with no monitor
  // known is one monitor. A change is told through OnMonitorsChanged.
  virtual std::vector<MonitorInfo> GetMonitors() = 0;
  // A modal message box, over its owner (Hwnd{}: none) and tied to it.
  virtual void ShowError(Hwnd owner, std::string_view title, std::string_view message) = 0;
  // Whether the desktop is asking the user if the program may read the screen
  // (its dialog is up): reads fail until the user answers. Meanwhile the
  // windows kept on top give way to the desktop's dialog.
  virtual bool ScreenAwaitsAnswer() { return false; }

  // The message loop: runs until Quit.
  virtual void Run() = 0;
  virtual void Quit() = 0;
};

}  // namespace huevex
