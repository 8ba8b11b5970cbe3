// The device object against the embedded virtual camera with real waits:
// whole frames in the ring, unplug and stall during streaming, and the
// image-read time-out of trigger mode.
#include <gtest/gtest.h>

#include <thread>

#include "device/CPelnikR5MLXSdk.h"
#include "device/device_status.h"
#include "virtcam/frame_stamp.h"
#include "virtcam/virtual_camera.h"

namespace {

using namespace pelnik::device;
using pelnik::virtcam::ControlAction;

class DeviceOnVirtualCamera : public ::testing::Test {
 protected:
  void SetUp() override {
    pelnik::virtcam::VirtualCameraOptions options;
    options.cameras = {0, 2};
    options.controlSocket = false;
    camera_ = std::make_unique<pelnik::virtcam::VirtualCamera>(options);
    ASSERT_TRUE(camera_->ok()) << camera_->error();
    device_ = CPelnikR5MLXSdk::Create();
    ASSERT_NE(device_, nullptr);
  }
  void TearDown() override {
    if (device_) device_->StopStreaming();
  }
  int waitPastSignals() {
    int result;
    do result = device_->WaitFrame();
    while (result == kWaitSignalled);
    return result;
  }
  // Fetches the held frame and returns its stamp, checking that the first
  // and the last row come from the same camera frame.
  std::optional<pelnik::virtcam::FrameStamp> fetchStamped() {
    const auto &g = device_->Geometry();
    const int s = device_->SampleBytes();
    std::vector<std::uint8_t> window(device_->PackedWindowBytes());
    if (device_->FetchFrame(window.data(), window.size()) != 0) return std::nullopt;
    const auto first = pelnik::virtcam::readFrameStamp(window.data(), g.imageWidth, s);
    const auto last = pelnik::virtcam::readFrameStamp(
        window.data() + std::size_t(g.imageHeight - 1) * g.imageWidth * s, g.imageWidth, s);
    if (!first || !last || !(*first == *last)) return std::nullopt;
    return first;
  }

  std::unique_ptr<pelnik::virtcam::VirtualCamera> camera_;
  std::unique_ptr<CPelnikR5MLXSdk> device_;
};

TEST_F(DeviceOnVirtualCamera, StreamedFramesAreWholeAndNewest) {
  ASSERT_EQ(device_->SelectDevice(2), 0);
  device_->SetPixelWidth(1);
  ASSERT_EQ(device_->SetWindow(0, 0, 320, 240, 0), 0);
  ASSERT_EQ(device_->StartStreaming(), 0);
  std::uint32_t previous = 0;
  for (int frame = 0; frame < 5; ++frame) {
    ASSERT_EQ(waitPastSignals(), kWaitReady);
    const auto stamp = fetchStamped();
    ASSERT_TRUE(stamp) << "torn or unstamped frame " << frame;
    EXPECT_EQ(stamp->camera, 2);
    EXPECT_GT(stamp->frameNumber, previous);
    previous = stamp->frameNumber;
  }
  EXPECT_EQ(device_->StopStreaming(), 0);
}

TEST_F(DeviceOnVirtualCamera, UnplugEndsTheRunWithAnImageFailure) {
  ASSERT_EQ(device_->SetWindow(0, 0, 160, 120, 0), 0);
  ASSERT_EQ(device_->StartStreaming(), 0);
  ASSERT_EQ(waitPastSignals(), kWaitReady);
  ASSERT_TRUE(fetchStamped());
  ASSERT_TRUE(camera_->apply(ControlAction::Unplug, 0));
  // Frames delivered before the unplug may still be taken; then the failure.
  int result;
  while ((result = waitPastSignals()) == kWaitReady) fetchStamped();
  EXPECT_EQ(result, kWaitFailed);
  EXPECT_EQ(device_->StopStreaming(), kStatusImageFailed);
  EXPECT_EQ(device_->StartStreaming(), 0);
  EXPECT_EQ(waitPastSignals(), kWaitStopped) << "an unplugged camera has no handle";
  EXPECT_EQ(device_->StopStreaming(), 0);
}

TEST_F(DeviceOnVirtualCamera, StopReturnsAlthoughTheCameraStalls) {
  ASSERT_EQ(device_->SetWindow(0, 0, 160, 120, 0), 0);
  ASSERT_EQ(device_->StartStreaming(), 0);
  ASSERT_EQ(waitPastSignals(), kWaitReady);
  ASSERT_TRUE(camera_->apply(ControlAction::Stall, 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // The streaming thread is blocked in a read the camera does not answer.
  EXPECT_EQ(device_->StopStreaming(), 0);
  EXPECT_FALSE(device_->IsStreaming());
}

TEST_F(DeviceOnVirtualCamera, TriggerModeReadTimesOutWithoutATrigger) {
  ASSERT_EQ(device_->SetWindow(0, 0, 160, 120, 0), 0);
  device_->SetTransferTimeout(300);
  ASSERT_EQ(device_->SetTriggerMode(1), 1);
  EXPECT_EQ(camera_->camera(0)->readTimeoutMs(), 300);
  EXPECT_EQ(device_->ReadSingleFrame(), kStatusImageFailed);
  EXPECT_FALSE(device_->FrameReaderOpen());

  std::thread trigger([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    camera_->apply(ControlAction::Trigger, 0);
  });
  EXPECT_EQ(device_->ReadSingleFrame(), 0);
  trigger.join();
  std::vector<std::uint8_t> window(device_->PackedWindowBytes());
  EXPECT_EQ(device_->FetchSingleFrame(window.data(), window.size()), 0);
  EXPECT_TRUE(pelnik::virtcam::readFrameStamp(window.data(), 160, 1));
  device_->CloseFrameReader();
}

}  // namespace
