// What the desktop portal's sources share on sd-bus: slots that free
// themselves, and a request whose answer comes as a Response signal on an
// object named after our connection and a token of ours. The match is made
// before the call goes out, so an answer cannot slip past.
#pragma once

#include <poll.h>
#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/platform/wayland/stream_frames.h"

namespace huevex::wayland {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalObject = "/org/freedesktop/portal/desktop";
inline constexpr const char* kPortalRequest = "org.freedesktop.portal.Request";

// Frees an sd-bus slot (a pending call or a signal match) on reset.
struct SlotFree {
  void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Slot = std::unique_ptr<sd_bus_slot, SlotFree>;

// The portal's name on the bus, for both sources: watched, so that a portal
// that stops ends what was on its way (`on_change` hears NameOwnerChanged
// for it); and started before anything is called, since calls that reach a
// portal still being started can go unanswered (seen with
// xdg-desktop-portal 1.16). Both false when the call cannot go out.
bool WatchPortalName(sd_bus* bus, Slot* match, sd_bus_message_handler_t on_change, void* data);
bool StartPortalService(sd_bus* bus, Slot* call, sd_bus_message_handler_t on_started, void* data);
// Whether a NameOwnerChanged signal says the portal's name lost its owner.
bool PortalNameLost(sd_bus_message* signal);

// The bus in a poll loop: its descriptor and events (none when it has none),
// the deadline of its calls' replies (CLOCK_MONOTONIC; none when none is
// due), and the handling of whatever has arrived (false when the
// connection failed).
std::optional<pollfd> BusPollFd(sd_bus* bus);
std::optional<std::int64_t> BusDeadlineNs(sd_bus* bus);
bool ProcessBus(sd_bus* bus);

// A new token, unique in this process ("huevex1", "huevex2", ...).
std::string NewToken();

// The object a portal names for token: .../desktop/KIND/SENDER/TOKEN, where
// KIND is "request" or "session". Empty when the bus has no name yet.
std::string PortalPath(sd_bus* bus, const char* kind, const std::string& token);

// One request out to the portal: the token its call names, and the Response
// match on the path the portal will answer on.
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
  bool Out() const { return static_cast<bool>(match_); }
  const std::string& Token() const { return token_; }
  const std::string& Handle() const { return handle_; }

  Slot call;  // the call itself, until its reply

 private:
  Slot match_;
  std::string token_, handle_;
};

// Reads a Response signal's code and walks its results, calling on_result(key,
// message) with the message at each value's variant; on_result reads it or
// returns false to have it skipped. False when the signal is malformed.
template <typename OnResult>
bool ReadResponse(sd_bus_message* signal, std::uint32_t* response, OnResult on_result) {
  if (sd_bus_message_read(signal, "u", response) < 0 ||
      sd_bus_message_enter_container(signal, 'a', "{sv}") < 0) {
    return false;
  }
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

// Whether a PermissionStore Lookup reply (a{sas} v) holds "no" for
// unsandboxed programs (app id ""): the user denied the permission.
bool IsDenied(sd_bus_message* lookup_reply);

}  // namespace huevex::wayland
