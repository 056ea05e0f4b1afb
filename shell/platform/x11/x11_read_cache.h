// The screen reads of a pick, answered again while nothing has changed. A
// pick reads the pixel under the pointer a thousand times a second so that
// the swatch is never late; with the pointer still over a still screen every
// one of those round trips gives the same pixels. While the pointer is
// grabbed, an XDamage object on the root window reports every change of the
// screen's pixels; a read that no change has touched since it was made is
// given again from memory, exactly as the server would give it.
//
// Damage is reported as the rectangles newly added to the region collected
// since it was last emptied, so a blinking cursor or a video elsewhere wakes
// the program once, not at every frame. The region is emptied (and so reports
// afresh) just before a read, whenever something was reported since it was
// last emptied.
//
// Exactness rests on the serials the server stamps on its events: a damage
// event carries the number of the last request of ours the server had done
// when the damage happened, so an event numbered at or after the emptying
// that a kept read was made under tells of damage the read may not hold.
// Any such event that meets a kept block drops it; so does every event not
// yet handled when a read is asked for (it may be damage), the pointer's
// motion, a change of the monitors or of the screen's size, the grab's end,
// and an X error on a damage request (events may then never come). Where
// the server has no DAMAGE every read goes to the server.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

#include "shell/platform/platform.h"

namespace huevex::x11 {

class ReadCache {
 public:
  // The magnifier's block and the picker's pixel: the two reads of a pick.
  static constexpr size_t kKept = 2;

  explicit ReadCache(Display* display) : display_(display) {}
  ~ReadCache() { Stop(); }
  ReadCache(const ReadCache&) = delete;
  ReadCache& operator=(const ReadCache&) = delete;

  // Copies `block` into `out` (rows top first) when a kept read holds it.
  bool Answer(Rect block, std::uint32_t* out);
  // Call before a read that is to be kept: watches the screen from now on,
  // where the server reports damage. False when the read cannot be kept.
  bool Prepare();
  // Keeps the pixels of a read that Prepare allowed.
  void Keep(Rect block, const std::uint32_t* pixels);
  // Drops every kept read (the pointer moved, the monitors changed).
  void Forget() { kept_.clear(); }
  // Stops watching (the grab ended, or the root window changed size and may
  // have a new picture behind it), and drops every kept read.
  void Stop();
  // Takes the damage events: true for them.
  bool Handle(const XEvent& event);

 private:
  // Whether the server reports damage, and what has been reported since the
  // region was last emptied.
  enum class Phase {
    Unknown,  // not asked yet
    Missing,  // no DAMAGE here (or a damage request failed): never keeps a read
    Off,      // no damage object: nothing is watched
    Armed,    // watching; nothing reported since the region was emptied
    Damaged,  // watching; something was: empty the region before the next read
  };
  struct Kept {
    Rect block;
    std::vector<std::uint32_t> pixels;
    unsigned long since = 0;  // the serial of the emptying the read was made under
  };

  bool LookUp();

  Display* display_;
  Phase phase_ = Phase::Unknown;
  int event_base_ = 0;
  int major_opcode_ = 0;
  std::uint64_t errors_ = 0;  // errors on damage requests when watching began
  XID damage_ = 0;
  unsigned long armed_serial_ = 0;
  std::vector<Kept> kept_;  // at most kKept, the oldest first
};

}  // namespace huevex::x11
