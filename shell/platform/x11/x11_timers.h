// The event loop's timers: each has an absolute deadline on the steady clock,
// moved on by its interval after every tick, so a 1 ms timer ticks close to a
// thousand times a second instead of drifting by the time each tick takes. A
// timer that has fallen a whole interval behind starts again from now rather
// than firing a burst to catch up.
#pragma once

#include <chrono>
#include <map>
#include <optional>

#include "shell/platform/platform.h"

namespace huevex::x11 {

class TimerQueue {
 public:
  using Clock = std::chrono::steady_clock;

  TimerId Add(unsigned interval_ms, Clock::time_point now);
  void Remove(TimerId timer);
  bool Empty() const { return timers_.empty(); }
  std::optional<Clock::time_point> NextDeadline() const;
  // The earliest timer due at `now`, rescheduled; none when nothing is due.
  // With `now` held fixed, each timer comes out at most once.
  std::optional<TimerId> PopDue(Clock::time_point now);

 private:
  struct Entry {
    Clock::duration interval;
    Clock::time_point due;
  };
  std::map<TimerId, Entry> timers_;
  std::uintptr_t next_id_ = 1;
};

}  // namespace huevex::x11
