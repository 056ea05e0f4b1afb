// Loads the screen capture module as the program does (dlopen by path) and
// runs a script of steps given as arguments, printing one line per answer:
//
//   huevex_capture_probe MODULE [--timeout MS] STEP...
//
//   open KIND          open a source ("screencopy", "screencast", "portal", "auto")
//   root W H           tell the X root window's size
//   want 1|0           capturing wanted or not
//   wait STATE MS      dispatch until the state is STATE (idle, waiting, live,
//                      refused, failed, asking, still-asking) or MS pass; prints the state
//   pump MS            dispatch for MS milliseconds
//   first MS           wanted on, then dispatch until a read of (0, 0) gives
//                      a frame or MS pass; prints "first US" (-1: none came)
//   state              prints "state NAME REASON"
//   kind               prints "kind NAME": the source serving now
//   read X Y           prints "pixel X Y RRGGBB stale" or "pixel X Y noframe|failed"
//   block X Y W H      prints "block X Y W H RRGGBB..." (row by row)
//   age N              N one-pixel reads 1 ms apart, as a pick's ticks are;
//                      prints the frames' ages: "age N MEDIAN_US MAX_US"
//   frames MS          reads as "age" does for MS milliseconds; prints the
//                      frames that came meanwhile: "frames N"
//   cost N W H         N reads of a W x H block; prints "cost W H NS_PER_READ"
//   shortcut TRIGGER   ask for the global shortcut ("LOGO+ALT+c"); unbind: give it back
//   keys STATE MS      as wait, for the shortcut's state; prints "keys STATE REASON"
//   presses            prints "presses N": the presses since the last
//   sleep MS
//   close
//
// Colors print red first, as the program's codes do.
#include <dlfcn.h>
#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shell/platform/wayland/capture_abi.h"

