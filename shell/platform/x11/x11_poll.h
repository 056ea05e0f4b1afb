// What the loop sleeps on: the X connection, any other connection it is
// asked to watch (a D-Bus connection, say), and a source whose descriptors,
// events and deadline change from one wait to the next (the screen capture
// module), polled together until one can be read or the next timer is due. A
// watched fd's callback runs when the fd can be read, or has been closed at
// the other end, and must take in what is there, or it runs again at once.
#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace huevex::x11 {

// A connection that says before every wait what to wait for.
class Pollable {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~Pollable() = default;
  // The descriptors and their events, written into fds (at most max); how many.
  virtual int PollFds(pollfd* fds, int max) = 0;
  // When Dispatch must run even if nothing arrives; none when there is no such time.
  virtual std::optional<Clock::time_point> Deadline() = 0;
  // One of its descriptors is ready, or its deadline has passed. Never blocks.
  virtual void Dispatch() = 0;
};

class PollSet {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kMaxPollableFds = 4;

  explicit PollSet(int x_connection);

  // Watching an fd again replaces its callback; Unwatch before closing it. A
  // callback may watch and unwatch, itself included.
  void Watch(int fd, std::function<void()> on_readable);
  void Unwatch(int fd);
  // A source whose set changes (null: none). It must outlive the set or be
  // detached first.
  void Attach(Pollable* pollable);
  void Detach(Pollable* pollable) { std::erase(pollables_, pollable); }
  bool Watching() const { return !watches_.empty() || !pollables_.empty(); }

  // Sleeps until the X connection, a watched fd or an attached source's fds
  // can be read, or until the deadline or a source's own (without either,
  // for as long as it takes), then runs the callbacks of the watched fds that
  // can be read and dispatches each source that is due. A deadline that has
  // passed makes it only a look at the other connections.
  void Wait(std::optional<Clock::time_point> deadline);

 private:
  std::map<int, std::function<void()>> watches_;
  std::vector<pollfd> fds_;  // the X connection, then the watched fds
  std::vector<pollfd> all_;  // those, then the sources', for one wait
  std::vector<Pollable*> pollables_;
  // For one wait: each source's descriptors in all_ and its deadline, and the
  // sources asked (kept, so that the 1 ms ticks allocate nothing).
  struct Theirs {
    size_t from, count;
    std::optional<Clock::time_point> due;
  };
  std::vector<Theirs> theirs_;
  std::vector<Pollable*> asked_;
};

}  // namespace huevex::x11
