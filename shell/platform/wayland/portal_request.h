// What every desktop portal interface we use (the screenshot, the screen
// cast, the global shortcut) needs on sd-bus: owners for the connection and its slots; the
// portal's name, watched and started; a request whose answer comes as a
// Response signal on an object named after our connection and a token of
// ours, with the wait for it; the codes of that answer, the classes of the
// errors a call can get, and the words the user is told for them.
#pragma once

#include <poll.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/platform/wayland/source.h"
#include "shell/platform/wayland/stream_frames.h"

namespace huevex::wayland {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalObject = "/org/freedesktop/portal/desktop";
inline constexpr const char* kPortalRequest = "org.freedesktop.portal.Request";
inline constexpr const char* kSession = "org.freedesktop.portal.Session";

// The reasons every portal source may give the user.
inline constexpr const char* kNoBus = "the desktop session's message bus could not be reached";
inline constexpr const char* kBusGone =
    "the connection to the desktop session's message bus was lost";
inline constexpr const char* kNoPortal = "the desktop portal is not running";
inline constexpr const char* kRefused = "the desktop portal refused to share the screen";
inline constexpr const char* kPortalGone = "the desktop portal stopped before it answered";

// Owners: our connection to the session bus (what is queued goes out
// before it closes; every slot on it is to go first), messages, and slots
// (pending calls and signal matches).
using Bus = std::unique_ptr<sd_bus, FreeWith<sd_bus_flush_close_unref>>;
using Message = std::unique_ptr<sd_bus_message, FreeWith<sd_bus_message_unref>>;
using Slot = std::unique_ptr<sd_bus_slot, FreeWith<sd_bus_slot_unref>>;

// What a failed call says of the portal: that it is not there (not running
// or not answering), that it lacks the interface or the method, or neither.
enum class CallError { NotRunning, Missing, Other };
CallError ClassOf(const sd_bus_error* error);

// The portal's name on the bus: watched, so that a portal that stops ends
// what was on its way, and started before anything is called, since calls
// that reach a portal still being started can go unanswered (seen with
// xdg-desktop-portal 1.16).
class PortalName {
 public:
  class Listener {
   public:
    virtual void PortalStarted() = 0;  // it runs: calls may go out
    virtual void PortalLost() = 0;     // its name lost its owner
   protected:
    ~Listener() = default;
  };
  // Watches the name and starts the portal; false when the bus fails.
  bool Watch(sd_bus* bus, Listener* listener);
  // Starts it again unless it runs or is being started; false when the bus
  // fails.
  bool Start();
  // A call found no portal after all: the next Start asks the bus again.
  void Stopped() { phase_ = Phase::Stopped; }
  bool Running() const { return phase_ == Phase::Running; }

 private:
  enum class Phase { Stopped, Starting, Running };
  static int OnStarted(sd_bus_message* reply, void* data, sd_bus_error*);
  static int OnOwnerChanged(sd_bus_message* signal, void* data, sd_bus_error*);

