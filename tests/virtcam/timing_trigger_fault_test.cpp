// Frame timing, trigger mode, the image-read time-outs and injected faults.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "direct_camera.h"

namespace {

using namespace pelnik::virtcam;
using direct::DirectCamera;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr std::uint32_t kFullFrame8 = 1280 * 1024;

double millisecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

TEST(Timing, FramePeriodIsTheLongerOfRowsAndExposureInLinePeriods) {
  CameraRegisters r = CameraRegisters::powerUp();
  r.sensor[sensor_reg::kExposureLines] = 512;
  EXPECT_NEAR(r.framePeriodMs(), 1024 * 0.0314386, 1e-9);
  EXPECT_NEAR(1000.0 / r.framePeriodMs(), 31.06, 0.05);  // full frame near 31 fps
  r.sensor[sensor_reg::kExposureLines] = 3000;
  EXPECT_NEAR(r.framePeriodMs(), 3000 * 0.0314386, 1e-9);
  r.sensor[sensor_reg::kExposureLines] = 100;
  r.sensor[sensor_reg::kRowCount] = 240;
  EXPECT_NEAR(r.framePeriodMs(), 240 * 0.0314386, 1e-9);
  r.sensor[sensor_reg::kResolution] = 0x0201;  // subsampled: half the rows are read
  EXPECT_NEAR(r.framePeriodMs(), 120 * 0.0314386, 1e-9);
}

TEST(Timing, StreamingPacesFramesAtTheSensorPeriod) {
  DirectCamera camera;
  camera.writeSensor(14, 512);
  // Frames end one period apart, the first at most a period after the
  // start: kFrames + 1 frames take at least kFrames periods.
  constexpr int kFrames = 6;
  const auto start = SteadyClock::now();
  for (int i = 0; i <= kFrames; ++i) {
    camera.command({0x02});
    ASSERT_EQ(camera.image(kFullFrame8).returned, kFullFrame8);
  }
  const double period = millisecondsSince(start) / kFrames;
  EXPECT_GE(period, 1024 * 0.0314386);
  // A small window runs faster.
  camera.setWindow(0, 0, 320, 200, false);
  camera.writeSensor(14, 100);
  const std::uint32_t small = std::uint32_t(camera.unit.registers().layout().transferBytes());
  const auto smallStart = SteadyClock::now();
  for (int i = 0; i <= kFrames; ++i) {
    camera.command({0x02});
    ASSERT_EQ(camera.image(small).returned, small);
  }
  EXPECT_LT(millisecondsSince(smallStart) / kFrames, period / 2);
}

TEST(Timing, FrameRateCapSpacesDeliveries) {
  CameraOptions options;
  options.sensorTiming = false;
  options.maxFrameRate = 20;
  DirectCamera camera(0, options);
  const auto start = SteadyClock::now();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(camera.image(kFullFrame8).ok);
  EXPECT_GE(millisecondsSince(start), 4 * 50);
}

TEST(Trigger, AReadWaitsForASoftwareTrigger) {
  DirectCamera camera;
  camera.writeFpga(11, 0x25);
  camera.setTimeout(3000);
  auto read = std::async(std::launch::async, [&] { return camera.image(kFullFrame8); });
  EXPECT_EQ(read.wait_for(150ms), std::future_status::timeout);
  const auto triggered = SteadyClock::now();
  camera.unit.trigger();
  const auto result = read.get();
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.returned, kFullFrame8);
  // The frame is exposed and read after the trigger.
  EXPECT_GE(millisecondsSince(triggered), camera.unit.registers().framePeriodMs() * 0.9);
}

TEST(Trigger, ATriggerBeforeTheReadIsKeptButOnlyOnce) {
  CameraOptions options;
  options.sensorTiming = false;
  DirectCamera camera(0, options);
  camera.writeFpga(11, 0x25);
  camera.setTimeout(200);
  camera.unit.trigger();
  camera.unit.trigger();
  EXPECT_TRUE(camera.image(kFullFrame8).ok);
  EXPECT_FALSE(camera.image(kFullFrame8).ok);
}

