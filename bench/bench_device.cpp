// The device layer's costs against the embedded virtual camera: streaming
// full frames through the ring into a packed window, and the round trip of
// one sensor register write without its settle.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/CPelnikR5MLXSdk.h"
#include "platform/posix/socket_transport.h"
#include "virtcam/virtual_camera.h"

namespace {

using namespace pelnik;

// The settle waits are the camera's, not the round trip's: not slept here.
class NoWaits final : public device::DeviceClock {
 public:
  void sleepMs(int) override {}
};

// A private directory with an embedded camera 0 that runs without frame
// timing, and a device object on it.
class Bench {
 public:
  Bench() {
    char pattern[] = "/tmp/pelnik-bench-device-XXXXXX";
    directory_ = mkdtemp(pattern) ? pattern : "";
    virtcam::VirtualCameraOptions options;
    options.directory = directory_;
    options.controlSocket = false;
    options.camera.sensorTiming = false;
    options.camera.logCapacity = 1024;
    camera_ = std::make_unique<virtcam::VirtualCamera>(options);
    transport_ = std::make_unique<platform::SocketTransport>(directory_);
    device_ = std::make_unique<device::CPelnikR5MLXSdk>(*transport_, clock_);
  }
  ~Bench() {
    device_.reset();
    transport_.reset();
    camera_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
  bool ok() const { return camera_->ok() && device_->IsDevicePresent(0); }
  device::CPelnikR5MLXSdk &device() { return *device_; }

 private:
  std::string directory_;
  NoWaits clock_;
  std::unique_ptr<virtcam::VirtualCamera> camera_;
  std::unique_ptr<platform::SocketTransport> transport_;
  std::unique_ptr<device::CPelnikR5MLXSdk> device_;
};

void streamFullFrames(benchmark::State &state, int wide) {
  Bench bench;
  if (!bench.ok()) {
    state.SkipWithError("virtual camera not available");
    return;
  }
  auto &device = bench.device();
  device.SetPixelWidth(wide);
  device.SetWindow(0, 0, 1280, 1024, 0);
  std::vector<std::uint8_t> window(device.PackedWindowBytes());
  if (device.StartStreaming() != 0) {
    state.SkipWithError("streaming did not start");
    return;
  }
  for (auto _ : state) {
    int result;
    do result = device.WaitFrame();
    while (result == device::kWaitSignalled);
    if (result != device::kWaitReady || device.FetchFrame(window.data(), window.size()) != 0) {
      state.SkipWithError("frame transfer failed");
      break;
    }
    benchmark::DoNotOptimize(window.data());
  }
  device.StopStreaming();
  state.SetItemsProcessed(std::int64_t(state.iterations()));
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(device.TransferBytes()));
  state.counters["frames_per_s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_StreamFullFrame8(benchmark::State &state) { streamFullFrames(state, 0); }
void BM_StreamFullFrame16(benchmark::State &state) { streamFullFrames(state, 1); }
BENCHMARK(BM_StreamFullFrame8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamFullFrame16)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SensorRegisterWrite(benchmark::State &state) {
  Bench bench;
  if (!bench.ok()) {
    state.SkipWithError("virtual camera not available");
    return;
  }
  std::uint16_t value = 1;
  for (auto _ : state) {
    if (!bench.device().WriteSensorRegister(14, value++ % 1000 + 1)) {
      state.SkipWithError("register write failed");
      break;
    }
  }
}
BENCHMARK(BM_SensorRegisterWrite)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
