// One sampling tick against a real X server: the platform calls the picker
// makes on every timer tick (cursor position, screen context, one pixel,
// release), through the software GDI over the X root window; and one frame
// of the real magnifier. Run it with DISPLAY set (bench/compare.py starts a
// private Xvfb for it). In a Wayland session, with HUEVEX_SCREEN naming a
// Wayland source and the capture module beside it, the tick during a pick
// reads through the module instead.
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <benchmark/benchmark.h>
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include "app/project.h"
#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_desktop.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_screen.h"

namespace {

// One tick's platform calls.
void Sample(huevex::Gdi& gdi) {
  huevex::Point point{0, 0};
  gdi.GetCursorPos(&point);
  const huevex::Hdc screen = gdi.GetDC(huevex::Hwnd{});
  benchmark::DoNotOptimize(gdi.GetPixel(screen, point.x, point.y));
  gdi.ReleaseDC(huevex::Hwnd{}, screen);
}

// Ticks; `before`, untimed, comes ahead of each.
void Tick(huevex::Gdi& gdi, benchmark::State& state, const std::function<void()>& before = {}) {
  for (auto _ : state) {
    if (before) {
      state.PauseTiming();
      before();
      state.ResumeTiming();
    }
    Sample(gdi);
  }
}

// What the server sends when a pointing device moves: the screen then asks
// for the position again at its next tick.
void TellOfMotion(Display* display, huevex::x11::X11Screen& screen) {
  int opcode = 0, event = 0, error = 0;
  XQueryExtension(display, "XInputExtension", &opcode, &event, &error);
  XEvent motion{};
  motion.xcookie.type = GenericEvent;
  motion.xcookie.extension = opcode;
  motion.xcookie.evtype = XI_RawMotion;
  screen.Handle(motion);
}

// Outside a pick, a pointer at rest is known without asking: one round trip,
// the pixel's.
void BM_TickPointerAtRest(benchmark::State& state) {
  const huevex::x11::DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return state.SkipWithError("no X display");
  huevex::x11::X11Screen screen(display.get());
  huevex::soft::SoftGdi gdi(screen);
  Tick(gdi, state);
}
BENCHMARK(BM_TickPointerAtRest);

// Outside a pick, after a movement the position is asked of the server: two
// round trips.
void BM_TickPointerMoved(benchmark::State& state) {
  const huevex::x11::DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return state.SkipWithError("no X display");
  huevex::x11::X11Screen screen(display.get());
  huevex::soft::SoftGdi gdi(screen);
  Tick(gdi, state, [&] { TellOfMotion(display.get(), screen); });
}
BENCHMARK(BM_TickPointerMoved);

// The screen source as a pick starts it, with the pointer grabbed at
// 100,100; its connection is run, as the loop does, until a pixel can be
// read (at once for the X root).
bool StartPick(huevex::x11::X11Screen& screen) {
  screen.ChooseSource(std::getenv("HUEVEX_SCREEN"));
  screen.Grabbed(true);
  screen.FollowPointer(huevex::Point{100, 100});
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::uint32_t pixel = 0;
  while (!screen.Read({100, 100, 101, 101}, &pixel)) {
    huevex::x11::Pollable* connection = screen.Connection();
    if (!connection || std::chrono::steady_clock::now() > end) return false;
    pollfd fds[huevex::x11::PollSet::kMaxPollableFds];
    const int n = connection->PollFds(fds, huevex::x11::PollSet::kMaxPollableFds);
    poll(fds, static_cast<nfds_t>(n), 10);
    connection->Dispatch();
  }
  return true;
}

// During a pick the grab's motion events tell the position: after a move
// (its event taken in, timed with the tick), one round trip on X11, the
// pixel's; none through the capture module, which reads the newest frame in
// memory.
void BM_TickFollowingTheGrab(benchmark::State& state) {
  const huevex::x11::DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return state.SkipWithError("no X display");
  huevex::x11::X11Screen screen(display.get());
  if (!StartPick(screen)) return state.SkipWithError("the screen source gives no frame");
  huevex::soft::SoftGdi gdi(screen);
  int x = 100;
  for (auto _ : state) {
    screen.FollowPointer(huevex::Point{x ^= 1, 100});  // the grab's motion event
    Sample(gdi);
  }
}
BENCHMARK(BM_TickFollowingTheGrab);

// The same with the pointer still over a still screen: on X11 the pixel is
// given again from memory, once the loop has taken in what the server sent.
void BM_TickFollowingTheGrabAtRest(benchmark::State& state) {
  const huevex::x11::DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return state.SkipWithError("no X display");
  huevex::x11::X11Screen screen(display.get());
  if (!StartPick(screen)) return state.SkipWithError("the screen source gives no frame");
  XSync(display.get(), False);
  while (XPending(display.get()) > 0) {
    XEvent event;
    XNextEvent(display.get(), &event);
    screen.Handle(event);
  }
  huevex::soft::SoftGdi gdi(screen);
  Tick(gdi, state);
}
BENCHMARK(BM_TickFollowingTheGrabAtRest);

// The magnifier's read: a block around the cursor.
void BM_ReadBlock(benchmark::State& state) {
  const huevex::x11::DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return state.SkipWithError("no X display");
  huevex::x11::X11Screen screen(display.get());
  const int side = static_cast<int>(state.range(0));
  std::vector<std::uint32_t> pixels(static_cast<size_t>(side) * side);
  for (auto _ : state) {
    benchmark::DoNotOptimize(screen.Read({100, 100, 100 + side, 100 + side}, pixels.data()));
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_ReadBlock)->Arg(15)->Arg(64)->Arg(256);

// One magnifier frame of the real program, shown on the server: tmrZoom's
// tick made to paint (its last position forgotten), with the pointer at rest
// as on a timed frame: the block around the pointer read from the screen,
// enlarged, the grid drawn, and the picture put into the window. Each frame
// then waits until the server has done all of it, and the loop takes in
// whatever the server sent, as the program's loop does between two frames.
// With `moved`, a raw motion event comes before each frame, so that the tick
// also asks the server where the pointer is, as while the pointer moves.
void MagnifierFrames(benchmark::State& state, bool moved) {
  const huevex::x11::DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return state.SkipWithError("no X display");
  huevex::x11::X11Screen screen(display.get());
  huevex::soft::SoftGdi gdi(screen);
  huevex::x11::X11Desktop desktop(display.get(), screen, gdi);
  huevex::Project project(gdi, desktop);
  project.Start();
  huevex::FrmZoom& zoom = project.frmZoom();
  project.runtime().Dispatch([&] { zoom.Show(); });
  for (int i = 0; i < 20; ++i) desktop.Step(std::chrono::milliseconds(5));  // mapped and exposed
  XWarpPointer(display.get(), None, DefaultRootWindow(display.get()), 0, 0, 0, 0, 300, 300);
  const huevex::TimerId timer = zoom.tmrZoom().Id();
  for (auto _ : state) {
    if (moved) {
      state.PauseTiming();
      TellOfMotion(display.get(), screen);
      state.ResumeTiming();
    }
    zoom.LastCursorX = -100;  // paints whether or not the pointer moved
    project.runtime().OnTimer(timer);
    XSync(display.get(), False);
    desktop.Step(std::chrono::milliseconds(0));
  }
}

void BM_MagnifierFrame(benchmark::State& state) { MagnifierFrames(state, false); }
BENCHMARK(BM_MagnifierFrame);

void BM_MagnifierFrameAfterMove(benchmark::State& state) { MagnifierFrames(state, true); }
BENCHMARK(BM_MagnifierFrameAfterMove);

}  // namespace

BENCHMARK_MAIN();
