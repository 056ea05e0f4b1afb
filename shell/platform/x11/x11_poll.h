// What the loop sleeps on: the X connection and any other connection it is
// asked to watch (a Wayland or D-Bus connection), polled together until one
// can be read or the next timer is due. A watched fd's callback runs when the
// fd can be read, or has been closed at the other end, and must take in what
// is there, or it runs again at once.
#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace huevex::x11 {

class PollSet {
 public:
  using Clock = std::chrono::steady_clock;

  explicit PollSet(int x_connection);

  // Watching an fd again replaces its callback; Unwatch before closing it. A
  // callback may watch and unwatch, itself included.
  void Watch(int fd, std::function<void()> on_readable);
  void Unwatch(int fd);
  bool Watching() const { return !watches_.empty(); }

  // Sleeps until the X connection or a watched fd can be read, or until the
  // deadline (without one, for as long as it takes), then runs the callbacks
  // of the watched fds that can be read. A deadline that has passed makes it
  // only a look at the watched fds.
  void Wait(std::optional<Clock::time_point> deadline);

 private:
  std::map<int, std::function<void()>> watches_;
  std::vector<pollfd> fds_;  // the X connection, then the watched fds
};

}  // namespace huevex::x11
