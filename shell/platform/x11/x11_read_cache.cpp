#include "shell/platform/x11/x11_read_cache.h"

#include <X11/extensions/Xdamage.h>

#include <algorithm>

#include "shell/platform/soft/library_function.h"
#include "shell/platform/x11/x11_errors.h"

namespace huevex::x11 {
namespace {

// libXdamage, loaded at the first pick's first read, as libXi is at the
// first pointer watch: a program that never picks never maps it. It stays
// loaded, since Xlib keeps its event hooks for the display from then on.
struct XDamage {
  decltype(&XDamageQueryExtension) QueryExtension = nullptr;
  decltype(&XDamageQueryVersion) QueryVersion = nullptr;
  decltype(&XDamageCreate) Create = nullptr;
  decltype(&XDamageDestroy) Destroy = nullptr;
  decltype(&XDamageSubtract) Subtract = nullptr;
};

const XDamage* LoadXDamage() {
  static const XDamage loaded = [] {
    XDamage xd;
    if (void* library = dlopen("libXdamage.so.1", RTLD_NOW | RTLD_LOCAL)) {
      if (!soft::BindFunction(library, "XDamageQueryExtension", xd.QueryExtension) ||
          !soft::BindFunction(library, "XDamageQueryVersion", xd.QueryVersion) ||
          !soft::BindFunction(library, "XDamageCreate", xd.Create) ||
          !soft::BindFunction(library, "XDamageDestroy", xd.Destroy) ||
          !soft::BindFunction(library, "XDamageSubtract", xd.Subtract)) {
        xd = XDamage{};
      }
    }
    return xd;
  }();
  return loaded.Subtract ? &loaded : nullptr;
}

bool Holds(Rect outer, Rect inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

}  // namespace

bool ReadCache::Answer(Rect block, std::uint32_t* out) {
  // An event not handled yet may be damage to the block.
  if (kept_.empty() || XEventsQueued(display_, QueuedAlready) > 0) return false;
  const auto it = std::find_if(kept_.begin(), kept_.end(),
                               [&](const Kept& kept) { return Holds(kept.block, block); });
  if (it == kept_.end()) return false;
  const auto width = static_cast<size_t>(block.Width());
  for (int y = block.top; y < block.bottom; ++y) {
    const auto from = static_cast<size_t>(y - it->block.top) * it->block.Width() +
                      static_cast<size_t>(block.left - it->block.left);
    std::copy_n(it->pixels.data() + from, width, out + (y - block.top) * width);
  }
  return true;
}

bool ReadCache::LookUp() {
  int event = 0, error = 0;
  const XDamage* xd = nullptr;
  if (!XQueryExtension(display_, "DAMAGE", &major_opcode_, &event, &error) ||
      !(xd = LoadXDamage()) || !xd->QueryExtension(display_, &event_base_, &error)) {
    return false;
  }
  // The server takes no other damage request before it is told the version.
  int major = 1, minor = 1;
  return xd->QueryVersion(display_, &major, &minor) && major >= 1;
}

bool ReadCache::Prepare() {
  switch (phase_) {
    case Phase::Unknown:
      phase_ = LookUp() ? Phase::Off : Phase::Missing;
      return Prepare();
    case Phase::Missing:
      return false;
    case Phase::Off:
      // A new damage object reports the whole window as damaged at once;
      // emptied straight away, that report tells of nothing after the read.
      errors_ = ErrorCountOfRequest(major_opcode_);
      damage_ = LoadXDamage()->Create(display_, DefaultRootWindow(display_),
                                      XDamageReportDeltaRectangles);
      [[fallthrough]];
    case Phase::Damaged:
      armed_serial_ = NextRequest(display_);
      LoadXDamage()->Subtract(display_, damage_, None, None);
      break;
    case Phase::Armed:
      break;
  }
  phase_ = Phase::Armed;
  return true;
}

void ReadCache::Keep(Rect block, const std::uint32_t* pixels) {
  // The read's reply came after every request before it was done, so an
  // error on creating or emptying the damage has been counted by now.
  if (ErrorCountOfRequest(major_opcode_) != errors_) {
    Stop();
    phase_ = Phase::Missing;
    return;
  }
  std::erase_if(kept_, [&](const Kept& kept) { return kept.block == block; });
  if (kept_.size() >= kKept) kept_.erase(kept_.begin());
  const auto size = static_cast<size_t>(block.Width()) * block.Height();
  kept_.push_back({block, std::vector<std::uint32_t>(pixels, pixels + size), armed_serial_});
}

void ReadCache::Stop() {
  kept_.clear();
  if (phase_ != Phase::Armed && phase_ != Phase::Damaged) return;
  LoadXDamage()->Destroy(display_, damage_);
  damage_ = 0;
  phase_ = Phase::Off;
}

bool ReadCache::Handle(const XEvent& event) {
  if (phase_ == Phase::Unknown || phase_ == Phase::Missing ||
      event.type != event_base_ + XDamageNotify) {
    return false;
  }
  const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
  if (notify.damage != damage_) return true;  // from a damage object since destroyed
  if (notify.serial >= armed_serial_) phase_ = Phase::Damaged;
  const Rect area{notify.area.x, notify.area.y, notify.area.x + notify.area.width,
                  notify.area.y + notify.area.height};
  std::erase_if(kept_, [&](const Kept& kept) {
    const Rect met = Intersect(kept.block, area);
    return notify.serial >= kept.since && met.Width() > 0 && met.Height() > 0;
  });
  return true;
}

}  // namespace huevex::x11
