// The whole road of a frame measured from outside: the virtual camera runs
// as its own process (pelnik-virtcam, sensor timing on), so this process's
// CPU time is the library's alone: transport from the socket into the ring,
// the copy out of the ring, the chain with automatic white balance, the
// copy into the application's buffer and the frame message.
// Counters: library CPU milliseconds per delivered frame, delivered frames
// per second, and for two cameras each camera's rate.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "PelnikMessages.h"
#include "PelnikSdk_R5M_LX.h"
#include "private_directories.h"

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

int strideFor(int bits) { return (kWidth * (bits / 8) + 3) / 4 * 4; }

// The output depth of a colour mode set with `setBits` (64 gives colour 58).
int outputBitsOf(int setBits) { return setBits == 58 ? 64 : setBits; }

// Every stage of the chain on, automatic white balance included.
void everyStage(int handle) {
  Pelnik_SetBrightness(handle, 30);
  Pelnik_SetContrast(handle, 25);
  Pelnik_SetHue(handle, 40);
  Pelnik_SetSaturation(handle, 60);
  Pelnik_SetSharpness(handle, 15);
  Pelnik_SetGamma(handle, 70);
  Pelnik_SetBayerGainAuto(handle, 1);
}

// One camera streaming into an application buffer, announced to a message
// window of its own.
struct Stream {
  int handle = 0;
  int window = 0;
  std::vector<unsigned char> buffer;
  bool started = false;

  // Opening a handle opens camera 0 first: every handle is opened before
  // any stream starts.
  explicit Stream(int number) {
    handle = Pelnik_Initialize(0);
    if (handle > 0 && number != 0 && Pelnik_SetDeviceNumber(handle, number) != 1) handle = -handle;
  }
  void start(int setBits) {
    if (handle <= 0) return;
    Pelnik_SetColorMode(handle, setBits);
    everyStage(handle);
    window = PelnikMsg_CreateWindow();
    buffer.resize(std::size_t(strideFor(outputBitsOf(setBits))) * kHeight);
    started = Pelnik_CallBackPreview(handle, window, buffer.data(), int(buffer.size()), 1) == 1;
  }
  ~Stream() {
    if (handle != 0) {
      Pelnik_StopPreview(handle < 0 ? -handle : handle);
      Pelnik_Release(handle < 0 ? -handle : handle);
    }
    if (window) PelnikMsg_DestroyWindow(window);
  }
  Stream(const Stream &) = delete;
  Stream &operator=(const Stream &) = delete;

  // Waits up to `timeoutMs` for the next frame message.
  bool nextFrame(int timeoutMs) {
    PelnikMsg m{};
    while (PelnikMsg_Get(window, &m, timeoutMs) == 1)
      if (m.message == PELNIK_WM_FRAME && m.wParam != 0) return true;
    return false;
  }
};

void BM_RoadCpuPerFrame(benchmark::State &state) {
  const int setBits = static_cast<int>(state.range(0));
  Stream stream(0);
  stream.start(setBits);
  if (!stream.started) {
    state.SkipWithError("preview did not start");
    return;
  }
  for (int i = 0; i < 10; ++i) stream.nextFrame(6000);  // warm up, white balance settles
  const double cpu0 = processCpuSeconds();
  const auto wall0 = Clock::now();
  std::int64_t delivered = 0;
  for (auto _ : state) {
    if (!stream.nextFrame(6000)) {
      state.SkipWithError("no frame within 6 s");
      break;
    }
    ++delivered;
  }
  const double cpu = processCpuSeconds() - cpu0;
  const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
  state.counters["library_cpu_ms_per_frame"] = delivered ? cpu * 1e3 / double(delivered) : 0;
  state.counters["delivered_fps"] = double(delivered) / wall;
  state.SetLabel(setBits == 64 ? "colour 58, every stage" : "colour 24, every stage");
}
BENCHMARK(BM_RoadCpuPerFrame)
    ->Arg(24)
    ->Arg(64)
    ->ArgName("set")
    ->Iterations(150)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Two cameras in colour 58 with every stage, both streaming for five
