// The compositor's own capture of its outputs, over a Wayland connection of
// the module's own (WAYLAND_DISPLAY): ext-image-copy-capture where the
// compositor offers it, else wlr-screencopy. While wanted, each output keeps
// one capture in flight that the compositor answers only when something on
// it changed (so a still screen costs nothing), and reads sample the newest
// finished frame without waiting. The outputs' places in the layout come from
// xdg-output, their scale and transform from wl_output, so that X root
// coordinates (Xwayland's root spans the logical layout) find their pixels.
#pragma once

#include <memory>
#include <string>

#include "shell/platform/wayland/source.h"

namespace huevex::wayland {

// Connects and looks at what the compositor offers; null, with why (for the
// user), when it offers no capture to programs or cannot be reached.
std::unique_ptr<Source> OpenScreencopy(std::string* why);

}  // namespace huevex::wayland
