// End-to-end acquisition: frames delivered to the application per second at
// full frame, against an uncapped embedded virtual camera with wait time 0.
// Counters: delivered frames per second, delivered / generated frames,
// latency from the virtual camera finishing a frame to the application
// holding its message (colour 8, where the frame stamp survives the chain),
// and process CPU time per delivered frame (the virtual camera's rendering
// runs in this process too and is included).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"
#include "private_directories.h"
#include "virtcam/frame_stamp.h"
#include "virtcam/virtual_camera.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr std::uint32_t kImageRead = 0x222051;

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

int strideFor(int bits) { return (kWidth * (bits / 8) + 3) / 4 * 4; }

struct Arrival {
  std::uint32_t frameNumber;
  Clock::time_point at;
};

// Completion times of the camera's successful image reads, by frame number
// (the n-th delivered frame carries number n).
std::vector<Clock::time_point> frameFinishTimes(const pelnik::virtcam::CameraUnit &unit) {
  std::vector<Clock::time_point> finished{Clock::time_point{}};
  for (const auto &record : unit.protocolLog())
    if (record.code == kImageRead && record.pipe == 2 && record.succeeded)
      finished.push_back(record.completedAt);
  return finished;
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * double(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

void BM_DeliveredFrames(benchmark::State &state) {
  const int setBits = static_cast<int>(state.range(0));
  pelnik::virtcam::VirtualCameraOptions options;
  options.cameras = {0};
  options.controlSocket = false;
  options.camera.sensorTiming = false;
  pelnik::virtcam::VirtualCamera camera(options);
  if (!camera.ok()) {
    state.SkipWithError(camera.error().c_str());
    return;
  }
  auto &unit = *camera.camera(0);
  const int handle = Pelnik_Initialize(0);
  Pelnik_SetColorMode(handle, setBits);
  Pelnik_SetWaitTime(handle, 0);
  const int target = PelnikMsg_CreateWindow();
  std::vector<unsigned char> buffer(std::size_t(strideFor(setBits)) * kHeight);
  if (!Pelnik_CallBackPreview(handle, target, buffer.data(), int(buffer.size()), 1)) {
    state.SkipWithError("preview did not start");
    return;
  }
  auto nextFrame = [&]() {
    PelnikMsg m{};
    while (PelnikMsg_Get(target, &m, 6000) == 1)
      if (m.message == PELNIK_WM_FRAME && m.wParam != 0) return true;
    return false;
  };
  for (int i = 0; i < 5; ++i) nextFrame();  // warm up

  std::vector<Arrival> arrivals;
  arrivals.reserve(4096);
  const std::uint64_t generated0 = unit.framesDelivered();
  const double cpu0 = processCpuSeconds();
  const auto wall0 = Clock::now();
  std::int64_t delivered = 0;
  for (auto _ : state) {
    if (!nextFrame()) {
      state.SkipWithError("no frame within 6 s");
      break;
    }
    const auto at = Clock::now();
    ++delivered;
    if (setBits == 8)
      if (const auto stamp = pelnik::virtcam::readFrameStamp(buffer.data(), kWidth, 1))
        arrivals.push_back({stamp->frameNumber, at});
  }
  const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
  const double cpu = processCpuSeconds() - cpu0;
  const std::uint64_t generated = unit.framesDelivered() - generated0;
  Pelnik_StopPreview(handle);

  std::vector<double> latencies;
  const auto finished = frameFinishTimes(unit);
  for (const Arrival &a : arrivals)
    if (a.frameNumber < finished.size())
      latencies.push_back(
          std::chrono::duration<double, std::micro>(a.at - finished[a.frameNumber]).count());

  state.counters["delivered_fps"] = double(delivered) / wall;
  state.counters["delivered_per_generated"] = generated ? double(delivered) / double(generated) : 0;
  state.counters["cpu_ms_per_frame"] = delivered ? cpu * 1e3 / double(delivered) : 0;
  if (!latencies.empty()) {
    state.counters["latency_median_us"] = percentile(latencies, 0.5);
    state.counters["latency_p99_us"] = percentile(latencies, 0.99);
  }
  Pelnik_Release(handle);
  PelnikMsg_DestroyWindow(target);
}

BENCHMARK(BM_DeliveredFrames)
    ->Arg(8)
    ->Arg(24)
    ->Arg(64)
    ->ArgName("colour")
    ->Iterations(300)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
  const std::string root = pelnik::bench::makePrivateDirectories();
  if (root.empty()) {
    std::fprintf(stderr, "no private directory\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  pelnik::bench::removePrivateDirectories(root);
  return 0;
}
