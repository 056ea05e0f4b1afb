// The stand-in portal's ScreenCast (see fake_portal.cpp): two monitors side
// by side, each a PipeWire video source of its own on the PipeWire the test
// started, sending a known 4 x 2 picture in memfd buffers.
//
//   monitor 1 at (0, 0), 4 x 2 logical, BGRx: red, green, blue, white on top,
//             gray 40 below
//   monitor 2 at (4, 0), 2 x 1 logical (scale 2), RGBx: 112233, 445566,
//             778899, AABBCC on top, gray 80 below
//
// Modes: "cast" answers everything; "cast-refuse" answers Start with 1 (the
// user said no); "cast-silent" starts the streams but never sends a frame;
// "cast-slow:MS" answers Start after MS ms, as a user deciding would;
// "cast-unfilled" sends buffers whose chunks hold less than a frame;
// "cast-closed" closes the session (its Closed signal) 300 ms after the
// remote is opened, as a desktop whose user stops the sharing does.
// Prints "select KEY=VALUE..." for each SelectSources, "start", "remote" and
// "session-close" for the calls.
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

long long NowMs();
std::string PathOf(sd_bus_message* call, const char* kind, const std::string& token);
sd_bus_message* NewResponse(sd_bus* bus, const std::string& handle, unsigned code);
void ServePortalSession(sd_bus* bus, const std::string& path);

namespace {

struct Monitor {
  std::uint32_t format;
  std::int32_t x, y, w, h;
  std::uint8_t pixels[2][4][3];  // the picture, red first
  pw_stream* stream = nullptr;
  spa_hook listener{};
  std::uint32_t node = SPA_ID_INVALID;
};

Monitor monitors[2] = {
    {SPA_VIDEO_FORMAT_BGRx,
     0,
     0,
     4,
     2,
     {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}},
      {{40, 40, 40}, {40, 40, 40}, {40, 40, 40}, {40, 40, 40}}}},
    {SPA_VIDEO_FORMAT_RGBx,
     4,
     0,
     2,
     1,
     {{{0x11, 0x22, 0x33}, {0x44, 0x55, 0x66}, {0x77, 0x88, 0x99}, {0xAA, 0xBB, 0xCC}},
      {{80, 80, 80}, {80, 80, 80}, {80, 80, 80}, {80, 80, 80}}}},
};

std::string cast_mode;
pw_thread_loop* loop = nullptr;
int starts = 0;
sd_bus_message* held = nullptr;  // Start's answer or the session's end, sent at held_until_ms
long long held_until_ms = 0;

void OnState(void*, pw_stream_state, pw_stream_state, const char*) {
  pw_thread_loop_signal(loop, false);
}

void OnParam(void* data, std::uint32_t id, const spa_pod* param) {
  auto* m = static_cast<Monitor*>(data);
  if (!param || id != SPA_PARAM_Format) return;
  std::uint8_t buffer[256];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
      SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
      SPA_PARAM_BUFFERS_size, SPA_POD_Int(4 * 4 * 2), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(4 * 4),
      SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd)))};
  pw_stream_update_params(m->stream, params, 1);
}

void OnProcess(void* data) {
  auto* m = static_cast<Monitor*>(data);
  pw_buffer* buffer = pw_stream_dequeue_buffer(m->stream);
  if (!buffer) return;
  spa_data& d = buffer->buffer->datas[0];
  if (d.data && d.maxsize >= 32) {
    auto* out = static_cast<std::uint8_t*>(d.data);
    const bool bgr = m->format == SPA_VIDEO_FORMAT_BGRx;
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 4; ++x) {
        const std::uint8_t* p = m->pixels[y][x];
        std::uint8_t* o = out + y * 16 + x * 4;
        o[0] = bgr ? p[2] : p[0];
        o[1] = p[1];
        o[2] = bgr ? p[0] : p[2];
        o[3] = 0xFF;
      }
    }
    d.chunk->offset = 0;
    d.chunk->stride = 16;
    d.chunk->size = 32;
    if (cast_mode == "cast-unfilled") {
      // Memory no frame has filled: white, its chunk holding a row at most.
      std::memset(out, 0xFF, 32);
      d.chunk->size = 16;
    }
  }
  pw_stream_queue_buffer(m->stream, buffer);
}