// seconds: each camera's delivered rate against the sensor's.
void BM_TwoCamerasColour58(benchmark::State &state) {
  for (auto _ : state) {
    Stream first(0), second(1);
    first.start(64);
    second.start(64);
    if (!first.started || !second.started) {
      state.SkipWithError("preview did not start");
      return;
    }
    for (int i = 0; i < 5; ++i) {
      first.nextFrame(6000);
      second.nextFrame(6000);
    }
    // Frames queued during the warm-up are not counted.
    while (first.nextFrame(0)) {
    }
    while (second.nextFrame(0)) {
    }
    std::int64_t counts[2] = {0, 0};
    const double cpu0 = processCpuSeconds();
    const auto wall0 = Clock::now();
    const auto until = wall0 + std::chrono::seconds(5);
    // One thread per camera takes its messages, as an application would.
    auto take = [&](Stream &s, std::int64_t &count) {
      while (Clock::now() < until)
        if (s.nextFrame(100)) ++count;
    };
    std::thread a(take, std::ref(first), std::ref(counts[0]));
    std::thread b(take, std::ref(second), std::ref(counts[1]));
    a.join();
    b.join();
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const double cpu = processCpuSeconds() - cpu0;
    state.counters["first_fps"] = double(counts[0]) / wall;
    state.counters["second_fps"] = double(counts[1]) / wall;
    state.counters["library_cpu_ms_per_frame"] =
        counts[0] + counts[1] ? cpu * 1e3 / double(counts[0] + counts[1]) : 0;
  }
  state.SetLabel("colour 58 (set with 64), every stage, two cameras");
}
BENCHMARK(BM_TwoCamerasColour58)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Frames the stream loses while the application saves the current picture
// (argument: the still-image format, 2 JPEG, 5 PNG) back to back for four
// seconds, colour 24 with every stage: the rate without saves against the
// rate during them, per save, and the longest wait between two frames.
void BM_StreamWhileSaving(benchmark::State &state) {
  const int format = static_cast<int>(state.range(0));
  const char *path = std::getenv("XDG_RUNTIME_DIR");
  const std::string name =
      std::string(path ? path : "/tmp") + (format == 5 ? "/saved.png" : "/saved.jpg");
  for (auto _ : state) {
    Stream stream(0);
    stream.start(24);
    if (!stream.started) {
      state.SkipWithError("preview did not start");
      return;
    }
    for (int i = 0; i < 10; ++i) stream.nextFrame(6000);
    // The rate without saves.
    auto count = [&](double seconds, double &longestGapMs) {
      std::int64_t frames = 0;
      auto last = Clock::now();
      const auto until = last + std::chrono::duration<double>(seconds);
      while (Clock::now() < until) {
        if (!stream.nextFrame(100)) continue;
        const auto now = Clock::now();
        longestGapMs =
            std::max(longestGapMs, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        ++frames;
      }
      return frames;
    };
    double quietGap = 0, savingGap = 0;
    const double quietFps = double(count(2.0, quietGap)) / 2.0;
    std::atomic<bool> saving{true};
    std::atomic<int> saves{0};
    std::thread saver([&] {
      while (saving.load()) {
        if (Pelnik_SaveImage(stream.handle, name.c_str(), format) == 1) ++saves;
      }
    });
    const std::int64_t frames = count(4.0, savingGap);
    saving = false;
    saver.join();
    const double lost = std::max(0.0, quietFps * 4.0 - double(frames));
    state.counters["fps_without_saves"] = quietFps;
    state.counters["fps_while_saving"] = double(frames) / 4.0;
    state.counters["saves"] = saves.load();
    state.counters["frames_lost_per_save"] = saves.load() ? lost / saves.load() : 0;
    state.counters["longest_gap_ms"] = savingGap;
  }
  state.SetLabel(format == 5 ? "PNG saves, colour 24" : "JPEG q100 saves, colour 24");
}
BENCHMARK(BM_StreamWhileSaving)
    ->Arg(2)
    ->Arg(5)
    ->ArgName("format")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// pelnik-virtcam beside the bench directory of the build, or $PELNIK_VIRTCAM.
std::string virtcamPath() {
  if (const char *given = std::getenv("PELNIK_VIRTCAM")) return given;
  std::error_code ignored;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ignored);
  return (self.parent_path().parent_path() / "pelnik-virtcam").string();
}

// The virtual camera as a second process serving cameras 0 and 1; stopped
// by SIGINT and waited for.
class VirtualCameraProcess {
 public:
  explicit VirtualCameraProcess(const std::string &runtime) {
    const std::string program = virtcamPath();
    std::vector<std::string> args = {program, "--cameras", "0,1", "--quiet"};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
      pid_ = 0;
      return;
    }
    const auto socket = std::filesystem::path(runtime) / "pelnik" / "PNikR5MLX-1";
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ready_ = std::filesystem::exists(socket);
  }
  ~VirtualCameraProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGINT);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  VirtualCameraProcess(const VirtualCameraProcess &) = delete;
  VirtualCameraProcess &operator=(const VirtualCameraProcess &) = delete;
  bool ready() const { return ready_; }

 private:
  pid_t pid_ = 0;
  bool ready_ = false;
};

}  // namespace

int main(int argc, char **argv) {
  const std::string root = pelnik::bench::makePrivateDirectories();
  if (root.empty()) {
    std::fprintf(stderr, "no private directory\n");
    return 1;
  }
  int result = 0;
  {
    VirtualCameraProcess camera(root + "/runtime");
    if (!camera.ready()) {
      std::fprintf(stderr, "pelnik-virtcam did not start (%s)\n", virtcamPath().c_str());
      result = 1;
    } else {
      benchmark::Initialize(&argc, argv);
      benchmark::RunSpecifiedBenchmarks();
      benchmark::Shutdown();
    }
  }
  pelnik::bench::removePrivateDirectories(root);
  return result;
}
