// The global shortcut on Xwayland. X sees a key there only while one of its
// windows has the keyboard, so a passive grab would work now and then; the
// shortcut is the desktop portal's instead, held by the capture module
// (capture_abi.h), where the desktop has one. Its presses come to the loop
// like the capture's frames; a refusal or a failure is told once, and then
// the module's shortcut goes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "shell/platform/platform.h"
#include "shell/platform/x11/x11_poll.h"
#include "shell/platform/x11/x11_screen_source.h"

namespace huevex::x11 {

// The shortcut in the XDG shortcuts format the desktop portals take: the
// modifiers, then the key's X name ("LOGO+ALT+c", "CTRL+SHIFT+F9").
std::string PortalTrigger(const Shortcut& shortcut);

class PortalShortcut : public Pollable {
 public:
  using Pressed = std::function<void()>;
  using Refused = std::function<void(std::string_view reason)>;

  // Asks the desktop for the shortcut; null when the module cannot ask
  // (no session bus): there is no way to one then.
  static std::unique_ptr<PortalShortcut> Open(std::shared_ptr<CaptureLibrary> module,
                                              const Shortcut& shortcut, Pressed pressed,
                                              Refused refused);
  PortalShortcut(std::shared_ptr<CaptureLibrary> module, huevex_shortcut* shortcut, Pressed pressed,
                 Refused refused)
      : module_(std::move(module)),
        shortcut_(shortcut),
        pressed_(std::move(pressed)),
        refused_(std::move(refused)) {}
  ~PortalShortcut() override { Close(); }
  PortalShortcut(const PortalShortcut&) = delete;
  PortalShortcut& operator=(const PortalShortcut&) = delete;

  int PollFds(pollfd* fds, int max) override;
  std::optional<Clock::time_point> Deadline() override;
  void Dispatch() override;

 private:
  void Close();

  std::shared_ptr<CaptureLibrary> module_;
  huevex_shortcut* shortcut_;  // null once the desktop has none for us
  Pressed pressed_;
  Refused refused_;
};

}  // namespace huevex::x11
