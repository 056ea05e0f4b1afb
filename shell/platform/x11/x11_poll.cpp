#include "shell/platform/x11/x11_poll.h"

#include <algorithm>
#include <cstdint>

namespace huevex::x11 {

PollSet::PollSet(int x_connection) : fds_{pollfd{x_connection, POLLIN, 0}} {}

void PollSet::Watch(int fd, std::function<void()> on_readable) {
  if (!watches_.contains(fd)) fds_.push_back(pollfd{fd, POLLIN, 0});
  watches_[fd] = std::move(on_readable);
}

void PollSet::Unwatch(int fd) {
  if (watches_.erase(fd) == 0) return;
  std::erase_if(fds_, [fd](const pollfd& entry) { return entry.fd == fd; });
}

void PollSet::Wait(std::optional<Clock::time_point> deadline) {
  all_.assign(fds_.begin(), fds_.end());
  std::optional<Clock::time_point> due;
  if (pollable_) {
    // Asked afresh before every wait: the set, the events and the deadline change.
    pollfd theirs[kMaxPollableFds];
    const int n = std::clamp(pollable_->PollFds(theirs, kMaxPollableFds), 0, kMaxPollableFds);
    for (int i = 0; i < n; ++i) all_.push_back({theirs[i].fd, theirs[i].events, 0});
    due = pollable_->Deadline();
    if (due && (!deadline || *due < *deadline)) deadline = due;
  }
  timespec timeout{};
  if (deadline) {
    const auto left = *deadline - Clock::now();
    if (left <= Clock::duration::zero() && all_.size() == 1 && !due) return;
    const std::int64_t ns = std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
    timeout = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  }
  const int ready = ppoll(all_.data(), all_.size(), deadline ? &timeout : nullptr, nullptr);
  std::vector<int> readable, closed;
  bool pollable_ready = false;
  for (size_t i = 1; ready > 0 && i < all_.size(); ++i) {
    const bool theirs = i >= fds_.size();
    if (theirs) {
      pollable_ready = pollable_ready || all_[i].revents != 0;
    } else if (all_[i].revents & POLLNVAL) {
      closed.push_back(all_[i].fd);  // closed while watched: nothing can come from it
    } else if (all_[i].revents & (POLLIN | POLLHUP | POLLERR)) {
      readable.push_back(all_[i].fd);
    }
  }
  for (const int fd : closed) Unwatch(fd);
  for (const int fd : readable) {
    const auto it = watches_.find(fd);
    if (it == watches_.end()) continue;                    // an earlier callback unwatched it
    const std::function<void()> on_readable = it->second;  // it may unwatch itself
    on_readable();
  }
  if (pollable_ && (pollable_ready || (due && Clock::now() >= *due))) pollable_->Dispatch();
}

}  // namespace huevex::x11
