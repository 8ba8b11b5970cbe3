// The virtual camera's own costs: frame generation, streaming full frames
// through the socket transport, and the round trip of one control request.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>

#include "platform/device_wire.h"
#include "platform/posix/socket_transport.h"
#include "virtcam/frame_renderer.h"
#include "virtcam/virtual_camera.h"

namespace {

using namespace pelnik;
namespace wire = platform::wire;

virtcam::FrameSettings fullFrame(bool wide) {
  virtcam::FrameSettings settings;
  settings.registers.fpga[virtcam::fpga_reg::kPixelWidth] = wide ? 1 : 0;
  return settings;
}

void renderFrames(benchmark::State &state, bool wide, double noise) {
  virtcam::FrameRenderer renderer(virtcam::makeTestChart());
  virtcam::FrameSettings settings = fullFrame(wide);
  settings.noise.sigma = noise;
  std::vector<std::uint8_t> out(settings.registers.layout().transferBytes());
  for (auto _ : state) {
    renderer.render(settings, out);
    benchmark::DoNotOptimize(out.data());
    ++settings.frameNumber;  // the moving element and counter change each frame
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
}

void BM_GenerateFullFrame8(benchmark::State &state) { renderFrames(state, false, 0); }
void BM_GenerateFullFrame16(benchmark::State &state) { renderFrames(state, true, 0); }
void BM_GenerateFullFrame16Noise(benchmark::State &state) { renderFrames(state, true, 4); }
BENCHMARK(BM_GenerateFullFrame8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenerateFullFrame16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenerateFullFrame16Noise)->Unit(benchmark::kMillisecond);

// A private runtime directory and an embedded camera for the transport runs.
class EmbeddedCamera {
 public:
  explicit EmbeddedCamera(bool sensorTiming) {
    char pattern[] = "/tmp/pelnik-bench-XXXXXX";
    directory_ = mkdtemp(pattern) ? pattern : "";
    virtcam::VirtualCameraOptions options;
    options.directory = directory_;
    options.controlSocket = false;
    options.camera.sensorTiming = sensorTiming;
    options.camera.logCapacity = 1024;
    camera_ = std::make_unique<virtcam::VirtualCamera>(options);
  }
  ~EmbeddedCamera() {
    camera_.reset();
    rmdir(directory_.c_str());
  }
  const std::string &directory() const { return directory_; }
  virtcam::VirtualCamera &camera() { return *camera_; }

 private:
  std::string directory_;
  std::unique_ptr<virtcam::VirtualCamera> camera_;
};

bool sendCommand(platform::DeviceTransport &transport, platform::DeviceHandle h,
                 std::array<std::uint8_t, 64> &block, std::uint32_t code) {
  std::uint8_t pipe[4] = {0, 0, 0, 0};
  std::uint32_t returned = 0;
  return transport.control(h, code, pipe, 4, block.data(), 64, returned) && returned == 64;
}

// The streaming loop's traffic: frame request, then a whole 16-bit frame.
void BM_StreamFullFrames16(benchmark::State &state) {
  EmbeddedCamera embedded(state.range(0) != 0);
  embedded.camera().camera(0)->setFpgaRegister(virtcam::fpga_reg::kPixelWidth, 1);
  platform::SocketTransport transport(embedded.directory());
  const platform::DeviceHandle h = transport.open("\\\\.\\" + wire::cameraSocketName(0));
  std::vector<std::uint8_t> frame(1280 * 1024 * 2);
  std::array<std::uint8_t, 64> request{0x02};
  std::uint8_t imagePipe[4] = {2, 0, 0, 0};
  for (auto _ : state) {
    sendCommand(transport, h, request, wire::kCodePipeOut);
    std::uint32_t returned = 0;
    if (!transport.control(h, wire::kCodePipeIn, imagePipe, 4, frame.data(),
                           std::uint32_t(frame.size()), returned) ||
        returned != frame.size()) {
      state.SkipWithError("image read failed");
      break;
    }
  }
  transport.close(h);
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(frame.size()));
  state.counters["frames/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamFullFrames16)
    ->Arg(0)
    ->ArgName("sensorTiming")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_StreamFullFrames16)
    ->Arg(1)
    ->ArgName("sensorTiming")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(62);

// One sensor register write on an open handle (the SDK's 5 ms settle is
// the SDK's own and not part of this).
void BM_RegisterWriteRoundTrip(benchmark::State &state) {
  EmbeddedCamera embedded(true);
  platform::SocketTransport transport(embedded.directory());
  const platform::DeviceHandle h = transport.open("\\\\.\\" + wire::cameraSocketName(0));
  std::array<std::uint8_t, 64> block{0x04, 0x03, 14 + 0x80, 0x02, 0x00};
  for (auto _ : state)
    if (!sendCommand(transport, h, block, wire::kCodePipeIn)) {
      state.SkipWithError("write failed");
      break;
    }
  transport.close(h);
}
BENCHMARK(BM_RegisterWriteRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same with the open and close every SDK register operation does.
void BM_RegisterWriteWithOpenClose(benchmark::State &state) {
  EmbeddedCamera embedded(true);
  platform::SocketTransport transport(embedded.directory());
  const std::string path = "\\\\.\\" + wire::cameraSocketName(0);
  std::array<std::uint8_t, 64> block{0x04, 0x03, 14 + 0x80, 0x02, 0x00};
  for (auto _ : state) {
    const platform::DeviceHandle h = transport.open(path);
    const bool ok = sendCommand(transport, h, block, wire::kCodePipeIn);
    transport.close(h);
    if (!ok) {
      state.SkipWithError("write failed");
      break;
    }
  }
}
BENCHMARK(BM_RegisterWriteWithOpenClose)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
