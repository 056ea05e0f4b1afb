// A stand-in for the desktop portal's Screenshot interface on the session
// bus, answering as a test asks, so that the capture module's portal source
// can be tried against answers real portals give rarely or never on demand.
//
//   huevex_fake_portal MODE DIR
//
//   ok             answers each request at once with a new PNG file in DIR
//   late:MS        the first request at once, later ones after MS ms
//   old-file       answers with DIR/user.png, a file older than the request
//   refuse         answers 1 (the user said no)
//   fail           answers 2
//   deny           answers 2, and the permission store says the user denied
//   slow:MS        answers each request after MS ms
//   never          never answers; logs the request's Close
//   vanish         leaves the bus without answering
//   no-screenshot  owns the portal's name without the Screenshot interface
//   cast, cast-refuse, cast-silent, cast-slow:MS, cast-unfilled, cast-closed
//                  screenshots as "ok", and a ScreenCast (fake_screencast.cpp)
//   keys, keys-refuse, keys-unbound
//                  screenshots as "ok", and GlobalShortcuts (fake_shortcuts.cpp)
//
// Prints "ready" once it owns the name, and one line per request and Close.
// The pictures are 4 x 2: red, green, blue, white on top, then a gray that
// grows with the request's number.
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

bool AddScreencast(sd_bus* bus, const std::string& mode);
bool AddShortcuts(sd_bus* bus, const std::string& mode);
void SendHeldAnswer(sd_bus* bus);

// What the ScreenCast (fake_screencast.cpp) shares: the time, the path a
// portal names for a caller's token (KIND "request" or "session"), and a
// request's Response signal with its code, for the results to follow.
long long NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000LL + t.tv_nsec / 1'000'000;
}

std::string PathOf(sd_bus_message* call, const char* kind, const std::string& token) {
  std::string sender = sd_bus_message_get_sender(call) + 1;
  std::replace(sender.begin(), sender.end(), '.', '_');
  return std::string("/org/freedesktop/portal/desktop/") + kind + "/" + sender + "/" + token;
}

sd_bus_message* NewResponse(sd_bus* bus, const std::string& handle, unsigned code) {
  sd_bus_message* signal = nullptr;
  sd_bus_message_new_signal(bus, &signal, handle.c_str(), "org.freedesktop.portal.Request",
                            "Response");
  sd_bus_message_append(signal, "u", code);
  return signal;
}