TEST(Trigger, WithoutATriggerTheReadFailsAfterTheLastTimeOutRequest) {
  DirectCamera camera;
  camera.writeFpga(11, 0x25);
  camera.setTimeout(5000);
  camera.setTimeout(250);  // the last one counts
  const auto start = SteadyClock::now();
  const auto result = camera.image(kFullFrame8);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.returned, 0u);
  EXPECT_GE(millisecondsSince(start), 240);
  EXPECT_LT(millisecondsSince(start), 2000);
  EXPECT_EQ(camera.unit.protocolLog().back().failure, "time-out");
}

TEST(Trigger, PeriodicTriggerDeliversFrames) {
  CameraOptions options;
  options.sensorTiming = false;
  options.triggerPeriodMs = 60;
  DirectCamera camera(0, options);
  camera.writeFpga(11, 0x25);
  camera.setTimeout(1000);
  const auto start = SteadyClock::now();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(camera.image(kFullFrame8).ok);
  EXPECT_GE(millisecondsSince(start), 2 * 60 * 0.9);
  // Each read came from a trigger, none waited out its 1000 ms time-out
  // (slow sanitizer builds on a loaded machine take most of the rest).
  EXPECT_LT(millisecondsSince(start), 3000);
}

TEST(Faults, AStalledCameraFailsReadsAfterItsOwnTimeOutUntilResumed) {
  CameraOptions options;
  options.defaultReadTimeoutMs = 300;
  DirectCamera camera(0, options);
  camera.unit.setFault(Fault::Stall, true);
  const auto start = SteadyClock::now();
  EXPECT_FALSE(camera.image(kFullFrame8).ok);
  EXPECT_GE(millisecondsSince(start), 290);
  // Resuming releases a read that is waiting.
  auto read = std::async(std::launch::async, [&] { return camera.image(kFullFrame8); });
  std::this_thread::sleep_for(100ms);
  camera.unit.setFault(Fault::Stall, false);
  EXPECT_TRUE(read.get().ok);
}

TEST(Faults, TheDefaultReadTimeOutIsAFewSeconds) {
  DirectCamera camera;
  EXPECT_EQ(camera.unit.readTimeoutMs(), kDefaultReadTimeoutMs);
  EXPECT_GE(kDefaultReadTimeoutMs, 2000);
  EXPECT_LE(kDefaultReadTimeoutMs, 5000);
  camera.setTimeout(0);  // no time-out of its own: the camera's stays
  EXPECT_EQ(camera.unit.readTimeoutMs(), kDefaultReadTimeoutMs);
}

TEST(Faults, ShortReadsHalveTheTransferOnceOrUntilHealed) {
  CameraOptions options;
  options.sensorTiming = false;
  DirectCamera camera(0, options);
  camera.unit.setFault(Fault::ShortNextRead, true);
  EXPECT_EQ(camera.image(kFullFrame8).returned, kFullFrame8 / 2);
  EXPECT_EQ(camera.image(kFullFrame8).returned, kFullFrame8);
  camera.unit.setFault(Fault::ShortReads, true);
  EXPECT_EQ(camera.image(kFullFrame8).returned, kFullFrame8 / 2);
  EXPECT_EQ(camera.image(kFullFrame8).returned, kFullFrame8 / 2);
  camera.unit.heal();
  EXPECT_EQ(camera.image(kFullFrame8).returned, kFullFrame8);
}

TEST(Faults, UnplugFailsEveryRequestAndEndsAWaitingRead) {
  DirectCamera camera;
  camera.unit.setFault(Fault::Stall, true);
  auto read = std::async(std::launch::async, [&] { return camera.image(kFullFrame8); });
  std::this_thread::sleep_for(100ms);
  const auto start = SteadyClock::now();
  camera.unit.setUnplugged(true);
  EXPECT_FALSE(read.get().ok);
  EXPECT_LT(millisecondsSince(start), 500);
  EXPECT_FALSE(camera.command({0x26, 7}).ok);
  camera.unit.setUnplugged(false);
  EXPECT_TRUE(camera.command({0x26, 7}).ok);
}

}  // namespace