void OnTimer(void*, std::uint64_t) {
  if (cast_mode == "cast-silent") return;
  for (Monitor& m : monitors) {
    if (pw_stream_get_state(m.stream, nullptr) == PW_STREAM_STATE_STREAMING) {
      pw_stream_trigger_process(m.stream);
    }
  }
}

// The sources, made before the portal answers anything; false when PipeWire
// cannot be reached.
bool StartSources() {
  pw_init(nullptr, nullptr);
  loop = pw_thread_loop_new("fake-cast", nullptr);
  pw_context* context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
  pw_core* core = context ? pw_context_connect(context, nullptr, 0) : nullptr;
  if (!core) return false;
  static pw_stream_events events{};
  events.version = PW_VERSION_STREAM_EVENTS;
  events.state_changed = OnState;
  events.param_changed = OnParam;
  events.process = OnProcess;
  pw_thread_loop_lock(loop);
  for (Monitor& m : monitors) {
    m.stream = pw_stream_new(core, "fake-monitor",
                             pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr));
    pw_stream_add_listener(m.stream, &m.listener, &events, &m);
    std::uint8_t buffer[512];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle size{4, 2};
    spa_fraction rate{20, 1};
    const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(m.format),
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_Fraction(&rate)))};
    pw_stream_connect(
        m.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params,
        1);
  }
  spa_source* timer = pw_loop_add_timer(pw_thread_loop_get_loop(loop), OnTimer, nullptr);
  timespec every{0, 50'000'000};
  pw_loop_update_timer(pw_thread_loop_get_loop(loop), timer, &every, &every, false);
  pw_thread_loop_start(loop);
  bool known = false;
  for (int i = 0; i < 100 && !known; ++i) {
    known = true;
    for (Monitor& m : monitors) {
      m.node = pw_stream_get_node_id(m.stream);
      known = known && m.node != SPA_ID_INVALID;
    }
    if (!known) pw_thread_loop_timed_wait(loop, 1);
  }
  pw_thread_loop_unlock(loop);
  return known;
}

// Reads the a{sv} options: the handle token, and each other key as text.
std::string ReadOptions(sd_bus_message* call, std::string* token) {
  std::string said;
  sd_bus_message_enter_container(call, 'a', "{sv}");
  while (sd_bus_message_enter_container(call, 'e', "sv") > 0) {
    const char* key = nullptr;
    sd_bus_message_read(call, "s", &key);
    char type = 0;
    const char* contents = nullptr;
    sd_bus_message_peek_type(call, &type, &contents);
    std::string value = "?";
    if (contents && (contents[0] == 's')) {
      const char* s = nullptr;
      sd_bus_message_read(call, "v", "s", &s);
      value = s;
    } else if (contents && contents[0] == 'u') {
      std::uint32_t u = 0;
      sd_bus_message_read(call, "v", "u", &u);
      value = std::to_string(u);
    } else if (contents && contents[0] == 'b') {
      int b = 0;
      sd_bus_message_read(call, "v", "b", &b);
      value = std::to_string(b);
    } else {
      sd_bus_message_skip(call, "v");
    }
    if (std::strcmp(key, "handle_token") == 0) {
      *token = value;
    } else {
      said.append(" ").append(key).append("=").append(value);
    }
    sd_bus_message_exit_container(call);
  }
  sd_bus_message_exit_container(call);
  return said;
}

int OnSessionClose(sd_bus_message* call, void*, sd_bus_error*) {
  std::printf("session-close\n");
  std::fflush(stdout);
  return sd_bus_reply_method_return(call, "");
}

const sd_bus_vtable kSessionVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Close", "", "", OnSessionClose, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

