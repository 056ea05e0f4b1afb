// Owning wrappers for the Win32 handles the backend creates itself, so that
// every one of them is given back on every path.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "shell/platform/win32/windows_api.h"

namespace huevex::win32 {

template <typename Handle, auto Free>
class Unique {
 public:
  Unique() = default;
  explicit Unique(Handle handle) : handle_(handle) {}
  ~Unique() { reset(); }
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  Handle release() { return std::exchange(handle_, Handle{}); }
  void reset(Handle handle = Handle{}) {
    if (handle_ != Handle{}) Free(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_{};
};

inline void DropGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void DropIcon(HICON icon) { ::DestroyIcon(icon); }
inline void DropMemoryDc(HDC dc) { ::DeleteDC(dc); }
inline void DropWindow(HWND window) { ::DestroyWindow(window); }
inline void DropModule(HMODULE module) { ::FreeLibrary(module); }
inline void DropGlobal(HGLOBAL memory) { ::GlobalFree(memory); }

using UniqueBitmap = Unique<HBITMAP, DropGdiObject>;
using UniqueIcon = Unique<HICON, DropIcon>;  // icons and cursors alike
using UniqueMemoryDc = Unique<HDC, DropMemoryDc>;
using UniqueWindow = Unique<HWND, DropWindow>;
using UniqueModule = Unique<HMODULE, DropModule>;
using UniqueGlobal = Unique<HGLOBAL, DropGlobal>;

// A context obtained with GetDC, given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a context for a scope; the previous one goes back.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_) ::SelectObject(dc_, previous_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Our opaque handles and Win32's are the same values.
inline HWND ToHwnd(Hwnd window) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(window)); }
inline Hwnd FromHwnd(HWND window) { return Hwnd{reinterpret_cast<UINT_PTR>(window)}; }
inline HDC ToHdc(Hdc dc) { return reinterpret_cast<HDC>(static_cast<UINT_PTR>(dc)); }
inline Hdc FromHdc(HDC dc) { return Hdc{reinterpret_cast<UINT_PTR>(dc)}; }
inline HGDIOBJ ToObject(Hgdiobj object) {
  return reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(object));
}
inline Hgdiobj FromObject(HGDIOBJ object) { return Hgdiobj{reinterpret_cast<UINT_PTR>(object)}; }

// Text crosses the seam as UTF-8; Win32 wants UTF-16.
std::wstring Widen(std::string_view utf8);

}  // namespace huevex::win32
