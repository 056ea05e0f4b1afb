// A source of screen pixels in a Wayland session, behind the module's C table
// (capture_abi.h): the compositor's capture protocol (screencopy.h), the
// desktop portal's screen cast (screencast.h) or its screenshot (portal.h). Each keeps its state
// and the reason for it, in words for the user.
#pragma once

#include <poll.h>
#include <time.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "shell/platform/platform.h"

namespace huevex::wayland {

// Asking: the desktop has not answered yet: a request to the portal is out
// (the desktop may be asking the user), or a stream it started has not sent
// its first picture, each within its deadline. StillAsking: the request is
// out past its deadline; the question may still be up, and a late answer is
// taken.
enum class State { Idle, Waiting, Live, Refused, Failed, Asking, StillAsking };
enum class ReadResult { Ok, NoFrame, Failed };

struct ReadInfo {
  std::int64_t captured_ns = 0;  // CLOCK_MONOTONIC of the oldest frame read
  bool stale = false;
};

class Source {
 public:
  virtual ~Source() = default;
  virtual const char* Kind() const = 0;
  virtual int PollFds(pollfd* fds, int max) = 0;
  virtual int TimeoutMs() = 0;
  virtual void Dispatch() = 0;
  virtual void SetWanted(bool wanted) = 0;
  virtual void SetRootSize(int width, int height) {
    (void)width;
    (void)height;
  }
  // Where the pointer's picture may lie (X root coordinates; empty: nowhere
  // known), for sources whose frames may have it drawn in.
  virtual void SetPointer(Rect area) { (void)area; }
  // Pixels off every output read black; never waits for a frame.
  virtual ReadResult Read(Rect block, std::uint32_t* out, ReadInfo* info) = 0;
  virtual State CurrentState() = 0;
  // Under "auto": this source cannot serve here (missing, refused, or brings
  // no frames), and the desktop portal's screenshot is to take over.
  virtual bool WantsFallback() const { return false; }
  // Why, for the user: empty unless the state is Refused or Failed.
  std::string_view Reason() {
    const State state = CurrentState();
    return state == State::Refused || state == State::Failed ? std::string_view(reason_) : "";
  }

 protected:
  std::string reason_;  // set with the state it explains
};

// A deleter for the C libraries' objects: frees with the library's own call.
template <auto Free>
struct FreeWith {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};

// CLOCK_MONOTONIC now, in nanoseconds: the clock of frame times.
inline std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

}  // namespace huevex::wayland
