// The desktop portal's global shortcut (org.freedesktop.portal.GlobalShortcuts
// on the session bus, through sd-bus), for desktops whose keys X programs on
// Xwayland never see while a Wayland window has the keyboard (KDE Plasma).
// One session holds one shortcut, "pick", for the whole run: CreateSession,
// ListShortcuts (the desktop may keep it from an earlier run), else
// BindShortcuts with the trigger we would like (the desktop may ask the
// user, or choose other keys), then an Activated signal per press. The
// session is closed when the shortcut goes. Nothing here waits: every answer
// comes in through Dispatch.
#pragma once

#include <poll.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace huevex::wayland {

// Waiting: asked for, not answered yet (the desktop may be asking the user).
// Unavailable: the desktop portal has no global shortcuts (GNOME 43, the
// wlroots desktops): there is no way to one, and nothing to tell.
enum class ShortcutState { Waiting, Bound, Refused, Failed, Unavailable };

class GlobalShortcut {
 public:
  virtual ~GlobalShortcut() = default;
  virtual int PollFds(pollfd* fds, int max) = 0;
  // Milliseconds until Dispatch must run though nothing arrived; -1: none.
  virtual int TimeoutMs() = 0;
  virtual void Dispatch() = 0;
  // The presses since the last call.
  virtual int TakePresses() = 0;
  virtual ShortcutState CurrentState() const = 0;
  // Why, for the user: empty unless Refused or Failed.
  virtual std::string_view Reason() const = 0;
};

// trigger: the keys wished for, in the XDG shortcuts format ("LOGO+ALT+c").
// Null, with why, when the session bus cannot be reached.
std::unique_ptr<GlobalShortcut> OpenGlobalShortcut(std::string trigger, std::string* why);

}  // namespace huevex::wayland
