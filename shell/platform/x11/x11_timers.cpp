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

std::optional<TimerQueue::Clock::time_point> TimerQueue::NextDeadline(
    Clock::duration shortest) const {
  std::optional<Clock::time_point> next;
  for (const auto& [id, entry] : timers_) {
    if (entry.interval >= shortest && (!next || entry.due < *next)) next = entry.due;
  }
  return next;
}

std::vector<TimerId> TimerQueue::TakeDue(Clock::time_point now) {
  std::vector<std::pair<Clock::time_point, TimerId>> due;
  for (const auto& [id, entry] : timers_) {
    if (entry.due <= now) due.emplace_back(entry.due, id);
  }
  std::sort(due.begin(), due.end());
  std::vector<TimerId> out;
  for (const auto& [when, id] : due) {
    Entry& entry = timers_[id];
    entry.due += entry.interval;
    if (entry.due + kCatchUp * entry.interval <= now) entry.due = now + entry.interval;
    out.push_back(id);
  }
  return out;
}

}  // namespace huevex::x11
