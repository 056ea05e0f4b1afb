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

void PollSet::Attach(Pollable* pollable) {
  if (pollable && std::find(pollables_.begin(), pollables_.end(), pollable) == pollables_.end()) {
    pollables_.push_back(pollable);
  }
}

void PollSet::Wait(std::optional<Clock::time_point> deadline) {
  all_.assign(fds_.begin(), fds_.end());
  // Asked afresh before every wait: the set, the events and the deadline change.
  theirs_.clear();
  asked_ = pollables_;
  bool any_due = false;
  for (Pollable* pollable : asked_) {
    pollfd fds[kMaxPollableFds];
    const int n = std::clamp(pollable->PollFds(fds, kMaxPollableFds), 0, kMaxPollableFds);
    theirs_.push_back({all_.size(), static_cast<size_t>(n), pollable->Deadline()});
    for (int i = 0; i < n; ++i) all_.push_back({fds[i].fd, fds[i].events, 0});
    if (const auto due = theirs_.back().due) {
      any_due = true;
      if (!deadline || *due < *deadline) deadline = due;
    }
  }
  timespec timeout{};
  if (deadline) {
    const auto left = *deadline - Clock::now();
    if (left <= Clock::duration::zero() && all_.size() == 1 && !any_due) return;
    const std::int64_t ns = std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
    timeout = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  }
  const int ready = ppoll(all_.data(), all_.size(), deadline ? &timeout : nullptr, nullptr);
  // Taken out of the members first: a callback or a dispatch may run the
  // loop again (a message box), which reuses them.
  std::vector<int> readable, closed;
  std::vector<Pollable*> go;
  for (size_t i = 1; ready > 0 && i < fds_.size(); ++i) {
    if (all_[i].revents & POLLNVAL) {
      closed.push_back(all_[i].fd);  // closed while watched: nothing can come from it
    } else if (all_[i].revents & (POLLIN | POLLHUP | POLLERR)) {
      readable.push_back(all_[i].fd);
    }
  }
  for (size_t s = 0; s < asked_.size(); ++s) {
    bool ready_or_due = theirs_[s].due && Clock::now() >= *theirs_[s].due;
    for (size_t i = theirs_[s].from; ready > 0 && i < theirs_[s].from + theirs_[s].count; ++i) {
      ready_or_due = ready_or_due || all_[i].revents != 0;
    }
    if (ready_or_due) go.push_back(asked_[s]);
  }
  for (const int fd : closed) Unwatch(fd);
  for (const int fd : readable) {
    const auto it = watches_.find(fd);
    if (it == watches_.end()) continue;                    // an earlier callback unwatched it
    const std::function<void()> on_readable = it->second;  // it may unwatch itself
    on_readable();
  }
  // Only those still attached: a callback or an earlier dispatch may have
  // detached one.
  for (Pollable* pollable : go) {
    if (std::find(pollables_.begin(), pollables_.end(), pollable) != pollables_.end()) {
      pollable->Dispatch();
    }
  }
}

}  // namespace huevex::x11
