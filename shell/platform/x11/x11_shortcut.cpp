#include "shell/platform/x11/x11_shortcut.h"

#include <X11/Xproto.h>
#include <X11/keysym.h>

namespace huevex::x11 {
namespace {

KeySym KeySymOf(int key) {
  if (key >= 'A' && key <= 'Z') return XK_a + (key - 'A');
  if (key >= '0' && key <= '9') return XK_0 + (key - '0');
  if (key >= VK_F1 && key < VK_F1 + 24) return XK_F1 + (key - VK_F1);
  return NoSymbol;
}

// The modifier mask that a key is bound to (Num Lock is Mod2 on most
// keyboards, Super Mod4, but a keymap may say otherwise); 0 when none.
unsigned MaskOf(Display* display, KeySym symbol) {
  const KeyCode code = XKeysymToKeycode(display, symbol);
  if (code == 0) return 0;
  XModifierKeymap* map = XGetModifierMapping(display);
  if (!map) return 0;
  unsigned mask = 0;
  for (int modifier = 0; modifier < 8 && mask == 0; ++modifier) {
    for (int k = 0; k < map->max_keypermod; ++k) {
      if (map->modifiermap[modifier * map->max_keypermod + k] == code) {
        mask = 1u << modifier;
        break;
      }
    }
  }
  XFreeModifiermap(map);
  return mask;
}

// The grabs' errors are the answer, not trouble: caught here, not told.
bool grab_refused = false;
int NoteRefusal(Display*, XErrorEvent* error) {
  if (error->request_code == X_GrabKey) grab_refused = true;
  return 0;
}

}  // namespace

GlobalShortcut::~GlobalShortcut() { Ungrab(); }

bool GlobalShortcut::Grab(const Shortcut& shortcut) {
  Ungrab();
  const KeySym symbol = KeySymOf(shortcut.key);
  keycode_ = symbol == NoSymbol ? 0 : XKeysymToKeycode(display_, symbol);
  if (keycode_ == 0) return false;
  const unsigned alt = MaskOf(display_, XK_Alt_L);
  const unsigned super = MaskOf(display_, XK_Super_L);
  if ((shortcut.alt && alt == 0) || (shortcut.super && super == 0)) return false;
  modifiers_ = (shortcut.control ? ControlMask : 0) | (shortcut.shift ? ShiftMask : 0) |
               (shortcut.alt ? alt : 0) | (shortcut.super ? super : 0);
  const unsigned lock_masks[] = {LockMask, MaskOf(display_, XK_Num_Lock),
                                 MaskOf(display_, XK_Scroll_Lock)};
  locks_ = 0;
  for (unsigned m : lock_masks) locks_ |= m;
  XSync(display_, False);
  grab_refused = false;
  XErrorHandler before = XSetErrorHandler(NoteRefusal);
  std::vector<unsigned> combinations{0};
  for (unsigned lock : lock_masks) {
    if (lock == 0 || (modifiers_ & lock)) continue;
    const size_t n = combinations.size();
    for (size_t i = 0; i < n; ++i) combinations.push_back(combinations[i] | lock);
  }
  for (unsigned locks : combinations) {
    XGrabKey(display_, keycode_, modifiers_ | locks, root_, False, GrabModeAsync, GrabModeAsync);
    grabbed_.push_back(modifiers_ | locks);
  }
  XSync(display_, False);
  XSetErrorHandler(before);
  if (grab_refused) {
    Ungrab();
    return false;
  }
  return true;
}

void GlobalShortcut::Ungrab() {
  for (unsigned modifiers : grabbed_) XUngrabKey(display_, keycode_, modifiers, root_);
  grabbed_.clear();
}

bool GlobalShortcut::Matches(const XKeyEvent& event) const {
  return !grabbed_.empty() && event.keycode == keycode_ &&
         (event.state & ~locks_ & 0xFF) == modifiers_;
}

}  // namespace huevex::x11
