// The stand-in portal's GlobalShortcuts (see fake_portal.cpp). "keys" binds
// what is asked for, then sends Activated for it twice, once for another
// shortcut and once for another session; "keys-refuse" answers the bind 1;
// "keys-unbound" 0 with nothing bound, as KDE Plasma 5.27 does;
// "keys-kept" lists ours as kept from an earlier run (and then sends the
// presses as "keys" does). Prints "session KEY=VALUE", "list",
// "bind ID KEY=VALUE..." and "session-close".
#include <systemd/sd-bus.h>

#include <cstdio>
#include <string>

std::string PathOf(sd_bus_message* call, const char* kind, const std::string& token);
sd_bus_message* NewResponse(sd_bus* bus, const std::string& handle, unsigned code);
std::string ReadPortalOptions(sd_bus_message* call, std::string* token);
void ServePortalSession(sd_bus* bus, const std::string& path);

namespace {

std::string keys_mode;

int OnCall(sd_bus_message* call, void*, sd_bus_error*) {
  sd_bus* bus = sd_bus_message_get_bus(call);
  const std::string method = sd_bus_message_get_member(call);
  std::string token, id = "?", said;
  const char* session = nullptr;
  if (method == "BindShortcuts" || method == "ListShortcuts") {
    sd_bus_message_read(call, "o", &session);
  }
  if (method == "BindShortcuts") {
    sd_bus_message_enter_container(call, 'a', "(sa{sv})");
    while (sd_bus_message_enter_container(call, 'r', "sa{sv}") > 0) {
      const char* name = nullptr;
      sd_bus_message_read(call, "s", &name);
      id = name;
      said = ReadPortalOptions(call, &token);
      sd_bus_message_exit_container(call);
    }
    sd_bus_message_exit_container(call);
    sd_bus_message_skip(call, "s");
  }
  const std::string options = ReadPortalOptions(call, &token);
  const std::string handle = PathOf(call, "request", token);
  sd_bus_reply_method_return(call, "o", handle.c_str());
  const bool refuse = method == "BindShortcuts" && keys_mode == "keys-refuse";
  sd_bus_message* signal = NewResponse(bus, handle, refuse ? 1 : 0);
  if (method == "CreateSession") {
    const std::string path = PathOf(call, "session", "s" + token);
    std::printf("session%s\n", options.c_str());
    ServePortalSession(bus, path);
    sd_bus_message_append(signal, "a{sv}", 1, "session_handle", "s", path.c_str());
  } else if (method == "ListShortcuts") {
    std::printf("list\n");
    id = "pick";
    const bool kept = keys_mode == "keys-kept";
    sd_bus_message_append(signal, "a{sv}", 1, "shortcuts", "a(sa{sv})", kept ? 1 : 0, "pick", 1,
                          "trigger_description", "s", "Meta+Alt+C");
  } else {
    std::printf("bind %s%s\n", id.c_str(), said.c_str());
    const bool bound = keys_mode == "keys";
    sd_bus_message_append(signal, "a{sv}", refuse ? 0 : 1, "shortcuts", "a(sa{sv})", bound ? 1 : 0,
                          id.c_str(), 1, "trigger_description", "s", "Meta+Alt+C");
  }
  std::fflush(stdout);
  sd_bus_send(bus, signal, nullptr);
  sd_bus_message_unref(signal);
  const bool ready = (method == "BindShortcuts" && keys_mode == "keys") ||
                     (method == "ListShortcuts" && keys_mode == "keys-kept");
  if (ready) {
    const char* other = "/org/freedesktop/portal/desktop/session/1_1/another";
    for (const auto& [to, name] : {std::pair{session, id.c_str()},
                                   {session, "another"},
                                   {other, id.c_str()},
                                   {session, id.c_str()}}) {
      sd_bus_emit_signal(bus, "/org/freedesktop/portal/desktop",
                         "org.freedesktop.portal.GlobalShortcuts", "Activated", "osta{sv}", to,
                         name, std::uint64_t{1}, 0);
    }
  }
  return 1;
}

int GetVersion(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
               sd_bus_error*) {
  return sd_bus_message_append(reply, "u", 1u);
}

const sd_bus_vtable kShortcutsVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("CreateSession", "a{sv}", "o", OnCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("BindShortcuts", "oa(sa{sv})sa{sv}", "o", OnCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ListShortcuts", "oa{sv}", "o", OnCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("version", "u", GetVersion, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

}  // namespace

bool AddShortcuts(sd_bus* bus, const std::string& mode) {
  keys_mode = mode;
  return sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/portal/desktop",
                                  "org.freedesktop.portal.GlobalShortcuts", kShortcutsVtable,
                                  nullptr) >= 0;
}
