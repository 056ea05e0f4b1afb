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
  timespec timeout{};
  if (deadline) {
    const auto left = *deadline - Clock::now();
    if (left <= Clock::duration::zero() && watches_.empty()) return;
    const std::int64_t ns = std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
    timeout = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  }
  if (ppoll(fds_.data(), fds_.size(), deadline ? &timeout : nullptr, nullptr) <= 0) return;
  std::vector<int> readable, closed;
  for (size_t i = 1; i < fds_.size(); ++i) {
    if (fds_[i].revents & POLLNVAL) {
      closed.push_back(fds_[i].fd);  // closed while watched: nothing can come from it
    } else if (fds_[i].revents & (POLLIN | POLLHUP | POLLERR)) {
      readable.push_back(fds_[i].fd);
    }
  }
  for (const int fd : closed) Unwatch(fd);
  for (const int fd : readable) {
    const auto it = watches_.find(fd);
    if (it == watches_.end()) continue;                    // an earlier callback unwatched it
    const std::function<void()> on_readable = it->second;  // it may unwatch itself
    on_readable();
  }
}

}  // namespace huevex::x11
