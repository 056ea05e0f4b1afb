// One sampling tick against a real X server: the platform calls the picker
// makes on every timer tick (cursor position, screen context, one pixel,
// release), through the software GDI over the X root window; and one frame
// of the real magnifier. Run it with DISPLAY set (bench/x11/run.py and
// bench/compare.py start a private Xvfb for it).
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>

#include <chrono>

#include "shell/platform/soft/soft_gdi.h"
#include "shell/platform/x11/x11_desktop.h"
#include "shell/platform/x11/x11_handles.h"
#include "shell/platform/x11/x11_screen.h"
#include "shell/project.h"

namespace {

void Tick(huevex::Gdi& gdi, benchmark::State& state) {
  for (auto _ : state) {
    huevex::Point point{0, 0};
    gdi.GetCursorPos(&point);
    const huevex::Hdc screen = gdi.GetDC(huevex::Hwnd{});
    benchmark::DoNotOptimize(gdi.GetPixel(screen, point.x, point.y));
    gdi.ReleaseDC(huevex::Hwnd{}, screen);
  }
}

// Outside a pick the position is asked of the server: two round trips.
void BM_TickAskingThePointer(benchmark::State& state) {
  const huevex::x11::DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return state.SkipWithError("no X display");
  huevex::x11::X11Screen screen(display.get());
  huevex::soft::SoftGdi gdi(screen);
  Tick(gdi, state);
}
BENCHMARK(BM_TickAskingThePointer);

// During a pick the grab's motion events tell the position: one round trip.
void BM_TickFollowingTheGrab(benchmark::State& state) {
  const huevex::x11::DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) return state.SkipWithError("no X display");
  huevex::x11::X11Screen screen(display.get());
  screen.FollowPointer(huevex::Point{100, 100});
  huevex::soft::SoftGdi gdi(screen);
  Tick(gdi, state);
}
BENCHMARK(BM_TickFollowingTheGrab);

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
// tick with the cursor taken as moved, so that it paints: the pointer asked
// of the server, the block around it read from the screen, enlarged, the
// grid drawn, and the picture put into the window. Each frame then waits
// until the server has done all of it, and the loop takes in the put's
// completion, as the program's loop does between two frames.
void BM_MagnifierFrame(benchmark::State& state) {
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
    zoom.LastCursorX = -100;  // as if the cursor had moved
    project.runtime().OnTimer(timer);
    XSync(display.get(), False);
    desktop.Step(std::chrono::milliseconds(0));
  }
}
BENCHMARK(BM_MagnifierFrame);

}  // namespace

BENCHMARK_MAIN();
