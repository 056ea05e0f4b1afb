// What the program costs on the simulated desktop: the codes, one sampling
// tick, one magnifier frame, and the software GDI's fills and copies.
#include <benchmark/benchmark.h>

#include "picker/codes.h"
#include "scenario/harness.h"
#include "shell/platform/gdi_owners.h"

namespace huevex {
namespace {

void BM_Codes(benchmark::State& state) {
  ColorValue v = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DecCode(v));
    benchmark::DoNotOptimize(RgbCode(v));
    benchmark::DoNotOptimize(HexCode(v));
    v = (v + 0x010203) & 0xFFFFFF;
  }
}
BENCHMARK(BM_Codes);

// One timSpy tick with the pointer moving over changing colors.
void BM_SamplingTick(benchmark::State& state) {
  testing::Desktop desk;
  desk.sim.log().Enable(false);
  for (int x = 0; x < 256; ++x) desk.sim.SetBackgroundPixel({300 + x, 300}, RGB(x, 255 - x, 7));
  desk.PressOnCrosshair();
  int i = 0;
  for (auto _ : state) {
    desk.sim.MoveCursor({300 + (i++ & 255), 300});
    desk.sim.Advance(1);
  }
  desk.sim.Release();
}
BENCHMARK(BM_SamplingTick);

// One magnifier frame: the cursor moves every tick, so every tick paints.
void BM_MagnifierFrame(benchmark::State& state) {
  testing::Desktop desk;
  desk.sim.log().Enable(false);
  desk.project.runtime().Dispatch([&] { desk.project.frmZoom().Show(); });
  int i = 0;
  for (auto _ : state) {
    desk.sim.MoveCursor({200 + (i++ & 63), 200});
    desk.sim.Advance(50);
  }
}
BENCHMARK(BM_MagnifierFrame);

void BM_PatBltLine(benchmark::State& state) {
  sim::SimDesktop desk;
  desk.log().Enable(false);
  Gdi& gdi = desk.gdi();
  const MemorySurface box(gdi, 139, 71);
  const GdiObject pattern(gdi, gdi.CreateCompatibleBitmap(box.dc(), 8, 8));
  const GdiObject brush(gdi, gdi.CreatePatternBrush(pattern.get()));
  const SelectedObject selected(gdi, box.dc(), brush.get());
  for (auto _ : state) benchmark::DoNotOptimize(gdi.PatBlt(box.dc(), 0, 30, 139, 1, PATCOPY));
}
BENCHMARK(BM_PatBltLine);

void BM_StretchBltFromScreen(benchmark::State& state) {
  sim::SimDesktop desk;
  desk.log().Enable(false);
  const MemorySurface box(desk.gdi(), 139, 71);
  for (auto _ : state) {
    const ScreenDC screen(desk.gdi());
    desk.gdi().StretchBlt(box.dc(), 0, 0, 140, 80, screen.get(), 494, 397, 14, 8, SRCCOPY);
  }
}
BENCHMARK(BM_StretchBltFromScreen);

}  // namespace
}  // namespace huevex

BENCHMARK_MAIN();
