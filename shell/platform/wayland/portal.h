// The desktop portal's screenshot (org.freedesktop.portal.Screenshot on the
// session bus, through sd-bus), for desktops whose compositor gives ordinary
// programs no capture protocol (GNOME, KDE Plasma). A screenshot is a still
// picture that takes a while to make (GNOME flashes the screen for each), so
// one is taken when capturing is wanted (a pick starts, the magnifier opens)
// and sampled until the next: the magnifier's view stays still on these
// desktops. The request is non-interactive; the answer comes as a signal on a
// request object, subscribed to before the call. A refusal (GNOME asks the
// user once) is an answer, not an error; a portal that does not answer in
// time, or goes away, leaves a clear state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "shell/platform/wayland/source.h"

namespace huevex::wayland {

// Null, with why, when the session bus cannot be reached. timeout_ms is how
// long an answer is waited for (0: the portal's own 25 s). Whether the portal
// offers screenshots is asked without waiting: the answer shows in the state.
std::unique_ptr<Source> OpenPortal(std::uint32_t timeout_ms, std::string* why);

}  // namespace huevex::wayland
