// The X11 backend's pure pieces: pixel conversions, cursor bitmaps, the icon
// property, the Xft.dpi resource, Latin-1 text and the timer queue.
#include <gtest/gtest.h>

#include <chrono>

#include "resources/pictures.h"
#include "shell/platform/x11/x11_pixels.h"
#include "shell/platform/x11/x11_timers.h"

namespace huevex::x11 {
namespace {

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

}  // namespace
}  // namespace huevex::x11
