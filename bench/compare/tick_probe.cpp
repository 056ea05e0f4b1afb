// The program under Wine, measured from inside for bench/compare.py (a
// console program, so that what it prints reaches the script):
//
//   huevex_wine_bench sample N          N screen reads as one sampling tick
//                                       makes them (cursor, screen context,
//                                       pixel, release)
//   huevex_wine_bench tick N X1 Y1 X2 Y2
//                                       N timSpy ticks of the real program,
//                                       the pointer alternating between two
//                                       screen points (every tick a new
//                                       color) and then resting on one
//   huevex_wine_bench run               the whole program; each pick (press
//                                       to release) prints its tick count,
//                                       ticks per second and tick times
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/project.h"
// The backends bring <windows.h>, which must come after the program's headers.
#include "shell/platform/win32/win32_gdi.h"
#include "shell/platform/win32/win32_windows.h"

namespace huevex::bench {
namespace {

double Now() {
  LARGE_INTEGER count, frequency;
  ::QueryPerformanceCounter(&count);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

// Median, 90th percentile and maximum of microsecond times.
std::string Summary(std::vector<double> times) {
  if (times.empty()) return "no samples";
  std::sort(times.begin(), times.end());
  const auto at = [&](double q) { return times[static_cast<size_t>(q * (times.size() - 1))]; };
  char text[160];
  std::snprintf(text, sizeof text, "median %.1f us, p90 %.1f us, max %.1f us (%zu samples)",
                at(0.5), at(0.9), times.back(), times.size());
  return text;
}

// Times every timer tick between a press and its release, and reports the
// pick when it ends.
class PickMeter : public WindowEvents {
 public:
  void Forward(WindowEvents* inner) { inner_ = inner; }

  void OnMouseDown(Hwnd window, MouseButton button, Point client) override {
    if (!picking_) {
      picking_ = true;
      ticks_.clear();
      started_ = Now();
    }
    inner_->OnMouseDown(window, button, client);
  }
  void OnMouseUp(Hwnd window, MouseButton button, Point client) override {
    inner_->OnMouseUp(window, button, client);
    if (!picking_) return;
    picking_ = false;
    const double seconds = (Now() - started_) / 1e6;
    std::printf("pick: %zu ticks in %.2f s = %.1f ticks/s; tick handler %s\n", ticks_.size(),
                seconds, static_cast<double>(ticks_.size()) / seconds, Summary(ticks_).c_str());
    std::fflush(stdout);
  }
  void OnCloseRequest(Hwnd window) override { inner_->OnCloseRequest(window); }
  void OnTimer(TimerId timer) override {
    const double start = Now();
    inner_->OnTimer(timer);
    if (picking_) ticks_.push_back(Now() - start);
  }
  void OnDpiChanged(Hwnd window, int dpi) override { inner_->OnDpiChanged(window, dpi); }
  void OnMonitorsChanged() override { inner_->OnMonitorsChanged(); }

 private:
  WindowEvents* inner_ = nullptr;
  bool picking_ = false;
  double started_ = 0;
  std::vector<double> ticks_;
};

// The real window system with the meter between it and the toolkit.
class MeteredWindows : public WindowSystem {
 public:
  explicit MeteredWindows(WindowSystem& inner) : inner_(inner) {}

  void SetListener(WindowEvents* listener) override {
    meter_.Forward(listener);
    inner_.SetListener(listener ? &meter_ : nullptr);
  }
  Hwnd CreateTopLevel(const WindowDesc& desc) override { return inner_.CreateTopLevel(desc); }
  void DestroyTopLevel(Hwnd window) override { inner_.DestroyTopLevel(window); }
  Insets FrameInsets(bool framed, int dpi) override { return inner_.FrameInsets(framed, dpi); }
  Rect GetOuterRect(Hwnd window) override { return inner_.GetOuterRect(window); }
  void MoveTopLevel(Hwnd window, Point p) override { inner_.MoveTopLevel(window, p); }
  void ResizeClient(Hwnd window, int width, int height) override {
    inner_.ResizeClient(window, width, height);
  }
  void ShowTopLevel(Hwnd window, bool visible) override { inner_.ShowTopLevel(window, visible); }
  bool IsMinimized(Hwnd window) override { return inner_.IsMinimized(window); }
  void SetTitle(Hwnd window, std::string_view utf8) override { inner_.SetTitle(window, utf8); }
  bool KeepOnTop(Hwnd window, bool activate) override { return inner_.KeepOnTop(window, activate); }
  void DrawTitleBarActive(Hwnd window) override { inner_.DrawTitleBarActive(window); }
  void Present(Hwnd window, Hdc surface) override { inner_.Present(window, surface); }
  void SetCapture(Hwnd window) override { inner_.SetCapture(window); }
  void ReleaseCapture() override { inner_.ReleaseCapture(); }
  void SetPointer(Hwnd window, const Picture* picture) override {
    inner_.SetPointer(window, picture);
  }
  TimerId SetTimer(unsigned interval_ms) override { return inner_.SetTimer(interval_ms); }
  void KillTimer(TimerId timer) override { inner_.KillTimer(timer); }
  bool SetClipboardText(Hwnd owner, std::string_view utf8) override {
    return inner_.SetClipboardText(owner, utf8);
  }
  int GetDpi(Hwnd window) override { return inner_.GetDpi(window); }
  std::vector<MonitorInfo> GetMonitors() override { return inner_.GetMonitors(); }
  void ShowError(Hwnd owner, std::string_view title, std::string_view message) override {
    inner_.ShowError(owner, title, message);
  }
  std::uint32_t GetTickCount() override { return inner_.GetTickCount(); }
  bool ScreenAwaitsAnswer() override { return inner_.ScreenAwaitsAnswer(); }
  void Run() override { inner_.Run(); }
  void Quit() override { inner_.Quit(); }

 private:
  WindowSystem& inner_;
  PickMeter meter_;
};

int Sample(int count) {
  win32::Win32Gdi gdi;
  std::vector<double> cursor, read, total;
  ColorValue last = 0;
  for (int i = 0; i < count; ++i) {
    const double start = Now();
    Point point{0, 0};
    gdi.GetCursorPos(&point);
    const double between = Now();
    const Hdc screen = gdi.GetDC(Hwnd{});
    last = gdi.GetPixel(screen, point.x, point.y);
    gdi.ReleaseDC(Hwnd{}, screen);
    const double end = Now();
    cursor.push_back(between - start);
    read.push_back(end - between);
    total.push_back(end - start);
  }
  std::printf("screen read, pointer at rest (cursor, context, pixel, release): %s\n",
              Summary(total).c_str());
  std::printf("  of which the cursor position: %s\n", Summary(cursor).c_str());
  std::printf("  of which context, pixel and release: %s; last pixel %06X\n", Summary(read).c_str(),
              static_cast<unsigned>(last));
  return 0;
}

int Tick(HINSTANCE instance, int count, Point first, Point second) {
  win32::Win32Gdi gdi;
  win32::Win32Windows windows(instance, 1);
  Project project(gdi, windows);
  project.Start();
  Timer& spy = project.frmMain().timSpy();
  spy.Enabled(true);
  const TimerId id = spy.Id();
  const auto measure = [&](bool alternate) {
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
      const Point p = alternate && (i & 1) ? second : first;
      ::SetCursorPos(p.x, p.y);
      const double start = Now();
      project.runtime().OnTimer(id);
      times.push_back(Now() - start);
    }
    return Summary(times);
  };
  const std::string changing = measure(true);
  const std::string resting = measure(false);
  spy.Enabled(false);
  std::printf("timSpy tick, new color every tick (swatch, codes, repaint): %s\n", changing.c_str());
  std::printf("timSpy tick, same color (codes rewritten, no repaint): %s\n", resting.c_str());
  return 0;
}

int Run(HINSTANCE instance) {
  win32::Win32Gdi gdi;
  win32::Win32Windows windows(instance, 1);
  MeteredWindows metered(windows);
  return RunHuevex(gdi, metered);
}

}  // namespace
}  // namespace huevex::bench

int main(int argc, char** argv) {
  using namespace huevex::bench;
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  if (argc == 3 && std::strcmp(argv[1], "sample") == 0) return Sample(std::atoi(argv[2]));
  if (argc == 7 && std::strcmp(argv[1], "tick") == 0) {
    return Tick(instance, std::atoi(argv[2]), {std::atoi(argv[3]), std::atoi(argv[4])},
                {std::atoi(argv[5]), std::atoi(argv[6])});
  }
  if (argc == 2 && std::strcmp(argv[1], "run") == 0) return Run(instance);
  std::fprintf(stderr, "usage: %s sample N | tick N X1 Y1 X2 Y2 | run\n", argv[0]);
  return 2;
}