  sd_bus* bus_ = nullptr;
  Listener* listener_ = nullptr;
  Slot match_, start_call_;
  Phase phase_ = Phase::Stopped;
};

// The bus in a poll loop: its descriptor and events put into fds (how many:
// none when it has none or there is no room), the deadline of its calls'
// replies (CLOCK_MONOTONIC; none when none is due), and the handling of
// whatever has arrived (false when the connection failed).
int PutBusPollFd(sd_bus* bus, pollfd* fds, int max);
std::optional<std::int64_t> BusDeadlineNs(sd_bus* bus);
bool ProcessBus(sd_bus* bus);

// The earliest of a source's deadlines (CLOCK_MONOTONIC) as poll's timeout:
// whole milliseconds, rounded up so that the wake never comes early; -1
// when there is none.
struct NextWake {
  std::int64_t now_ns;
  std::int64_t in_ns = INT64_MAX;
  void At(std::optional<std::int64_t> when_ns) {
    if (when_ns) in_ns = std::min(in_ns, std::max<std::int64_t>(*when_ns - now_ns, 0));
  }
  int Ms() const {
    return in_ns == INT64_MAX ? -1 : static_cast<int>((in_ns + 999'999) / 1'000'000);
  }
};

// A new token, unique in this process ("huevex1", "huevex2", ...).
std::string NewToken();

// The object a portal names for token: .../desktop/KIND/SENDER/TOKEN, where
// KIND is "request" or "session". Empty when the bus has no name yet.
std::string PortalPath(sd_bus* bus, const char* kind, const std::string& token);

// One request out to the portal: the token its call names, and the Response
// match on the path the portal will answer on, made before the call goes
// out so that an answer cannot slip past.
class PortalRequest {
 public:
  // A new token and the match for it; false when the bus fails.
  bool Subscribe(sd_bus* bus, sd_bus_message_handler_t on_response, void* data);
  // After the call's reply: portals older than handle_token answer on a path
  // of their own, named in the reply. False when the bus fails.
  bool Follow(sd_bus* bus, sd_bus_message* reply, sd_bus_message_handler_t on_response, void* data);
  void Reset() {
    call.reset();
    match_.reset();
    token_.clear();
    handle_.clear();
  }
  // Ends a request still out, the desktop's dialog with it.
  void Withdraw(sd_bus* bus);
  bool Out() const { return static_cast<bool>(match_); }
  const std::string& Token() const { return token_; }
  const std::string& Handle() const { return handle_; }

  Slot call;  // the call itself, until its reply

 private:
  Slot match_;
  std::string token_, handle_;
};

// Closes a session of the portal's, and what it shows (a "screen is shared"
// sign): no answer is awaited.
void CloseSession(sd_bus* bus, const std::string& session);

// Sends a request, a call of method on the portal's interface: args(m)
// appends what comes before its options, more(m) options of its own after
// our handle token (both return sd-bus's code). The call's reply goes to
// on_reply, the answer to on_response. False when the bus fails.
template <typename Args, typename More>
bool SendRequest(sd_bus* bus, PortalRequest* request, const char* interface, const char* method,
                 Args args, More more, sd_bus_message_handler_t on_reply,
                 sd_bus_message_handler_t on_response, void* data) {
  sd_bus_message* m = nullptr;
  if (!request->Subscribe(bus, on_response, data) ||
      sd_bus_message_new_method_call(bus, &m, kPortalService, kPortalObject, interface, method) <
          0) {
    return false;
  }
  const Message owned(m);
  int r = args(m);
  if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
  if (r >= 0) r = sd_bus_message_append(m, "{sv}", "handle_token", "s", request->Token().c_str());
  if (r >= 0) r = more(m);
  if (r >= 0) r = sd_bus_message_close_container(m);
  sd_bus_slot* slot = nullptr;
  if (r >= 0) r = sd_bus_call_async(bus, &slot, m, on_reply, data, 0);
  request->call.reset(slot);
  return r >= 0 && sd_bus_flush(bus) >= 0;
}

// The wait for a request's answer, from when it was asked for
// (CLOCK_MONOTONIC). Past it the request is late: it stays out, since
// closing it would take the desktop's question away, and its answer is
// still taken.
inline constexpr std::uint32_t kDefaultPortalTimeoutMs = 25'000;  // xdg-desktop-portal's own
class AnswerWait {
 public:
  // timeout_ms 0: the default.
  explicit AnswerWait(std::uint32_t timeout_ms)
      : wait_ns_(std::int64_t{timeout_ms ? timeout_ms : kDefaultPortalTimeoutMs} * 1'000'000) {}
  void Start(std::int64_t now_ns) {
    start_ns_ = now_ns;
    late_ = false;
  }
  // Marks the answer late once the wait is over.
  void Check(std::int64_t now_ns) { late_ = late_ || now_ns - start_ns_ >= wait_ns_; }
  bool Late() const { return late_; }
  std::int64_t StartNs() const { return start_ns_; }
  // When the wait is over; none once it is.
  std::optional<std::int64_t> EndNs() const {
    return late_ ? std::nullopt : std::optional(start_ns_ + wait_ns_);
  }

 private:
  std::int64_t wait_ns_;
  std::int64_t start_ns_ = 0;
  bool late_ = false;
};

// A Response signal's code: the request was granted, the user cancelled it,
// or it ended otherwise.
enum class Response : std::uint32_t { Success = 0, Cancelled = 1, Other = 2 };

// Reads a Response signal's code and walks its results, calling on_result(key,
// message) with the message at each value's variant; on_result reads it or
// returns false to have it skipped. False when the signal is malformed.
template <typename OnResult>
bool ReadResponse(sd_bus_message* signal, Response* response, OnResult on_result) {
  std::uint32_t code = 0;
  if (sd_bus_message_read(signal, "u", &code) < 0 ||
      sd_bus_message_enter_container(signal, 'a', "{sv}") < 0) {
    return false;
  }
  *response = static_cast<Response>(code);
  while (sd_bus_message_enter_container(signal, 'e', "sv") > 0) {
    const char* key = nullptr;
    if (sd_bus_message_read(signal, "s", &key) < 0 || !key) return false;
    if (!on_result(std::string_view(key), signal) && sd_bus_message_skip(signal, "v") < 0) {
      return false;
    }
    if (sd_bus_message_exit_container(signal) < 0) return false;
  }
  return true;
}

// A string result ('s' or 'o' in its variant), for ReadResponse.
std::optional<std::string> ReadStringVariant(sd_bus_message* message);

// The screen cast's "streams" result, a(ua{sv}): each stream's node, and its
// place from "position" and "size"; for ReadResponse. None when malformed.
std::optional<std::vector<StreamPlace>> ReadStreamPlaces(sd_bus_message* message);

// A portal client of type S (made from its bus and args, then started with
// Start) on a connection of its own to the session bus; null, with why,
// when the bus cannot be had.
template <typename S, typename... Args>
std::unique_ptr<S> OpenOnSessionBus(std::string* why, Args... args) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) {
    *why = kNoBus;
    return nullptr;
  }
  auto source = std::make_unique<S>(Bus(bus), args...);
  if (!source->Start()) {
    *why = kBusGone;
    return nullptr;
  }
  return source;
}

// Whether a PermissionStore Lookup reply (a{sas} v) holds "no" for
// unsandboxed programs (app id ""): the user denied the permission.
bool IsDenied(sd_bus_message* lookup_reply);

}  // namespace huevex::wayland
