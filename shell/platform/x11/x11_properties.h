// Window properties as the backend reads and writes them: whole lists of
// 32-bit items (atoms, windows, cardinals: longs in Xlib), text, and the title
// in both of its properties.
#pragma once

#include <X11/Xlib.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "shell/platform/platform.h"
#include "shell/platform/x11/x11_atoms.h"

namespace huevex::x11 {

// A whole property of 32-bit items of the given type, or nothing.
std::vector<long> ReadLongs(Display* display, Window window, Atom property, Atom type);
// A property of 8-bit items (of any type) as text, or nothing.
std::string ReadText(Display* display, Window window, Atom property);

// Replaces a property with a list of 32-bit items.
void WriteLongs(Display* display, Window window, Atom property, Atom type,
                std::span<const long> items);
// The DPI the Xft.dpi value in the resource database text asks for, as the
// program uses it (UsableDpi): rounded, 96 when the value is missing. A value
// no monitor has (no number, zero or less, out of range) comes with a note of
// what was made of it, to be said once.
struct XftDpi {
  int dpi = 96;
  std::string note;
};
XftDpi ParseXftDpi(std::string_view resources);

// UTF-8 text as Latin-1; characters beyond Latin-1 become "?".
std::string Latin1FromUtf8(std::string_view utf8);

// The title: WM_NAME in Latin-1 for older window managers, _NET_WM_NAME in UTF-8.
void WriteTitle(Display* display, const Atoms& atoms, Window window, std::string_view utf8);

}  // namespace huevex::x11
