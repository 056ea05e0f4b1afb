// The X11 backend's pure pieces: pixel conversions, cursor bitmaps, the icon
// property, the Xft.dpi resource, Latin-1 text, the timer queue, the loop's
// poll set, and choosing and driving the screen source.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "resources/pictures.h"
#include "shell/platform/x11/x11_capture.h"
#include "shell/platform/x11/x11_monitors.h"
#include "shell/platform/x11/x11_pixels.h"
#include "shell/platform/x11/x11_poll.h"
#include "shell/platform/x11/x11_portal_shortcut.h"
#include "shell/platform/x11/x11_properties.h"
#include "shell/platform/x11/x11_screen.h"
#include "shell/platform/x11/x11_screen_source.h"
#include "shell/platform/x11/x11_timers.h"
#include "shell/platform/x11/x11_window_manager.h"

// A capture module's source as a test makes it: what the program asked of it,
// and what it answers.
struct huevex_capture {
  const char* kind = "screencopy";
  int state = HUEVEX_CAPTURE_IDLE;
  std::string reason;
  int read_result = HUEVEX_READ_OK;
  int stale = 0;
  std::vector<int> wanted;  // every set_wanted, in order
  int dispatches = 0;
  int timeout_ms = -1;
};

namespace huevex::x11 {
namespace {

using namespace std::chrono_literals;

TEST(X11Pixels, ScreenPixelsBecomeColorValues) {
  const PixelFormat rgb888{0xFF0000, 0x00FF00, 0x0000FF};
  const PixelFormat bgr888{0x0000FF, 0x00FF00, 0xFF0000};
  const PixelFormat rgb565{0xF800, 0x07E0, 0x001F};
  struct Case {
    PixelFormat format;
    unsigned long pixel;
    std::uint32_t color;
  };
  const Case cases[] = {
      {rgb888, 0xFF0000, 0x0000FF}, {rgb888, 0x00FF00, 0x00FF00},
      {rgb888, 0x0000FF, 0xFF0000}, {rgb888, 0x050AC8, 0xC80A05},
      {rgb888, 0x100F01, 0x010F10}, {rgb888, 0xFF808080, 0x808080},  // padding bits ignored
      {bgr888, 0xC80A05, 0xC80A05}, {rgb565, 0xF800, 0x0000FF},
      {rgb565, 0x07E0, 0x00FF00},   {rgb565, 0x001F, 0xFF0000},
      {rgb565, 0xFFFF, 0xFFFFFF},   {rgb565, 0x0000, 0x000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToColorValue(c.pixel, c.format), c.color) << std::hex << c.pixel;
    EXPECT_EQ(ToColorValue(FromColorValue(c.color, c.format), c.format), c.color)
        << std::hex << c.color;
  }
  EXPECT_EQ(FromColorValue(0x00C80A05, rgb888), 0x050AC8ul);
  EXPECT_EQ(FromColorValue(0xFFC80A05, rgb888), 0x050AC8ul);  // the top byte is no color
}

TEST(X11Pixels, CrosshairCursorHasItsHotSpotOnTheCentreDot) {
  const Picture& crosshair = pictures::Crosshair();
  const CursorBitmaps bits = MakeCursorBitmaps(crosshair);
  EXPECT_EQ(bits.width, 15);
  EXPECT_EQ(bits.height, 15);
  EXPECT_EQ(bits.hot_x, 7);
  EXPECT_EQ(bits.hot_y, 7);
  ASSERT_EQ(bits.mask.size(), 2u * 15u);  // two bytes a row
  int shown = 0, dark = 0;
  for (int y = 0; y < 15; ++y) {
    for (int x = 0; x < 15; ++x) {
      const unsigned char bit = 1u << (x % 8);
      const bool in_mask = bits.mask[y * 2 + x / 8] & bit;
      const bool in_source = bits.source[y * 2 + x / 8] & bit;
      EXPECT_EQ(in_mask, crosshair.mask[y * 15 + x] == 0) << x << "," << y;
      shown += in_mask;
      dark += in_source;
    }
  }
  EXPECT_EQ(shown, 37);                       // the drawn pixels
  EXPECT_EQ(dark, 37);                        // all black: the cursor's foreground
  EXPECT_TRUE(bits.mask[7 * 2] & (1u << 7));  // the centre dot is drawn
}

TEST(X11Pixels, CursorBitsAreLeastSignificantFirstInPaddedRows) {
  // 9 x 2: drawn black at (0,0) and (8,0), drawn white at (8,1), the rest transparent.
  Picture picture{9, 2, std::vector<std::uint32_t>(18, 0), std::vector<std::uint8_t>(18, 1)};
  picture.mask[0] = 0;
  picture.mask[8] = 0;
  picture.mask[17] = 0;
  picture.color[17] = 0xFFFFFF;
  const CursorBitmaps bits = MakeCursorBitmaps(picture);
  EXPECT_EQ(bits.mask, (std::vector<unsigned char>{0x01, 0x01, 0x00, 0x01}));
  EXPECT_EQ(bits.source, (std::vector<unsigned char>{0x01, 0x01, 0x00, 0x00}));
  EXPECT_EQ(bits.hot_x, 4);
  EXPECT_EQ(bits.hot_y, 1);
}

TEST(X11Pixels, IconPropertyIsArgbWithTransparentHoles) {
  Picture picture{3, 1, {0x0000FF, 0, 0xC80A05}, {0, 1, 0}};
  EXPECT_EQ(IconProperty(picture),
            (std::vector<unsigned long>{3, 1, 0xFFFF0000ul, 0ul, 0xFF050AC8ul}));
  const Picture& icon = pictures::ApplicationIcon32();
  EXPECT_EQ(IconProperty(icon).size(), 2u + 32u * 32u);
}

// Anyone can set the resource, to anything: what no monitor has is brought
// into range and said.
TEST(X11Pixels, XftDpiFromTheResourceDatabase) {
  struct Case {
    const char* resources;
    int dpi;
    bool noted;
  };
  const Case cases[] = {
      {"Xft.dpi:\t96\n", 96, false},
      {"Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n", 144, false},
      {"Xft.dpi: 120.4", 120, false},
      {"Xft.dpi:\t143.5\n", 144, false},
      {"", 96, false},
      {"Xft.hinting:\t1\n", 96, false},
      {"MyXft.dpi:\t200\n", 96, false},
      {"Xft.dpi:\tmany\n", 96, true},
      {"Xft.dpi:\t\n", 96, true},
      {"Xft.dpi:\tnan\n", 96, true},
      {"Xft.dpi:\t0\n", 96, true},
      {"Xft.dpi:\t0.4\n", 96, true},
      {"Xft.dpi:\t-96\n", 96, true},
      {"Xft.dpi:\t-inf\n", 96, true},
      {"Xft.dpi:\t12.5\n", kLeastDpi, true},
      {"Xft.dpi:\t100000\n", kMostDpi, true},
      {"Xft.dpi:\t1e9\n", kMostDpi, true},
      {"Xft.dpi:\t1e300\n", kMostDpi, true},
      {"Xft.dpi:\tinf\n", kMostDpi, true},
  };
  for (const Case& c : cases) {
    const XftDpi read = ParseXftDpi(c.resources);
    EXPECT_EQ(read.dpi, c.dpi) << c.resources;
    EXPECT_EQ(!read.note.empty(), c.noted) << c.resources << read.note;
  }
}

TEST(X11Pixels, Latin1ForStringRequestors) {
  EXPECT_EQ(Latin1FromUtf8("#050AC8"), "#050AC8");
  EXPECT_EQ(Latin1FromUtf8("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(Latin1FromUtf8("1\xE2\x82\xAC"), "1?");  // the euro sign is not Latin-1
}

// What the server lists is cut to the screen; a monitor off it goes, a
// second primary is none, and a screen with no monitor left is one.
TEST(X11Monitors, CutToTheScreenWithOnePrimaryAtMost) {
  const Rect screen{0, 0, 3000, 1200};
  const Rect left{0, 0, 1920, 1080}, right{1920, 100, 3000, 1124};
  const struct {
    std::vector<MonitorInfo> found;
    std::vector<MonitorInfo> expected;
  } cases[] = {
      {{}, {{screen, screen, true}}},
      {{{left, {}, false}, {right, {}, true}}, {{left, left, false}, {right, right, true}}},
      {{{left, {}, true}, {right, {}, true}}, {{left, left, true}, {right, right, false}}},
      {{{{2900, 0, 3300, 600}, {}, true}}, {{{2900, 0, 3000, 600}, {2900, 0, 3000, 600}, true}}},
      {{{{3000, 0, 3400, 600}, {}, true}, {left, {}, false}}, {{left, left, false}}},
      {{{{0, 0, 0, 600}, {}, true}}, {{screen, screen, true}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(huevex::x11::UsableMonitors(c.found, screen), c.expected) << c.found.size();
  }
}

TEST(X11Timers, DeadlinesAreAbsoluteLateTicksAreMadeUpButNeverBurst) {
  using namespace std::chrono_literals;
  using Ids = std::vector<TimerId>;
  const TimerQueue::Clock::time_point t0{};
  TimerQueue queue;
  EXPECT_FALSE(queue.NextDeadline());
  const TimerId fast = queue.Add(1, t0);
  const TimerId slow = queue.Add(50, t0);
  const TimerId zero = queue.Add(0, t0);  // no interval is shorter than a millisecond

  struct Step {
    std::chrono::microseconds now;
    Ids fires;
    std::chrono::microseconds next;  // the earliest deadline afterwards
  };
  const Step steps[] = {
      {0us, {}, 1000us},
      {1000us, {fast, zero}, 2000us},
      {1000us, {}, 2000us},                    // each timer once for one "now"
      {2500us, {fast, zero}, 3000us},          // late by half an interval: back on 3 ms, no drift
      {4500us, {fast, zero}, 4000us},          // a tick missed: its successor is due at once
      {4500us, {fast, zero}, 5000us},          // made up on the next turn
      {20000us, {fast, zero}, 21000us},        // far behind (a stall): once, then from now
      {20000us, {}, 21000us},                  // no burst
      {50000us, {fast, zero, slow}, 51000us},  // the most overdue first
  };
  for (const Step& step : steps) {
    EXPECT_EQ(queue.TakeDue(t0 + step.now), step.fires) << step.now.count();
    EXPECT_EQ(queue.NextDeadline(), t0 + step.next) << step.now.count();
  }
  queue.Remove(fast);
  queue.Remove(zero);
  EXPECT_FALSE(queue.Contains(fast));
  EXPECT_TRUE(queue.Contains(slow));
  EXPECT_EQ(queue.NextDeadline(), t0 + 100ms);
  queue.Remove(slow);
  EXPECT_TRUE(queue.Empty());
  EXPECT_TRUE(queue.TakeDue(t0 + 1h).empty());
}

// The crosshair's box around its hot spot, as a capture is told to keep it
// out of reads: with a pixel to spare all round for Xwayland's offset.
TEST(X11ScreenSource, PointerBoxHasAPixelToSpareAllRound) {
  EXPECT_EQ(PointerBox({100, 50}, {-16, -16, 16, 16}), (Rect{83, 33, 117, 67}));
  EXPECT_EQ(PointerBox({0, 0}, {-2, -3, 4, 5}), (Rect{-3, -4, 5, 6}));
}

TEST(X11ScreenSource, ChosenByTheServerUnlessForced) {
  struct Case {
    const char* forced;
    bool xwayland;
    ScreenSourceKind kind;
    bool unknown;
  };
  const Case cases[] = {
      {nullptr, false, ScreenSourceKind::X11, false},
      {nullptr, true, ScreenSourceKind::Auto, false},
      {"", true, ScreenSourceKind::Auto, false},
      {"x11", true, ScreenSourceKind::X11, false},
      {"screencopy", false, ScreenSourceKind::Screencopy, false},
      {"screencast", true, ScreenSourceKind::Screencast, false},
      {"portal", true, ScreenSourceKind::Portal, false},
      {"Portal", true, ScreenSourceKind::Auto, true},  // said once, then taken as unset
      {"wayland", false, ScreenSourceKind::X11, true},
  };
  for (const Case& c : cases) {
    const ScreenSourceChoice choice = ChooseScreenSource(c.forced, c.xwayland);
    const std::string what =
        std::string(c.forced ? c.forced : "(unset)") + (c.xwayland ? " on Xwayland" : " on X");
    EXPECT_EQ(choice.kind, c.kind) << what;
    EXPECT_EQ(choice.unknown, c.unknown) << what;
  }
}

// The desktop portal's names for the keys: a letter's own, not a capital's.
TEST(X11ScreenSource, TheShortcutAsThePortalTakesIt) {
  const std::pair<Shortcut, const char*> table[] = {
      {{'C', false, true, false, true}, "LOGO+ALT+c"},
      {{VK_F1 + 8, true, true, true, false}, "CTRL+ALT+SHIFT+F9"},
  };
  for (const auto& [shortcut, trigger] : table) EXPECT_EQ(PortalTrigger(shortcut), trigger);
}

// The module's table over the test's source.
const huevex_capture_api kFakeModule = {
    HUEVEX_CAPTURE_ABI_VERSION,
    sizeof(huevex_capture_api),
    [](const char*, const huevex_capture_options*, char*, size_t) -> huevex_capture* {
      return nullptr;
    },
    [](huevex_capture*) {},
    [](huevex_capture* c) { return c->kind; },
    [](huevex_capture*, pollfd*, int) { return 0; },
    [](huevex_capture* c) { return c->timeout_ms; },
    [](huevex_capture* c) {
      ++c->dispatches;
      return c->state;
    },
    [](huevex_capture* c, int wanted) {
      c->wanted.push_back(wanted);
      return c->state;
    },
    [](huevex_capture*, std::int32_t, std::int32_t) {},
    [](huevex_capture* c, std::int32_t, std::int32_t, std::int32_t width, std::int32_t height,
       std::uint32_t* out, huevex_capture_frame_info* info) {
      std::fill_n(out, width * height, 0x123456u);
      if (info) *info = {1, c->stale, 0};
      return c->read_result;
    },
    [](huevex_capture* c, char* reason, size_t size) {
      if (reason && size) snprintf(reason, size, "%s", c->reason.c_str());
      return c->state;
    },
    [](huevex_capture*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {},
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,  // no shortcut
};

struct FakeScreen {
  explicit FakeScreen(const char* kind, std::chrono::milliseconds linger = 1h) {
    source.kind = kind;
    screen = std::make_unique<WaylandScreen>(
        std::make_unique<CaptureModule>(&kFakeModule, &source),
        [this](const AccessNotice& notice) { told.push_back(notice); }, linger);
  }
  bool Read() {
    std::uint32_t pixel = 0;
    return screen->Read({10, 20, 11, 21}, &pixel);
  }
  huevex_capture source;
  std::vector<AccessNotice> told;
  std::unique_ptr<WaylandScreen> screen;
};

// Capturing is wanted from a pick's start or the first read outside one, and
// stays wanted while reads come, so that the magnifier's frames keep it on;
// a pick on the portal asks for a new snapshot even while it is on. A press
// that starts no pick (a button, a code box) asks for nothing.
TEST(X11ScreenSource, CaptureWantedFromAPickOrAReadUntilNeitherHasRead) {
  struct Case {
    const char* kind;
    std::vector<int> first_read, then_grab, after_linger;
  };
  const Case cases[] = {
      {"screencopy", {1}, {1, 1}, {1, 1, 0}},
      {"portal", {1}, {1, 0, 1}, {1, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    FakeScreen fake(c.kind, 30ms);
    fake.screen->Grabbed(true);
    fake.screen->Grabbed(false);
    EXPECT_TRUE(fake.source.wanted.empty()) << c.kind << ": a press that is no pick";
    EXPECT_FALSE(fake.screen->Deadline()) << c.kind << ": nothing is due at rest";
    fake.Read();
    EXPECT_EQ(fake.source.wanted, c.first_read) << c.kind;
    fake.Read();
    EXPECT_EQ(fake.source.wanted, c.first_read) << c.kind << ": wanted once";
    fake.screen->Grabbed(true);
    fake.screen->PickStarted();
    EXPECT_EQ(fake.source.wanted, c.then_grab) << c.kind;
    EXPECT_FALSE(fake.screen->Deadline()) << c.kind << ": no end while the pick runs";
    fake.screen->Grabbed(false);
    const std::optional<Pollable::Clock::time_point> due = fake.screen->Deadline();
    ASSERT_TRUE(due) << c.kind;
    fake.screen->Dispatch();
    EXPECT_EQ(fake.source.wanted, c.then_grab) << c.kind << ": on until the linger ends";
    std::this_thread::sleep_until(*due);
    fake.screen->Dispatch();
    EXPECT_EQ(fake.source.wanted, c.after_linger) << c.kind;
    EXPECT_FALSE(fake.screen->Deadline()) << c.kind << ": nothing wakes the loop at rest";
  }
}

TEST(X11ScreenSource, ReadsFailWithoutACurrentFrame) {
  struct Case {
    int result, stale;
    bool read;
  };
  const Case cases[] = {
      {HUEVEX_READ_OK, 0, true},
      {HUEVEX_READ_OK, 1, false},  // the last snapshot, kept while a new one is awaited
      {HUEVEX_READ_NO_FRAME, 0, false},
      {HUEVEX_READ_FAILED, 0, false},
  };
  for (const Case& c : cases) {
    FakeScreen fake("portal");
    fake.source.read_result = c.result;
    fake.source.stale = c.stale;
    EXPECT_EQ(fake.Read(), c.read) << c.result << " " << c.stale;
  }
}

// Each state that says whether the screen can be read is passed on with its
// reason (X11Screen tells the program only the changes); waiting tells nothing.
TEST(X11ScreenSource, StatesThatSayWhetherTheScreenCanBeRead) {
  FakeScreen fake("portal");
  struct Step {
    int state;
    const char* reason;
    std::vector<std::pair<ScreenAccess, std::string>> told;
  };
  using enum ScreenAccess;
  const Step steps[] = {
      {HUEVEX_CAPTURE_WAITING, "", {}},
      {HUEVEX_CAPTURE_ASKING, "", {}},
      {HUEVEX_CAPTURE_STILL_ASKING, "", {{StillAsking, ""}}},
      {HUEVEX_CAPTURE_REFUSED,
       "the desktop portal refused",
       {{Unreadable, "the desktop portal refused"}}},
      {HUEVEX_CAPTURE_LIVE, "", {{Readable, ""}}},
      {HUEVEX_CAPTURE_IDLE, "", {}},
      {HUEVEX_CAPTURE_FAILED, "the portal stopped", {{Unreadable, "the portal stopped"}}},
  };
  for (const Step& step : steps) {
    fake.source.state = step.state;
    fake.source.reason = step.reason;
    fake.told.clear();
    fake.screen->Dispatch();
    std::vector<std::pair<ScreenAccess, std::string>> told;
    for (const AccessNotice& notice : fake.told) told.emplace_back(notice.access, notice.reason);
    EXPECT_EQ(told, step.told) << step.state;
    EXPECT_EQ(fake.screen->AwaitsAnswer(),
              step.state == HUEVEX_CAPTURE_ASKING || step.state == HUEVEX_CAPTURE_STILL_ASKING)
        << step.state;
  }
}

// The loop waits on a source whose descriptors and deadline change: it is
// dispatched when one of its descriptors is ready and when its deadline has
// passed, and not otherwise.
TEST(X11Poll, WaitsOnASourceWhoseSetAndDeadlineChange) {
  struct Source : Pollable {
    int fd = -1;
    std::optional<Clock::time_point> due;
    int dispatched = 0;
    int PollFds(pollfd* fds, int max) override {
      if (fd < 0 || max < 1) return 0;
      fds[0] = {fd, POLLIN, 0};
      return 1;
    }
    std::optional<Clock::time_point> Deadline() override { return due; }
    void Dispatch() override { ++dispatched; }
  };
  int x_connection[2], theirs[2];
  ASSERT_EQ(pipe(x_connection), 0);
  ASSERT_EQ(pipe(theirs), 0);
  Source source;
  PollSet set(x_connection[0]);
  set.Attach(&source);
  EXPECT_TRUE(set.Watching());

  set.Wait(PollSet::Clock::now() + 5ms);
  EXPECT_EQ(source.dispatched, 0) << "nothing ready, nothing due";
  source.fd = theirs[0];
  ASSERT_EQ(write(theirs[1], "x", 1), 1);
  set.Wait(std::nullopt);
  EXPECT_EQ(source.dispatched, 1) << "its descriptor is asked for afresh";
  char byte;
  ASSERT_EQ(read(theirs[0], &byte, 1), 1);
  source.due = PollSet::Clock::now() + 10ms;
  set.Wait(std::nullopt);  // without its deadline this would sleep for good
  EXPECT_EQ(source.dispatched, 2) << "its deadline bounds the wait";
  source.due.reset();
  set.Detach(&source);
  EXPECT_FALSE(set.Watching());
  for (int fd : {x_connection[0], x_connection[1], theirs[0], theirs[1]}) close(fd);
}

}  // namespace
}  // namespace huevex::x11
