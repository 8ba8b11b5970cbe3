// The preview's cost per frame. PreviewConvert: the work done under the
// frame lock (choosing the picture and writing it into the window's image),
// 1:1 and scaled, colour 24 and mono 8, at full frame. PreviewOnXvfb: the
// same through a real window on an Xvfb started here, per frame the server
// took. AcquisitionWithPreview: frames per second delivered at full frame
// at the sensor's rate, with a preview window open and without.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"
#include "imaging/image_buffer.h"
#include "preview/preview_painter.h"
#include "preview/x11/x11_preview.h"
#include "support/display/x_session.h"
#include "virtcam/virtual_camera.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
// The scaled case: the picture into a window a little over half its size.
constexpr int kScaledWidth = 700;
constexpr int kScaledHeight = 560;

pelnik::CImageBuffer &picture(int bits) {
  static pelnik::CImageBuffer pictures[2];
  pelnik::CImageBuffer &p = pictures[bits == 8 ? 0 : 1];
  if (p.IsEmpty()) {
    p.Create(kWidth, kHeight, bits);
    std::mt19937 random(1);
    for (std::size_t i = 0; i < p.ByteSize(); ++i) p.Pixels()[i] = std::uint8_t(random());
  }
  return p;
}

pelnik::PreviewPicture previewOf(pelnik::CImageBuffer &b) {
  return {{b.Pixels(), b.Stride(), b.Height()}, b.Width(), b.Height(), b.BitCount()};
}

void BM_PreviewConvert(benchmark::State &state) {
  const int bits = static_cast<int>(state.range(0));
  const bool scaled = state.range(1) != 0;
  const int w = scaled ? kScaledWidth : kWidth, h = scaled ? kScaledHeight : kHeight;
  std::vector<std::uint8_t> canvas(std::size_t(w) * 4 * h);
  const pelnik::WindowPixelFormat format{32, 0xFF0000u, 0xFF00u, 0xFFu, false};
  pelnik::PreviewPainter painter;
  for (auto _ : state) {
    painter.choosePicture(previewOf(picture(bits)));
    benchmark::DoNotOptimize(
        painter.draw(painter.pathFor(w, h), canvas.data(), w, h, w * 4, format));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PreviewConvert)
    ->ArgNames({"bits", "scaled"})
    ->Args({24, 0})
    ->Args({24, 1})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Unit(benchmark::kMillisecond);

std::unique_ptr<pelnik::test::XvfbServer> &server() {
  static std::unique_ptr<pelnik::test::XvfbServer> instance;
  if (!instance) instance = std::make_unique<pelnik::test::XvfbServer>(kWidth + 200, kHeight + 200);
  return instance;
}

void BM_PreviewOnXvfb(benchmark::State &state) {
  const int bits = static_cast<int>(state.range(0));
  const bool scaled = state.range(1) != 0;
  if (!server()->ok()) {
    state.SkipWithError(server()->error().c_str());
    return;
  }
  pelnik::X11Preview preview(&state);
  const int w = scaled ? kScaledWidth : kWidth, h = scaled ? kScaledHeight : kHeight;
  if (preview.open({0, 0, 0, kWidth, kHeight}, {w, h}) !=
      pelnik::PreviewSurface::OpenResult::Shown) {
    state.SkipWithError("no preview window");
    return;
  }
  const pelnik::PreviewPicture p = previewOf(picture(bits));
  auto putOne = [&] {
    const std::uint64_t before = preview.framesPut();
    while (preview.framesPut() == before) {
      preview.paint(p);
      preview.present();
      std::this_thread::yield();
    }
  };
  putOne();  // the window's image is made with the first frames
  for (auto _ : state) putOne();
  state.SetItemsProcessed(state.iterations());
  state.counters["shared_memory"] = preview.sharedMemory() ? 1 : 0;
}
BENCHMARK(BM_PreviewOnXvfb)
    ->ArgNames({"bits", "scaled"})
    ->Args({24, 0})
    ->Args({24, 1})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_AcquisitionWithPreview(benchmark::State &state) {
  const bool withWindow = state.range(0) != 0;
  if (!server()->ok()) {
    state.SkipWithError(server()->error().c_str());
    return;
  }
  pelnik::virtcam::VirtualCameraOptions options;
  options.cameras = {0};
  options.controlSocket = false;
  options.camera.sensorTiming = true;  // frames at the sensor's rate
  pelnik::virtcam::VirtualCamera camera(options);
  if (!camera.ok()) {
    state.SkipWithError(camera.error().c_str());
    return;
  }
  const int target = PelnikMsg_CreateWindow();
  const int handle = Pelnik_Initialize(0);
  Pelnik_SetColorMode(handle, 24);
  Pelnik_SetWaitTime(handle, 0);
  // The default placement opens a top-level window of the image size.
  if (!withWindow) Pelnik_SetPreviewWindow(handle, 0, 0, 0, 0, 0);
  if (!Pelnik_CallBackPreview(handle, target, nullptr, 0, 1)) {
    state.SkipWithError("preview did not start");
    return;
  }
  PelnikMsg m{};
  PelnikMsg_Get(target, &m, 5000);  // the first frame
  long frames = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (PelnikMsg_Get(target, &m, 5000) == 1 && m.message == PELNIK_WM_FRAME && m.wParam != 0)
      ++frames;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Pelnik_Close(handle);
  Pelnik_Release(handle);
  PelnikMsg_DestroyWindow(target);
  state.counters["frames_per_second"] = double(frames) / seconds;
}
BENCHMARK(BM_AcquisitionWithPreview)
    ->ArgName("window")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
