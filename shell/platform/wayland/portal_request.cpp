#include "shell/platform/wayland/portal_request.h"

#include <algorithm>
#include <cstdlib>

namespace huevex::wayland {
namespace {

// A string list sd-bus allocated: each string, then the list.
struct StrvFree {
  void operator()(char** list) const {
    for (char** v = list; *v; ++v) free(*v);
    free(list);
  }
};

}  // namespace

CallError ClassOf(const sd_bus_error* error) {
  if (sd_bus_error_has_names(error, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER,
                             SD_BUS_ERROR_NO_REPLY, SD_BUS_ERROR_TIMEOUT)) {
    return CallError::NotRunning;
  }
  if (sd_bus_error_has_names(error, SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                             SD_BUS_ERROR_UNKNOWN_PROPERTY, SD_BUS_ERROR_UNKNOWN_OBJECT)) {
    return CallError::Missing;
  }
  return CallError::Other;
}

bool PortalName::Watch(sd_bus* bus, Listener* listener) {
  bus_ = bus;
  listener_ = listener;
  sd_bus_slot* slot = nullptr;
  const int r = sd_bus_add_match_async(
      bus, &slot,
      "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
      "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
      "arg0='org.freedesktop.portal.Desktop'",
      OnOwnerChanged, nullptr, this);
  match_.reset(slot);
  return r >= 0 && Start();
}

bool PortalName::Start() {
  if (phase_ != Phase::Stopped) return true;
  sd_bus_slot* slot = nullptr;
  const int r = sd_bus_call_method_async(
      bus_, &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "StartServiceByName", OnStarted, this, "su", kPortalService, 0u);
  start_call_.reset(slot);
  phase_ = Phase::Starting;
  return r >= 0 && sd_bus_flush(bus_) >= 0;
}

int PortalName::OnStarted(sd_bus_message*, void* data, sd_bus_error*) {
  auto* self = static_cast<PortalName*>(data);
  self->start_call_.reset();
  // Whatever the answer (a portal that runs without being activatable is
  // refused here), the calls themselves tell whether the portal is there.
  self->phase_ = Phase::Running;
  self->listener_->PortalStarted();
  return 0;
}

int PortalName::OnOwnerChanged(sd_bus_message* signal, void* data, sd_bus_error*) {
  auto* self = static_cast<PortalName*>(data);
  const char *name = nullptr, *old_owner = nullptr, *new_owner = nullptr;
  if (sd_bus_message_read(signal, "sss", &name, &old_owner, &new_owner) < 0 || !new_owner ||
      *new_owner) {
    return 0;
  }
  // Gone: a later Start starts it again (one on its way still answers).
  if (self->phase_ == Phase::Running) self->phase_ = Phase::Stopped;
  self->listener_->PortalLost();
  return 0;
}

int PutBusPollFd(sd_bus* bus, pollfd* fds, int max) {
  const int events = sd_bus_get_events(bus);
  if (events < 0 || max < 1) return 0;
  fds[0] = {sd_bus_get_fd(bus), static_cast<short>(events), 0};
  return 1;
}

std::optional<std::int64_t> BusDeadlineNs(sd_bus* bus) {
  std::uint64_t usec = 0;
  if (sd_bus_get_timeout(bus, &usec) <= 0 || usec == UINT64_MAX) return std::nullopt;
  return static_cast<std::int64_t>(usec) * 1000;
}

bool ProcessBus(sd_bus* bus) {
  for (;;) {
    const int r = sd_bus_process(bus, nullptr);
    if (r < 0) return false;
    if (r == 0) return true;
  }
}

std::string NewToken() {
  static unsigned count = 0;
  return "huevex" + std::to_string(++count);
}

std::string PortalPath(sd_bus* bus, const char* kind, const std::string& token) {
  const char* unique = nullptr;
  if (sd_bus_get_unique_name(bus, &unique) < 0 || !unique || !*unique) return "";
  std::string sender = unique + 1;  // without the ':'
  std::replace(sender.begin(), sender.end(), '.', '_');
  return std::string(kPortalObject) + "/" + kind + "/" + sender + "/" + token;
}

bool PortalRequest::Subscribe(sd_bus* bus, sd_bus_message_handler_t on_response, void* data) {
  Reset();
  token_ = NewToken();
  handle_ = PortalPath(bus, "request", token_);
  if (handle_.empty()) return false;
  sd_bus_slot* slot = nullptr;
  const int r = sd_bus_match_signal_async(bus, &slot, nullptr, handle_.c_str(), kPortalRequest,
                                          "Response", on_response, nullptr, data);
  match_.reset(slot);
  return r >= 0;
}

bool PortalRequest::Follow(sd_bus* bus, sd_bus_message* reply, sd_bus_message_handler_t on_response,
                           void* data) {
  const char* handle = nullptr;
  if (sd_bus_message_read(reply, "o", &handle) < 0 || !handle || handle_ == handle) return true;
  handle_ = handle;
  sd_bus_slot* slot = nullptr;
  const int r = sd_bus_match_signal_async(bus, &slot, nullptr, handle, kPortalRequest, "Response",
                                          on_response, nullptr, data);
  match_.reset(slot);
  return r >= 0;
}

void PortalRequest::Withdraw(sd_bus* bus) {
  if (Out() && !handle_.empty()) {
    sd_bus_call_method_async(bus, nullptr, kPortalService, handle_.c_str(), kPortalRequest, "Close",
                             nullptr, nullptr, "");
  }
  Reset();
}

void CloseSession(sd_bus* bus, const std::string& session) {
  sd_bus_call_method_async(bus, nullptr, kPortalService, session.c_str(), kSession, "Close",
                           nullptr, nullptr, "");
}

std::optional<std::string> ReadStringVariant(sd_bus_message* message) {
  char type = 0;
  const char* contents = nullptr;
  if (sd_bus_message_peek_type(message, &type, &contents) < 0 || type != 'v' || !contents) {
    return std::nullopt;
  }
  const char* value = nullptr;
  if ((contents[0] != 's' && contents[0] != 'o') || contents[1] != '\0' ||
      sd_bus_message_read(message, "v", contents, &value) < 0 || !value) {
    return std::nullopt;
  }
  return std::string(value);
}

std::optional<std::vector<StreamPlace>> ReadStreamPlaces(sd_bus_message* m) {
  std::vector<StreamPlace> places;
  if (sd_bus_message_enter_container(m, 'v', "a(ua{sv})") < 0 ||
      sd_bus_message_enter_container(m, 'a', "(ua{sv})") < 0) {
    return std::nullopt;
  }
  while (sd_bus_message_enter_container(m, 'r', "ua{sv}") > 0) {
    StreamPlace place;
    std::int32_t x = 0, y = 0, w = 0, h = 0;
    if (sd_bus_message_read(m, "u", &place.node) < 0 ||
        sd_bus_message_enter_container(m, 'a', "{sv}") < 0) {
      return std::nullopt;
    }
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
      const char* name = nullptr;
      if (sd_bus_message_read(m, "s", &name) < 0 || !name) return std::nullopt;
      const std::string_view n = name;
      int r = 0;
      if (n == "position") {
        r = sd_bus_message_read(m, "v", "(ii)", &x, &y);
      } else if (n == "size") {
        r = sd_bus_message_read(m, "v", "(ii)", &w, &h);
      } else {
        r = sd_bus_message_skip(m, "v");
      }
      if (r < 0 || sd_bus_message_exit_container(m) < 0) return std::nullopt;
    }
    if (sd_bus_message_exit_container(m) < 0 || sd_bus_message_exit_container(m) < 0) {
      return std::nullopt;
    }
    if (w > 0 && h > 0) place.logical = {x, y, x + w, y + h};
    places.push_back(place);
  }
  if (sd_bus_message_exit_container(m) < 0 || sd_bus_message_exit_container(m) < 0) {
    return std::nullopt;
  }
  return places;
}

bool IsDenied(sd_bus_message* m) {
  bool denied = false;
  if (sd_bus_message_enter_container(m, 'a', "{sas}") < 0) return false;
  while (sd_bus_message_enter_container(m, 'e', "sas") > 0) {
    const char* app = nullptr;
    char** read = nullptr;
    if (sd_bus_message_read(m, "s", &app) < 0 || !app || sd_bus_message_read_strv(m, &read) < 0) {
      return false;
    }
    const std::unique_ptr<char*[], StrvFree> list(read);
    if (!*app && list && list[0]) denied = std::string_view(list[0]) == "no";
    if (sd_bus_message_exit_container(m) < 0) return false;
  }
  return denied;
}

}  // namespace huevex::wayland
