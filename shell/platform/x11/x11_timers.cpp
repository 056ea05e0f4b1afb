#include "shell/platform/x11/x11_timers.h"

#include <algorithm>

namespace huevex::x11 {

TimerId TimerQueue::Add(unsigned interval_ms, Clock::time_point now) {
  const TimerId id{next_id_++};
  const Clock::duration interval = std::chrono::milliseconds(std::max(1u, interval_ms));
  timers_[id] = {interval, now + interval};
  return id;
}

void TimerQueue::Remove(TimerId timer) { timers_.erase(timer); }

std::optional<TimerQueue::Clock::time_point> TimerQueue::NextDeadline() const {
  if (timers_.empty()) return std::nullopt;
  const auto earliest = std::min_element(
      timers_.begin(), timers_.end(), [](auto& a, auto& b) { return a.second.due < b.second.due; });
  return earliest->second.due;
}

std::optional<TimerId> TimerQueue::PopDue(Clock::time_point now) {
  auto earliest = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due <= now &&
        (earliest == timers_.end() || it->second.due < earliest->second.due)) {
      earliest = it;
    }
  }
  if (earliest == timers_.end()) return std::nullopt;
  Entry& entry = earliest->second;
  entry.due += entry.interval;
  if (entry.due <= now) entry.due = now + entry.interval;
  return earliest->first;
}

}  // namespace huevex::x11
