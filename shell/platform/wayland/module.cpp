// The module's one exported symbol: the C table over the sources and the
// global shortcut. Every call is fenced, so that nothing thrown inside (an
// allocation that failed) crosses into the program; a source or shortcut that
// threw counts as failed.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "shell/platform/wayland/capture_abi.h"
#include "shell/platform/wayland/global_shortcut.h"
#include "shell/platform/wayland/portal.h"
#include "shell/platform/wayland/screencast.h"
#include "shell/platform/wayland/screencopy.h"

struct huevex_capture {
  std::unique_ptr<huevex::wayland::Source> source;
  bool broken = false;  // something was thrown: every call fails from now on
  // What a source that takes over under "auto" must be told again.
  std::uint32_t timeout_ms = 0;
  bool wanted = false;
  int root_width = 0, root_height = 0;
};

struct huevex_shortcut {
  std::unique_ptr<huevex::wayland::GlobalShortcut> shortcut;
  bool broken = false;  // as a capture's
};

namespace huevex::wayland {
namespace {

constexpr const char* kBroken = "the screen capture module ran out of memory";

void CopyOut(std::string_view text, char* out, size_t size) {
  if (!out || size == 0) return;
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

int StateCode(State state) {
  switch (state) {
    case State::Idle:
      return HUEVEX_CAPTURE_IDLE;
    case State::Waiting:
      return HUEVEX_CAPTURE_WAITING;
    case State::Live:
      return HUEVEX_CAPTURE_LIVE;
    case State::Refused:
      return HUEVEX_CAPTURE_REFUSED;
    case State::Failed:
      return HUEVEX_CAPTURE_FAILED;
    case State::Asking:
      return HUEVEX_CAPTURE_ASKING;
    case State::StillAsking:
      return HUEVEX_CAPTURE_STILL_ASKING;
  }
  return HUEVEX_CAPTURE_FAILED;
}

// Runs body on a working capture or shortcut; a throw marks it broken.
template <typename Handle, typename Body>
auto Fenced(Handle* c, decltype(std::declval<Body>()()) if_broken, Body body) {
  if (!c || c->broken) return if_broken;
  try {
    return body();
  } catch (...) {
    c->broken = true;
    return if_broken;
  }
}

// The sources "auto" tries, in its order; each opens with the portal's wait
// and whether it serves under "auto".
struct SourceKind {
  std::string_view name;
  std::unique_ptr<Source> (*open)(std::uint32_t timeout_ms, bool under_auto, std::string* why);
};
constexpr SourceKind kSources[] = {
    {"screencopy", [](std::uint32_t, bool, std::string* why) { return OpenScreencopy(why); }},
    {"screencast", [](std::uint32_t timeout_ms, bool under_auto,
                      std::string* why) { return OpenScreencast(timeout_ms, under_auto, why); }},
    {"portal",
     [](std::uint32_t timeout_ms, bool, std::string* why) { return OpenPortal(timeout_ms, why); }},
};

huevex_capture* Open(const char* kind, const huevex_capture_options* options, char* reason,
                     size_t reason_size) {
  std::uint32_t timeout_ms = 0;
  if (options && options->size >= offsetof(huevex_capture_options, portal_timeout_ms) + 4) {
    timeout_ms = options->portal_timeout_ms;
  }
  try {
    const std::string_view k = kind ? kind : "";
    // The user is told why the last source tried could not be had.
    std::string why = "no such screen source";
    std::unique_ptr<Source> source;
    for (const SourceKind& s : kSources) {
      if (k != s.name && k != "auto") continue;
      why.clear();
      source = s.open(timeout_ms, k == "auto", &why);
      if (source) break;
    }
    if (!source) {
      CopyOut(why, reason, reason_size);
      return nullptr;
    }
    CopyOut("", reason, reason_size);
    auto* c = new huevex_capture{std::move(source)};
    c->timeout_ms = timeout_ms;
    return c;
  } catch (...) {
    CopyOut(kBroken, reason, reason_size);
    return nullptr;
  }
}

void Close(huevex_capture* c) {
  try {
    delete c;
  } catch (...) {
  }
}

const char* Kind(huevex_capture* c) { return c && c->source ? c->source->Kind() : ""; }

int PollFds(huevex_capture* c, pollfd* fds, int max) {
  return Fenced(c, 0, [&] { return fds ? c->source->PollFds(fds, max) : 0; });
}

int TimeoutMs(huevex_capture* c) {
  return Fenced(c, -1, [&] { return c->source->TimeoutMs(); });
}

// Under "auto", a screen cast that cannot serve here gives way to the
// screenshot for the rest of the run, told what the old source was told.
void FallBackIfDue(huevex_capture* c) {
  if (!c->source->WantsFallback()) return;
  std::string why;
  std::unique_ptr<Source> portal = OpenPortal(c->timeout_ms, &why);
  if (!portal) return;  // no bus either: the screen cast's own state says why
  c->source = std::move(portal);
  if (c->root_width > 0) c->source->SetRootSize(c->root_width, c->root_height);
  if (c->wanted) c->source->SetWanted(true);
}

int Dispatch(huevex_capture* c) {
  return Fenced(c, int{HUEVEX_CAPTURE_FAILED}, [&] {
    c->source->Dispatch();
    FallBackIfDue(c);
    return StateCode(c->source->CurrentState());
  });
}

int SetWanted(huevex_capture* c, int wanted) {
  return Fenced(c, int{HUEVEX_CAPTURE_FAILED}, [&] {
    c->wanted = wanted != 0;
    c->source->SetWanted(wanted != 0);
    FallBackIfDue(c);
    return StateCode(c->source->CurrentState());
  });
}

void SetRootSize(huevex_capture* c, std::int32_t width, std::int32_t height) {
  Fenced(c, 0, [&] {
    c->root_width = width;
    c->root_height = height;
    c->source->SetRootSize(width, height);
    return 0;
  });
}

int Read(huevex_capture* c, std::int32_t left, std::int32_t top, std::int32_t width,
         std::int32_t height, std::uint32_t* out, huevex_capture_frame_info* info) {
  return Fenced(c, int{HUEVEX_READ_FAILED}, [&] {
    if (!out || width < 0 || height < 0) return int{HUEVEX_READ_FAILED};
    ReadInfo read;
    const Rect block{left, top, static_cast<std::int32_t>(std::int64_t{left} + width),
                     static_cast<std::int32_t>(std::int64_t{top} + height)};
    switch (c->source->Read(block, out, &read)) {
      case ReadResult::Ok:
        if (info) *info = {read.captured_ns, read.stale ? 1 : 0, 0};
        return int{HUEVEX_READ_OK};
      case ReadResult::NoFrame:
        return int{HUEVEX_READ_NO_FRAME};
      case ReadResult::Failed:
        break;
    }
    return int{HUEVEX_READ_FAILED};
  });
}

int StateOf(huevex_capture* c, char* reason, size_t reason_size) {
  if (c && c->broken) {
    CopyOut(kBroken, reason, reason_size);
    return HUEVEX_CAPTURE_FAILED;
  }
  return Fenced(c, int{HUEVEX_CAPTURE_FAILED}, [&] {
    CopyOut(c->source->Reason(), reason, reason_size);
    return StateCode(c->source->CurrentState());
  });
}

void SetPointer(huevex_capture* c, std::int32_t left, std::int32_t top, std::int32_t width,
                std::int32_t height) {
  Fenced(c, 0, [&] {
    const bool none = width <= 0 || height <= 0;
    c->source->SetPointer(none ? Rect{} : Rect{left, top, left + width, top + height});
    return 0;
  });
}

int ShortcutCode(ShortcutState state) {
  switch (state) {
    case ShortcutState::Waiting:
      return HUEVEX_SHORTCUT_WAITING;
    case ShortcutState::Bound:
      return HUEVEX_SHORTCUT_BOUND;
    case ShortcutState::Refused:
      return HUEVEX_SHORTCUT_REFUSED;
    case ShortcutState::Failed:
      break;
    case ShortcutState::Unavailable:
      return HUEVEX_SHORTCUT_UNAVAILABLE;
  }
  return HUEVEX_SHORTCUT_FAILED;
}

huevex_shortcut* ShortcutOpen(const char* trigger, char* reason, size_t reason_size) {
  try {
    std::string why;
    std::unique_ptr<GlobalShortcut> shortcut = OpenGlobalShortcut(trigger ? trigger : "", &why);
    CopyOut(why, reason, reason_size);
    return shortcut ? new huevex_shortcut{std::move(shortcut)} : nullptr;
  } catch (...) {
    CopyOut(kBroken, reason, reason_size);
    return nullptr;
  }
}

void ShortcutClose(huevex_shortcut* s) {
  try {
    delete s;
  } catch (...) {
  }
}

int ShortcutPollFds(huevex_shortcut* s, pollfd* fds, int max) {
  return Fenced(s, 0, [&] { return fds ? s->shortcut->PollFds(fds, max) : 0; });
}

int ShortcutTimeoutMs(huevex_shortcut* s) {
  return Fenced(s, -1, [&] { return s->shortcut->TimeoutMs(); });
}

int ShortcutDispatch(huevex_shortcut* s) {
  return Fenced(s, int{HUEVEX_SHORTCUT_FAILED}, [&] {
    s->shortcut->Dispatch();
    return ShortcutCode(s->shortcut->CurrentState());
  });
}

int ShortcutPresses(huevex_shortcut* s) {
  return Fenced(s, 0, [&] { return s->shortcut->TakePresses(); });
}

int ShortcutStateOf(huevex_shortcut* s, char* reason, size_t reason_size) {
  if (s && s->broken) {
    CopyOut(kBroken, reason, reason_size);
    return HUEVEX_SHORTCUT_FAILED;
  }
  return Fenced(s, int{HUEVEX_SHORTCUT_FAILED}, [&] {
    CopyOut(s->shortcut->Reason(), reason, reason_size);
    return ShortcutCode(s->shortcut->CurrentState());
  });
}

constexpr huevex_capture_api kApi = {
    .version = HUEVEX_CAPTURE_ABI_VERSION,
    .size = sizeof(huevex_capture_api),
    .open = Open,
    .close = Close,
    .kind = Kind,
    .poll_fds = PollFds,
    .timeout_ms = TimeoutMs,
    .dispatch = Dispatch,
    .set_wanted = SetWanted,
    .set_root_size = SetRootSize,
    .read = Read,
    .state = StateOf,
    .set_pointer = SetPointer,
    .shortcut_open = ShortcutOpen,
    .shortcut_close = ShortcutClose,
    .shortcut_poll_fds = ShortcutPollFds,
    .shortcut_timeout_ms = ShortcutTimeoutMs,
    .shortcut_dispatch = ShortcutDispatch,
    .shortcut_presses = ShortcutPresses,
    .shortcut_state = ShortcutStateOf,
};

}  // namespace
}  // namespace huevex::wayland

extern "C" __attribute__((visibility("default"))) const huevex_capture_api* huevex_capture_entry(
    std::uint32_t abi_version) {
  // Earlier versions' tables are the start of this one.
  return abi_version >= 1 && abi_version <= HUEVEX_CAPTURE_ABI_VERSION ? &huevex::wayland::kApi
                                                                       : nullptr;
}
