// The desktop portal's screen cast (org.freedesktop.portal.ScreenCast on the
// session bus, through sd-bus), with the frames over PipeWire: the live source
// on desktops that give ordinary programs no capture protocol (GNOME, KDE
// Plasma). While capturing is wanted a session shares every monitor, one
// stream each, and reads sample the newest frames. The desktop asks the user
// once: the session is persistent, and its restore token is kept
// (restore_token.h) so that later sessions start without a question. The
// session runs only while wanted and a few seconds after, so that the
// desktop's "screen is shared" indicator is up only then.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "shell/platform/wayland/source.h"

namespace huevex::wayland {

// Null, with why, when the session bus cannot be reached. Whether the portal
// offers a screen cast is asked without waiting: the answer shows in the
// state. With fallback (under "auto"), a screen cast that is missing,
// refused or sends no frame says so with WantsFallback.
std::unique_ptr<Source> OpenScreencast(std::uint32_t timeout_ms, bool fallback, std::string* why);

}  // namespace huevex::wayland