namespace {

const char* const kStates[] = {"idle",   "waiting", "live",        "refused",
                               "failed", "asking",  "still-asking"};
const char* const kShortcutStates[] = {"waiting", "bound", "refused", "failed", "unavailable"};

std::int64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

unsigned RedFirst(std::uint32_t bgr) {
  return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

struct Probe {
  const huevex_capture_api* api = nullptr;
  huevex_capture* capture = nullptr;
  huevex_capture_options options{sizeof(huevex_capture_options), 0};
  huevex_shortcut* shortcut = nullptr;

  // One turn of the program's loop: poll the source's and the shortcut's
  // descriptors, dispatch both.
  int Turn(int max_wait_ms) {
    if (!capture) return HUEVEX_CAPTURE_FAILED;
    pollfd fds[8];
    int n = api->poll_fds(capture, fds, 4);
    if (shortcut) n += api->shortcut_poll_fds(shortcut, fds + n, 4);
    int wait = max_wait_ms;
    for (int ms : {api->timeout_ms(capture), shortcut ? api->shortcut_timeout_ms(shortcut) : -1}) {
      if (ms >= 0) wait = std::min(wait, ms);
    }
    poll(fds, static_cast<nfds_t>(n), wait);
    if (shortcut) api->shortcut_dispatch(shortcut);
    return api->dispatch(capture);
  }

  // Turns of the loop until done() or ms pass.
  template <typename Done>
  void Until(Done done, int ms) {
    const std::int64_t end = NowNs() + std::int64_t{ms} * 1'000'000;
    for (std::int64_t left = ms; !done() && left > 0; left = (end - NowNs()) / 1'000'000) {
      Turn(static_cast<int>(std::min<std::int64_t>(left, 50)));
    }
  }

  void Keys(const char* want, int ms) {
    char reason[256] = "not asked for";
    const auto state = [&] {
      return kShortcutStates[shortcut ? api->shortcut_state(shortcut, reason, sizeof reason)
                                      : int{HUEVEX_SHORTCUT_FAILED}];
    };
    Until([&] { return !shortcut || std::strcmp(state(), want) == 0; }, ms);
    std::printf("keys %s %s\n", state(), reason);
  }

  void PrintState() {
    char reason[256];
    const int state = capture ? api->state(capture, reason, sizeof reason) : HUEVEX_CAPTURE_FAILED;
    if (!capture) std::snprintf(reason, sizeof reason, "not open");
    std::printf("state %s %s\n", kStates[state], reason);
  }

  void Wait(const char* want, int ms) {
    Until(
        [&] {
          return !capture || std::strcmp(kStates[api->state(capture, nullptr, 0)], want) == 0;
        },
        ms);
    PrintState();
  }

  void Pump(int ms) {
    Until([] { return false; }, ms);
  }

  void First(int ms) {
    const std::int64_t start = NowNs(), end = start + std::int64_t{ms} * 1'000'000;
    if (capture) api->set_wanted(capture, 1);
    std::uint32_t pixel = 0;
    while (capture && api->read(capture, 0, 0, 1, 1, &pixel, nullptr) != HUEVEX_READ_OK) {
      const std::int64_t left = (end - NowNs()) / 1'000'000;
      if (left <= 0) {
        std::printf("first -1\n");
        return;
      }
      Turn(static_cast<int>(std::min<std::int64_t>(left, 50)));
    }
    std::printf("first %lld\n", static_cast<long long>((NowNs() - start) / 1000));
  }

  void Read(int x, int y) {
    std::uint32_t pixel = 0;
    huevex_capture_frame_info info{};
    const int r = capture ? api->read(capture, x, y, 1, 1, &pixel, &info) : HUEVEX_READ_FAILED;
    if (r == HUEVEX_READ_OK) {
      std::printf("pixel %d %d %06X %s\n", x, y, RedFirst(pixel), info.stale ? "stale" : "current");
    } else {
      std::printf("pixel %d %d %s\n", x, y, r == HUEVEX_READ_NO_FRAME ? "noframe" : "failed");
    }
  }

  void Block(int x, int y, int w, int h) {
    std::vector<std::uint32_t> pixels(static_cast<size_t>(w) * h);
    const int r =
        capture ? api->read(capture, x, y, w, h, pixels.data(), nullptr) : HUEVEX_READ_FAILED;
    std::printf("block %d %d %d %d", x, y, w, h);
    if (r != HUEVEX_READ_OK) {
      std::printf(" %s\n", r == HUEVEX_READ_NO_FRAME ? "noframe" : "failed");
      return;
    }
    for (std::uint32_t p : pixels) std::printf(" %06X", RedFirst(p));
    std::printf("\n");
  }

  void Age(int n) {
    std::vector<std::int64_t> ages;
    for (int i = 0; i < n; ++i) {
      Turn(1);
      std::uint32_t pixel;
      huevex_capture_frame_info info{};
      if (api->read(capture, 0, 0, 1, 1, &pixel, &info) == HUEVEX_READ_OK) {
        ages.push_back((NowNs() - info.captured_ns) / 1000);
      }
    }
    std::sort(ages.begin(), ages.end());
    if (ages.empty()) {
      std::printf("age 0 - -\n");
      return;
    }
    std::printf("age %zu %lld %lld\n", ages.size(), static_cast<long long>(ages[ages.size() / 2]),
                static_cast<long long>(ages.back()));
  }

  void Frames(int ms) {
    const std::int64_t end = NowNs() + std::int64_t{ms} * 1'000'000;
    std::int64_t last = -1;
    int frames = -1;  // the frame there at the start is not one that came
    while (NowNs() < end) {
      Turn(1);
      std::uint32_t pixel;
      huevex_capture_frame_info info{};
      if (api->read(capture, 0, 0, 1, 1, &pixel, &info) == HUEVEX_READ_OK &&
          info.captured_ns != last) {
        last = info.captured_ns;
        ++frames;
      }
    }
    std::printf("frames %d\n", std::max(frames, 0));
  }

  void Cost(int n, int w, int h) {
    std::vector<std::uint32_t> pixels(static_cast<size_t>(w) * h);
    int ok = 0;
    const std::int64_t start = NowNs();
    for (int i = 0; i < n; ++i) {
      ok += api->read(capture, 100 + i % 7, 100, w, h, pixels.data(), nullptr) == HUEVEX_READ_OK;
    }
    std::printf("cost %d %d %lld %d\n", w, h, static_cast<long long>((NowNs() - start) / n), ok);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s MODULE [--timeout MS] STEP...\n", argv[0]);
    return 2;
  }
  void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto entry = reinterpret_cast<huevex_capture_entry_fn>(dlsym(module, HUEVEX_CAPTURE_ENTRY));
  Probe p;
  p.api = entry ? entry(HUEVEX_CAPTURE_ABI_VERSION) : nullptr;
  if (!p.api) {
    std::fprintf(stderr, "no capture table of version %u\n", HUEVEX_CAPTURE_ABI_VERSION);
    return 1;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  auto arg = [&](size_t i) { return i < args.size() ? std::atoi(args[i].c_str()) : 0; };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& step = args[i];
    if (step == "--timeout") {
      p.options.portal_timeout_ms = static_cast<std::uint32_t>(arg(++i));
    } else if (step == "open") {
      char reason[256];
      const char* kind = i + 1 < args.size() ? args[++i].c_str() : "";
      p.capture = p.api->open(kind, &p.options, reason, sizeof reason);
      if (p.capture) {
        std::printf("open %s\n", p.api->kind(p.capture));
      } else {
        std::printf("unavailable %s\n", reason);
      }
    } else if (step == "root") {
      if (p.capture) p.api->set_root_size(p.capture, arg(i + 1), arg(i + 2));
      i += 2;
    } else if (step == "want") {
      if (p.capture) p.api->set_wanted(p.capture, arg(++i));
    } else if (step == "wait") {
      const std::string state = i + 1 < args.size() ? args[i + 1] : "";
      p.Wait(state.c_str(), arg(i + 2));
      i += 2;
    } else if (step == "pump") {
      p.Pump(arg(++i));
    } else if (step == "first") {
      p.First(arg(++i));
    } else if (step == "state") {
      p.PrintState();
    } else if (step == "kind") {
      std::printf("kind %s\n", p.capture ? p.api->kind(p.capture) : "-");
    } else if (step == "read") {
      p.Read(arg(i + 1), arg(i + 2));
      i += 2;
    } else if (step == "block") {
      p.Block(arg(i + 1), arg(i + 2), arg(i + 3), arg(i + 4));
      i += 4;
    } else if (step == "age") {
      if (p.capture) p.Age(arg(++i));
    } else if (step == "frames") {
      if (p.capture) p.Frames(arg(++i));
    } else if (step == "cost") {
      if (p.capture) p.Cost(arg(i + 1), arg(i + 2), arg(i + 3));
      i += 3;
    } else if (step == "shortcut") {
      char reason[256];
      const char* trigger = i + 1 < args.size() ? args[++i].c_str() : "";
      p.shortcut = p.api->shortcut_open(trigger, reason, sizeof reason);
      std::printf(p.shortcut ? "shortcut open\n" : "shortcut none %s\n", reason);
    } else if (step == "keys") {
      const std::string state = i + 1 < args.size() ? args[i + 1] : "";
      p.Keys(state.c_str(), arg(i + 2));
      i += 2;
    } else if (step == "presses") {
      std::printf("presses %d\n", p.shortcut ? p.api->shortcut_presses(p.shortcut) : -1);
    } else if (step == "unbind") {
      p.api->shortcut_close(p.shortcut);
      p.shortcut = nullptr;
    } else if (step == "sleep") {
      const int ms = arg(++i);
      timespec t{ms / 1000, (ms % 1000) * 1'000'000L};
      nanosleep(&t, nullptr);
    } else if (step == "close") {
      p.api->close(p.capture);
      p.capture = nullptr;
      std::printf("closed\n");
    } else {
      std::fprintf(stderr, "unknown step %s\n", step.c_str());
      return 2;
    }
    std::fflush(stdout);
  }
  p.api->shortcut_close(p.shortcut);
  p.api->close(p.capture);
  return 0;
}
