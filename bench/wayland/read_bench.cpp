// What a read of the captured screen costs the program, apart from the
// compositor: the picker's one pixel and the magnifier's block, from frames
// of a 1920 x 1080 output at scale 1, 2 (3840 x 2160 buffer) and turned a
// quarter, and a block across two outputs; and what decoding the desktop
// portal's screenshot of such an output costs, once per pick.
#include <benchmark/benchmark.h>
#include <png.h>

#include <vector>

#include "shell/platform/wayland/output_map.h"
#include "shell/platform/wayland/png_image.h"

namespace huevex::wayland {
namespace {

struct Setup {
  std::vector<std::uint32_t> left, right;
  FrameView left_frame, right_frame;
  std::vector<OutputView> outputs;
  Setup(int scale, std::uint32_t transform) {
    const int w = 1920 * scale, h = 1080 * scale;
    left.assign(static_cast<size_t>(w) * h, 0x00336699);
    right.assign(static_cast<size_t>(w) * h, 0x00996633);
    const bool turned = transform & 1;
    left_frame = {reinterpret_cast<const std::uint8_t*>(left.data()),
                  turned ? h : w,
                  turned ? w : h,
                  (turned ? h : w) * 4,
                  1,
                  transform,
                  false,
                  0};
    right_frame = left_frame;
    right_frame.pixels = reinterpret_cast<const std::uint8_t*>(right.data());
    outputs = {{{0, 0, 1920, 1080}, &left_frame}, {{1920, 0, 3840, 1080}, &right_frame}};
  }
};

void Read(benchmark::State& state, int scale, std::uint32_t transform, Rect block) {
  Setup setup(scale, transform);
  std::vector<std::uint32_t> out(static_cast<size_t>(block.Width()) * block.Height());
  std::int64_t oldest = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadOutputs(setup.outputs, block, out.data(), &oldest));
    benchmark::ClobberMemory();
  }
}

// The picker reads one pixel a tick; the magnifier's 14 x 8 block (its
// picture at ten times) once a frame.
BENCHMARK_CAPTURE(Read, pixel_scale1, 1, 0, Rect{500, 400, 501, 401});
BENCHMARK_CAPTURE(Read, pixel_scale2, 2, 0, Rect{500, 400, 501, 401});
BENCHMARK_CAPTURE(Read, magnifier_scale1, 1, 0, Rect{493, 397, 507, 405});
BENCHMARK_CAPTURE(Read, magnifier_scale2, 2, 0, Rect{493, 397, 507, 405});
BENCHMARK_CAPTURE(Read, magnifier_turned, 1, 1, Rect{493, 397, 507, 405});
BENCHMARK_CAPTURE(Read, magnifier_across_outputs, 1, 0, Rect{1913, 397, 1927, 405});

// A 1920 x 1080 screenshot's PNG: bands of flat color with a gradient and
// some noise, so that it compresses about as a desktop does.
std::vector<std::uint8_t> ScreenshotPng() {
  std::vector<std::uint8_t> rgb(1920 * 1080 * 3);
  std::uint32_t noise = 1;
  for (int y = 0; y < 1080; ++y) {
    for (int x = 0; x < 1920; ++x) {
      noise = noise * 1664525u + 1013904223u;
      std::uint8_t* p = &rgb[(static_cast<size_t>(y) * 1920 + x) * 3];
      const bool busy = (y / 120) % 3 == 0;
      p[0] = static_cast<std::uint8_t>(x / 8);
      p[1] = static_cast<std::uint8_t>(busy ? noise >> 24 : 0x66);
      p[2] = static_cast<std::uint8_t>(y / 5);
    }
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 1920;
  image.height = 1080;
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
  std::vector<std::uint8_t> bytes(size);
  png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr);
  bytes.resize(size);
  return bytes;
}

void DecodeScreenshot(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = ScreenshotPng();
  for (auto _ : state) {
    Image image;
    std::string why;
    benchmark::DoNotOptimize(DecodePng(bytes, &image, &why));
  }
  state.counters["png_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(DecodeScreenshot)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace huevex::wayland

BENCHMARK_MAIN();
