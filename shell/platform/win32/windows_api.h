// The one way the Win32 backend includes <windows.h>.
//
// The seam comes first: it declares constants under Win32's own names
// (COLOR_WINDOW, SRCCOPY, ...), which <windows.h> then defines as macros.
// The other order would turn those declarations into nonsense. The numbers
// are taken here while the names are still ours, and checked against the
// macros once <windows.h> is in.
#pragma once

#include "shell/platform/platform.h"

namespace huevex::win32::seam {
inline constexpr ColorValue kRgb = huevex::RGB(0x12, 0x34, 0x56);
inline constexpr int kGetR = huevex::GetRValue(0x563412), kGetG = huevex::GetGValue(0x563412),
                     kGetB = huevex::GetBValue(0x563412);
inline constexpr ColorValue kClrInvalid = huevex::CLR_INVALID;
inline constexpr int kColorWindow = huevex::COLOR_WINDOW,
                     kColorWindowFrame = huevex::COLOR_WINDOWFRAME,
                     kColorWindowText = huevex::COLOR_WINDOWTEXT,
                     kColorBtnFace = huevex::COLOR_BTNFACE,
                     kColorBtnShadow = huevex::COLOR_BTNSHADOW,
                     kColorBtnText = huevex::COLOR_BTNTEXT,
                     kColorBtnHighlight = huevex::COLOR_BTNHIGHLIGHT,
                     kColor3dDkShadow = huevex::COLOR_3DDKSHADOW,
                     kColor3dLight = huevex::COLOR_3DLIGHT;
inline constexpr std::uint32_t kSrcCopy = huevex::SRCCOPY, kPatCopy = huevex::PATCOPY;
inline constexpr int kVkReturn = huevex::VK_RETURN, kVkEscape = huevex::VK_ESCAPE,
                     kVkLeft = huevex::VK_LEFT, kVkUp = huevex::VK_UP, kVkRight = huevex::VK_RIGHT,
                     kVkDown = huevex::VK_DOWN, kVkF1 = huevex::VK_F1;
}  // namespace huevex::win32::seam

// Keep <windows.h> below the seam; the defines trim it and keep min/max usable.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

namespace huevex::win32::seam {
static_assert(kRgb == static_cast<ColorValue>(RGB(0x12, 0x34, 0x56)));
static_assert(kGetR == GetRValue(0x563412) && kGetG == GetGValue(0x563412) &&
              kGetB == GetBValue(0x563412));
static_assert(kClrInvalid == static_cast<ColorValue>(CLR_INVALID));
static_assert(kColorWindow == COLOR_WINDOW && kColorWindowFrame == COLOR_WINDOWFRAME &&
              kColorWindowText == COLOR_WINDOWTEXT && kColorBtnFace == COLOR_BTNFACE &&
              kColorBtnShadow == COLOR_BTNSHADOW && kColorBtnText == COLOR_BTNTEXT &&
              kColorBtnHighlight == COLOR_BTNHIGHLIGHT && kColor3dDkShadow == COLOR_3DDKSHADOW &&
              kColor3dLight == COLOR_3DLIGHT);
static_assert(kSrcCopy == SRCCOPY && kPatCopy == PATCOPY);
static_assert(kVkReturn == VK_RETURN && kVkEscape == VK_ESCAPE && kVkLeft == VK_LEFT &&
              kVkUp == VK_UP && kVkRight == VK_RIGHT && kVkDown == VK_DOWN && kVkF1 == VK_F1);
}  // namespace huevex::win32::seam
