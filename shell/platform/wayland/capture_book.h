// The bookkeeping of one output's captures: two buffers, of which reads use
// the newest finished one (the front) while the compositor writes the next
// capture into the other, so that a read never waits for a capture and never
// sees a half-written frame. It also keeps each frame's capture time, forgets
// the front when the output changes under it, and gives up after a few failed
// captures in a row.
#pragma once

#include <cstdint>

namespace huevex::wayland {

class CaptureBook {
 public:
  static constexpr int kTriesBeforeGivingUp = 3;
  // A compositor's timestamp further back than this is not believed.
  static constexpr std::int64_t kPlausibleAgeNs = 10'000'000'000;

  // The buffer the next capture writes into: never the one reads use.
  int WriteSlot() const { return front_ == 0 ? 1 : 0; }

  // The capture into slot finished. presented_ns is the compositor's time for
  // the frame (0 when it gives none), now_ns the time its answer arrived;
  // both CLOCK_MONOTONIC.
  void Finished(int slot, std::int64_t presented_ns, std::int64_t now_ns) {
    front_ = slot;
    const bool plausible =
        presented_ns > 0 && presented_ns <= now_ns && now_ns - presented_ns <= kPlausibleAgeNs;
    captured_ns_ = plausible ? presented_ns : now_ns;
    failures_ = 0;
  }
  // A capture failed; true while another try is worth making.
  bool Failed() { return ++failures_ < kTriesBeforeGivingUp; }
  // The output changed (size, scale, transform, place) or captures stopped:
  // the front frame no longer shows the screen.
  void Forget() { front_ = -1; }
  // A fresh start (capturing is wanted again).
  void Reset() {
    front_ = -1;
    failures_ = 0;
  }

  bool HasFrame() const { return front_ >= 0; }
  int ReadSlot() const { return front_; }
  std::int64_t CapturedNs() const { return captured_ns_; }
  bool GaveUp() const { return failures_ >= kTriesBeforeGivingUp; }

 private:
  int front_ = -1;
  std::int64_t captured_ns_ = 0;
  int failures_ = 0;
};

}  // namespace huevex::wayland
