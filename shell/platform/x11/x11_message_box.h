// The box a run-time error is shown in: the message and an OK button on a
// framed window of its own, transient for its owner and centred over it (on
// the work area without one), drawn with the software GDI like the forms. It is modal: the
// program's other windows take no input and no timer ticks until OK, Enter, Escape, space or the
// box's close box ends it.
#pragma once

#include <string_view>

#include "shell/platform/platform.h"

namespace huevex::x11 {

class X11Desktop;

void ShowMessageBox(X11Desktop& desktop, Gdi& gdi, Hwnd owner, std::string_view title,
                    std::string_view message);

}  // namespace huevex::x11
