#include "shell/platform/x11/x11_portal_shortcut.h"

#include <chrono>

namespace huevex::x11 {

std::string PortalTrigger(const Shortcut& shortcut) {
  std::string text;
  if (shortcut.super) text += "LOGO+";
  if (shortcut.control) text += "CTRL+";
  if (shortcut.alt) text += "ALT+";
  if (shortcut.shift) text += "SHIFT+";
  if (shortcut.key >= 'A' && shortcut.key <= 'Z') {
    text += static_cast<char>(shortcut.key - 'A' + 'a');  // the key's name, not a capital
  } else if (shortcut.key >= VK_F1 && shortcut.key < VK_F1 + 24) {
    text += 'F';
    text += std::to_string(shortcut.key - VK_F1 + 1);
  } else {
    text += static_cast<char>(shortcut.key);
  }
  return text;
}

std::unique_ptr<PortalShortcut> PortalShortcut::Open(std::shared_ptr<CaptureLibrary> module,
                                                     const Shortcut& shortcut, Pressed pressed,
                                                     Refused refused) {
  char reason[256] = {};
  huevex_shortcut* handle =
      module->api().shortcut_open(PortalTrigger(shortcut).c_str(), reason, sizeof reason);
  if (!handle) return nullptr;
  return std::make_unique<PortalShortcut>(std::move(module), handle, std::move(pressed),
                                          std::move(refused));
}

void PortalShortcut::Close() {
  if (shortcut_) module_->api().shortcut_close(shortcut_);
  shortcut_ = nullptr;
}

int PortalShortcut::PollFds(pollfd* fds, int max) {
  return shortcut_ ? module_->api().shortcut_poll_fds(shortcut_, fds, max) : 0;
}

std::optional<Pollable::Clock::time_point> PortalShortcut::Deadline() {
  const int ms = shortcut_ ? module_->api().shortcut_timeout_ms(shortcut_) : -1;
  if (ms < 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(ms);
}

void PortalShortcut::Dispatch() {
  if (!shortcut_) return;
  const huevex_capture_api& api = module_->api();
  const int state = api.shortcut_dispatch(shortcut_);
  // One pick arms however many presses came since the last look.
  if (api.shortcut_presses(shortcut_) > 0) pressed_();
  if (state == HUEVEX_SHORTCUT_REFUSED || state == HUEVEX_SHORTCUT_FAILED) {
    char reason[256] = {};
    api.shortcut_state(shortcut_, reason, sizeof reason);
    Close();
    refused_(reason);
  } else if (state == HUEVEX_SHORTCUT_UNAVAILABLE) {
    Close();  // nothing to tell: the user binds the command in the desktop's settings
  }
}

}  // namespace huevex::x11
