// The program's pictures as GDI objects: the bitmaps that draw them with their
// masks, and the icons and cursors made from them.
#pragma once

#include "shell/platform/win32/handles.h"

namespace huevex::win32 {

// A 32-bit top-down DIB section twice the picture's height: the upper half is
// the AND mask spread over all color bits (white where the mask bit is 1), the
// lower half the XOR colors. BitBlt with SRCAND from the upper half and then
// SRCINVERT from the lower half draws the picture as the mask rule says.
UniqueBitmap MaskThenColorDib(const Picture& picture);

// An icon, or a cursor whose hot spot is the middle pixel (7, 7 in the 15 x 15
// crosshair). An empty picture gives an empty handle.
UniqueIcon IconFromPicture(const Picture& picture);
UniqueIcon CursorFromPicture(const Picture& picture);

}  // namespace huevex::win32