int OnCall(sd_bus_message* call, void*, sd_bus_error*) {
  sd_bus* bus = sd_bus_message_get_bus(call);
  const std::string method = sd_bus_message_get_member(call);
  const char* session = nullptr;
  if (method != "CreateSession") sd_bus_message_read(call, "o", &session);
  if (method == "OpenPipeWireRemote") {
    std::printf("remote\n");
    std::fflush(stdout);
    if (cast_mode == "cast-closed") {
      sd_bus_message_new_signal(bus, &held, session, "org.freedesktop.portal.Session", "Closed");
      sd_bus_message_append(held, "a{sv}", 0);
      held_until_ms = NowMs() + 300;
    }
    const char* folder = std::getenv("PIPEWIRE_RUNTIME_DIR");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s/pipewire-0", folder ? folder : "");
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int r = sd_bus_reply_method_return(call, "h", fd);
    close(fd);
    return r;
  }
  if (method == "Start") sd_bus_message_skip(call, "s");
  std::string token;
  const std::string said = ReadOptions(call, &token);
  const std::string handle = PathOf(call, "request", token);
  sd_bus_reply_method_return(call, "o", handle.c_str());
  sd_bus_message* signal = nullptr;
  if (method == "CreateSession") {
    const std::string path = PathOf(call, "session", "s" + token);
    ServePortalSession(bus, path);
    signal = NewResponse(bus, handle, 0);
    sd_bus_message_append(signal, "a{sv}", 1, "session_handle", "s", path.c_str());
  } else if (method == "SelectSources") {
    std::printf("select%s\n", said.c_str());
    signal = NewResponse(bus, handle, 0);
    sd_bus_message_append(signal, "a{sv}", 0);
  } else if (method == "Start" && cast_mode == "cast-refuse") {
    std::printf("start\n");
    signal = NewResponse(bus, handle, 1);
    sd_bus_message_append(signal, "a{sv}", 0);
  } else if (method == "Start") {
    std::printf("start\n");
    signal = NewResponse(bus, handle, 0);
    const std::string restore = "saved-" + std::to_string(++starts);
    sd_bus_message_open_container(signal, 'a', "{sv}");
    sd_bus_message_append(signal, "{sv}", "restore_token", "s", restore.c_str());
    sd_bus_message_open_container(signal, 'e', "sv");
    sd_bus_message_append(signal, "s", "streams");
    sd_bus_message_open_container(signal, 'v', "a(ua{sv})");
    sd_bus_message_open_container(signal, 'a', "(ua{sv})");
    for (const Monitor& m : monitors) {
      sd_bus_message_append(signal, "(ua{sv})", m.node, 3, "position", "(ii)", m.x, m.y, "size",
                            "(ii)", m.w, m.h, "source_type", "u", 1u);
    }
    sd_bus_message_close_container(signal);
    sd_bus_message_close_container(signal);
    sd_bus_message_close_container(signal);
    sd_bus_message_close_container(signal);
  }
  std::fflush(stdout);
  if (signal && method == "Start" && cast_mode.starts_with("cast-slow:")) {
    held = signal;
    held_until_ms = NowMs() + std::atoi(cast_mode.c_str() + 10);
  } else if (signal) {
    sd_bus_send(bus, signal, nullptr);
    sd_bus_message_unref(signal);
  }
  return 1;
}

int GetU(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void*,
         sd_bus_error*) {
  const std::string p = property;
  return sd_bus_message_append(reply, "u",
                               p == "version"                ? 4u
                               : p == "AvailableCursorModes" ? 7u
                                                             : 1u);
}

const sd_bus_vtable kScreenCastVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("CreateSession", "a{sv}", "o", OnCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SelectSources", "oa{sv}", "o", OnCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Start", "osa{sv}", "o", OnCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenPipeWireRemote", "oa{sv}", "h", OnCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("version", "u", GetU, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AvailableCursorModes", "u", GetU, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AvailableSourceTypes", "u", GetU, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

}  // namespace

// Shared with the GlobalShortcuts (fake_shortcuts.cpp): the options read, and
// a session object whose Close prints "session-close".
std::string ReadPortalOptions(sd_bus_message* call, std::string* token) {
  return ReadOptions(call, token);
}
void ServePortalSession(sd_bus* bus, const std::string& path) {
  sd_bus_add_object_vtable(bus, nullptr, path.c_str(), "org.freedesktop.portal.Session",
                           kSessionVtable, nullptr);
}

void SendHeldAnswer(sd_bus* bus) {
  if (!held || NowMs() < held_until_ms) return;
  sd_bus_send(bus, held, nullptr);
  sd_bus_message_unref(held);
  held = nullptr;
}

bool AddScreencast(sd_bus* bus, const std::string& mode) {
  cast_mode = mode;
  if (!StartSources()) return false;
  return sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/portal/desktop",
                                  "org.freedesktop.portal.ScreenCast", kScreenCastVtable,
                                  nullptr) >= 0;
}
