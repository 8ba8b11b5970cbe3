// Sustained AVI recording at full frame, colour 24, for 10 s against the
// embedded virtual camera at its sensor's frame rate, the file on the
// temporary directory's disk. Counters: frames written per second; frames
// the preview loop finished per second meanwhile, and the share of them
// written (the recording takes the newest picture; pictures finished while it
// writes are skipped); finished per frame the camera delivered; process CPU
// per written frame, and the part of it the recording adds over streaming
// alone for the same time (the virtual camera renders in this process too).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"
#include "api/call_frame.h"
#include "private_directories.h"
#include "virtcam/virtual_camera.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSeconds = 10;

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Pictures the camera's preview loop has finished so far.
std::uint64_t picturesFinished(int handle) {
  std::uint64_t finished = 0;
  pelnik::withCamera(handle, [&](pelnik::CPelnik &c) {
    finished = c.Frames().picturesFinished();
    return 1;
  });
  return finished;
}

void BM_SustainedRecording(benchmark::State &state) {
  pelnik::virtcam::VirtualCameraOptions options;
  options.cameras = {0};
  options.controlSocket = false;
  options.camera.sensorTiming = true;
  pelnik::virtcam::VirtualCamera camera(options);
  if (!camera.ok()) {
    state.SkipWithError(camera.error().c_str());
    return;
  }
  auto &unit = *camera.camera(0);
  const int owner = PelnikMsg_CreateWindow();
  const int handle = Pelnik_Initialize(owner);
  Pelnik_SetColorMode(handle, 24);
  Pelnik_SetWaitTime(handle, 0);
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("pelnik-bench-" + std::to_string(getpid()) + ".avi"))
                               .string();

  for (auto _ : state) {
    // Streaming alone for the same time: the CPU the recording adds is the difference.
    if (!Pelnik_StartPreview(handle)) {
      state.SkipWithError("preview did not start");
      break;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double baseCpu0 = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
    const double baseCpu = processCpuSeconds() - baseCpu0;

    const std::uint64_t delivered0 = unit.framesDelivered();
    const std::uint64_t finished0 = picturesFinished(handle);
    const double cpu0 = processCpuSeconds();
    const auto wall0 = Clock::now();
    if (!Pelnik_Record(handle, path.c_str(), kSeconds * 1000, 0)) {
      state.SkipWithError("recording did not start");
      break;
    }
    PelnikMsg m{};
    std::uint32_t written = 0;
    bool ended = false;
    while (!ended && PelnikMsg_Get(owner, &m, 30000) == 1)
      if (m.message == PELNIK_WM_RECORD_END) {
        ended = true;
        written = static_cast<std::uint32_t>(m.lParam);
      }
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const double cpu = processCpuSeconds() - cpu0;
    const std::uint64_t delivered = unit.framesDelivered() - delivered0;
    const std::uint64_t finished = picturesFinished(handle) - finished0;
    Pelnik_StopPreview(handle);
    if (!ended || written == 0) {
      state.SkipWithError("the recording did not end with frames");
      break;
    }
    state.counters["written_fps"] = double(written) / wall;
    state.counters["finished_fps"] = double(finished) / wall;
    state.counters["written_per_finished"] = finished ? double(written) / double(finished) : 0;
    state.counters["finished_per_delivered"] = delivered ? double(finished) / double(delivered) : 0;
    state.counters["cpu_ms_per_written_frame"] = cpu * 1e3 / double(written);
    state.counters["recording_cpu_ms_per_frame"] =
        (cpu - baseCpu * wall / kSeconds) * 1e3 / double(written);
  }
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  Pelnik_Release(handle);
  PelnikMsg_DestroyWindow(owner);
}

BENCHMARK(BM_SustainedRecording)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

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
