// The event loop's timers: each has an absolute deadline on the steady clock,
// moved on by its interval after every tick, so a 1 ms timer ticks close to a
// thousand times a second instead of drifting by the time each tick takes.
// Ticks that came late are made up, one per turn of the loop, while the timer
// is at most a few intervals behind; further behind (the program was stalled)
// it starts again from now instead of making up a burst.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <vector>

#include "shell/platform/platform.h"

namespace huevex::x11 {

class TimerQueue {
 public:
  using Clock = std::chrono::steady_clock;
  // How many intervals behind a timer may be and still make its ticks up.
  static constexpr int kCatchUp = 4;

  TimerId Add(unsigned interval_ms, Clock::time_point now);
  void Remove(TimerId timer);
  bool Empty() const { return timers_.empty(); }
  bool Contains(TimerId timer) const { return timers_.count(timer) == 1; }
  std::optional<Clock::time_point> NextDeadline() const;
  // The next deadline of the timers whose interval is `shortest` or longer.
  std::optional<Clock::time_point> NextDeadline(Clock::duration shortest) const;
  // The timers due at `now`, the most overdue first, each once and rescheduled.
  std::vector<TimerId> TakeDue(Clock::time_point now);

 private:
  struct Entry {
    Clock::duration interval;
    Clock::time_point due;
  };
  std::map<TimerId, Entry> timers_;
  std::uintptr_t next_id_ = 1;
};

}  // namespace huevex::x11