namespace {

std::string mode, dir;
int requests = 0;

struct Due {
  std::string handle;
  int number;
  long long at_ms;
};
std::vector<Due> due;

bool WritePng(const std::string& path, int number) {
  const unsigned char gray = static_cast<unsigned char>(number * 40);
  const unsigned char rgba[] = {255,  0,   0,    255,  0,    255,  0,    255,  0,    0,    255,
                                255,  255, 255,  255,  255,  gray, gray, gray, 255,  gray, gray,
                                gray, 255, gray, gray, gray, 255,  gray, gray, gray, 255};
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 4;
  image.height = 2;
  image.format = PNG_FORMAT_RGBA;
  return png_image_write_to_file(&image, path.c_str(), 0, rgba, 0, nullptr) != 0;
}

void Respond(sd_bus* bus, const std::string& handle, unsigned code, const std::string& uri) {
  sd_bus_message* signal = NewResponse(bus, handle, code);
  if (uri.empty()) {
    sd_bus_message_append(signal, "a{sv}", 0);
  } else {
    sd_bus_message_append(signal, "a{sv}", 1, "uri", "s", uri.c_str());
  }
  sd_bus_send(bus, signal, nullptr);
  sd_bus_message_unref(signal);
}

void AnswerWithPicture(sd_bus* bus, const std::string& handle, int number) {
  const std::string path = dir + "/shot-" + std::to_string(number) + ".png";
  if (!WritePng(path, number)) {
    Respond(bus, handle, 2, "");
    return;
  }
  Respond(bus, handle, 0, "file://" + path);
}

int OnClose(sd_bus_message* call, void*, sd_bus_error*) {
  std::printf("close %s\n", sd_bus_message_get_path(call));
  std::fflush(stdout);
  return sd_bus_reply_method_return(call, "");
}

const sd_bus_vtable kRequestVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Close", "", "", OnClose, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

int OnScreenshot(sd_bus_message* call, void*, sd_bus_error*) {
  sd_bus* bus = sd_bus_message_get_bus(call);
  const char* parent = nullptr;
  sd_bus_message_read(call, "s", &parent);
  std::string token, options;
  sd_bus_message_enter_container(call, 'a', "{sv}");
  while (sd_bus_message_enter_container(call, 'e', "sv") > 0) {
    const char* key = nullptr;
    sd_bus_message_read(call, "s", &key);
    if (std::strcmp(key, "handle_token") == 0) {
      const char* value = nullptr;
      sd_bus_message_read(call, "v", "s", &value);
      token = value;
    } else if (std::strcmp(key, "interactive") == 0 || std::strcmp(key, "modal") == 0) {
      int value = -1;
      sd_bus_message_read(call, "v", "b", &value);
      options.append(" ").append(key).append("=").append(std::to_string(value));
    } else {
      sd_bus_message_skip(call, "v");
      options.append(" ").append(key).append("=?");
    }
    sd_bus_message_exit_container(call);
  }
  sd_bus_message_exit_container(call);
  const std::string handle = PathOf(call, "request", token);
  const int number = ++requests;
  std::printf("request %d token=%s%s\n", number, token.c_str(), options.c_str());
  std::fflush(stdout);
  sd_bus_add_object_vtable(bus, nullptr, handle.c_str(), "org.freedesktop.portal.Request",
                           kRequestVtable, nullptr);
  sd_bus_reply_method_return(call, "o", handle.c_str());
  sd_bus_flush(bus);

  if (mode == "ok") {
    AnswerWithPicture(bus, handle, number);
  } else if (mode.starts_with("late:")) {
    due.push_back({handle, number, number == 1 ? 0 : NowMs() + std::atoi(mode.c_str() + 5)});
  } else if (mode.starts_with("slow:")) {
    due.push_back({handle, number, NowMs() + std::atoi(mode.c_str() + 5)});
  } else if (mode == "old-file") {
    Respond(bus, handle, 0, "file://" + dir + "/user.png");
  } else if (mode == "refuse") {
    Respond(bus, handle, 1, "");
  } else if (mode == "fail" || mode == "deny") {
    Respond(bus, handle, 2, "");
  } else if (mode == "vanish") {
    sd_bus_flush(bus);
    std::exit(0);
  }
  return 1;
}

// The permission store's screenshot table: the user said no.
int OnLookup(sd_bus_message* call, void*, sd_bus_error*) {
  sd_bus_message* reply = nullptr;
  sd_bus_message_new_method_return(call, &reply);
  sd_bus_message_append(reply, "a{sas}", 1, "", 1, "no");
  sd_bus_message_append(reply, "v", "b", 0);
  const int r = sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  return r;
}

const sd_bus_vtable kStoreVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Lookup", "ss", "a{sas}v", OnLookup, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

int GetVersion(sd_bus* bus, const char*, const char*, const char*, sd_bus_message* reply, void*,
               sd_bus_error*) {
  (void)bus;
  return sd_bus_message_append(reply, "u", 2u);
}

const sd_bus_vtable kScreenshotVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Screenshot", "sa{sv}", "o", OnScreenshot, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("version", "u", GetVersion, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s MODE DIR\n", argv[0]);
    return 2;
  }
  mode = argv[1];
  dir = argv[2];
  if (mode == "old-file") {
    const std::string path = dir + "/user.png";
    const timespec old_times[2] = {{1'000'000, 0}, {1'000'000, 0}};
    if (!WritePng(path, 0) || utimensat(AT_FDCWD, path.c_str(), old_times, 0) != 0) return 1;
  }
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return 1;
  if (mode.starts_with("cast")) {
    if (!AddScreencast(bus, mode)) {
      std::printf("no pipewire\n");
      return 1;
    }
    mode = "ok";
  }
  if (mode.starts_with("keys")) {
    if (!AddShortcuts(bus, mode)) return 1;
    mode = "ok";
  }
  if (mode != "no-screenshot") {
    sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/portal/desktop",
                             "org.freedesktop.portal.Screenshot", kScreenshotVtable, nullptr);
  }
  if (mode == "deny" &&
      (sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/impl/portal/PermissionStore",
                                "org.freedesktop.impl.portal.PermissionStore", kStoreVtable,
                                nullptr) < 0 ||
       sd_bus_request_name(bus, "org.freedesktop.impl.portal.PermissionStore", 0) < 0)) {
    return 1;
  }
  if (sd_bus_request_name(bus, "org.freedesktop.portal.Desktop", 0) < 0) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    const long long now = NowMs();
    for (auto it = due.begin(); it != due.end();) {
      if (it->at_ms > now) {
        ++it;
        continue;
      }
      AnswerWithPicture(bus, it->handle, it->number);
      it = due.erase(it);
    }
    SendHeldAnswer(bus);
    const int r = sd_bus_process(bus, nullptr);
    if (r < 0) return 1;
    if (r > 0) continue;
    sd_bus_wait(bus, 20'000);
  }
}
