// The camera's small pieces on their own: format validation and image
// sizes, the frame-rate meter, the defaults of a camera object that was
// never opened.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "camera/CPelnik.h"
#include "camera/failure.h"
#include "camera/frame_rate.h"
#include "camera/video_format.h"
#include "virtcam/virtual_camera.h"

namespace {

using pelnik::FrameRateMeter;
using pelnik::VideoFormat;

VideoFormat region(int ehs, int evs, int eh, int ev, int subSample = 0) {
  VideoFormat format;
  format.EHS = ehs;
  format.EVS = evs;
  format.EH = eh;
  format.EV = ev;
  format.subSample = subSample;
  return format;
}

TEST(VideoFormat, RegionMustLieInsideTheSensor) {
  EXPECT_TRUE(region(0, 0, 1280, 1024).isValid());
  EXPECT_TRUE(region(0, 0, 0, 0).isValid());  // zero size passes; the sensor refuses it
  EXPECT_TRUE(region(1280, 1024, 0, 0).isValid());
  EXPECT_FALSE(region(100, 0, 1200, 1024).isValid());
  EXPECT_FALSE(region(0, 1, 1280, 1024).isValid());
  EXPECT_FALSE(region(-1, 0, 10, 10).isValid());
  EXPECT_FALSE(region(0, 0, 1281, 10).isValid());
  EXPECT_FALSE(region(1281, 0, 0, 10).isValid());
  // Values from a hand-edited store must not overflow the sum check.
  EXPECT_FALSE(region(0x7FFFFFFF, 0, 0x7FFFFFFF, 10).isValid());
}

TEST(VideoFormat, SubsampleValuesAndTheImageSizeTheyGive) {
  struct Case {
    int subSample;
    bool valid;
    int width, height;
  };
  const Case cases[] = {{0, true, 1279, 1023}, {1, true, 639, 511},   {2, false, 319, 255},
                        {3, false, 159, 127},  {17, false, 639, 511}, {18, false, 319, 255},
                        {19, false, 159, 127}, {4, true, 1279, 1023}, {16, true, 1279, 1023}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.subSample);
    const VideoFormat format = region(0, 0, 1279, 1023, c.subSample);
    EXPECT_EQ(format.isValid(), c.valid);
    EXPECT_EQ(format.imageSize().width, c.width);
    EXPECT_EQ(format.imageSize().height, c.height);
  }
}

TEST(FrameRate, ComputedOnTheFirstFrameAfterMoreThanOneSecond) {
  FrameRateMeter meter(5000);
  for (int i = 1; i <= 30; ++i) EXPECT_EQ(meter.countFrame(5000 + i * 33), 0);  // up to 5990
  EXPECT_EQ(meter.countFrame(6000), 0);  // exactly one second is not more than one
  // 32 frames over 1001 ms.
  EXPECT_EQ(meter.countFrame(6001), 32 * 10000 / 1001);
  // Held until the next interval is over, then measured afresh.
  EXPECT_EQ(meter.countFrame(6500), 319);
  EXPECT_EQ(meter.countFrame(7100), 2 * 10000 / 1099);
}

TEST(FrameRate, SurvivesTheClockWrapping) {
  FrameRateMeter meter(0xFFFFFF00u);
  meter.countFrame(0xFFFFFFF0u);
  EXPECT_EQ(meter.countFrame(0x000003F0u), 2 * 10000 / 0x4F0);
}

TEST(CameraObject, NeverOpenedObjectHasItsConstructionDefaults) {
  pelnik::CPelnik camera;
  EXPECT_EQ(camera.Width(), 1280);
  EXPECT_EQ(camera.Height(), 1024);
  EXPECT_EQ(camera.GetColorMode(), 8);
  EXPECT_EQ(camera.GetSubSample(), 0);
  EXPECT_EQ(camera.GetWaitTime(), 10);
  EXPECT_EQ(camera.GetLastError(), 0);
}

TEST(CameraObject, WithoutADeviceOnlyTheFormatWorks) {
  pelnik::CPelnik camera;
  EXPECT_EQ(camera.SetColorMode(48), 1);
  EXPECT_EQ(camera.GetColorMode(), 42);
  int flag = 1;
  EXPECT_EQ(camera.GetFilterValue(1, &flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(camera.StartPreview(), 0);
  EXPECT_EQ(camera.SetMirrorV(1), 0);  // announced only
  EXPECT_EQ(camera.GetLastError(), 1);
  EXPECT_EQ(camera.GetLastError(), 1);
  EXPECT_EQ(camera.GetLastError(), 0);
}

}  // namespace

TEST(CameraObject, SwitchSetsTheSensorVariantFromTheCamerasMemory) {
  pelnik::virtcam::VirtualCameraOptions options;
  options.cameras = {0, 1};  // variant byte 1 on even cameras, 2 on odd ones
  options.controlSocket = false;
  pelnik::virtcam::VirtualCamera cameras(options);
  ASSERT_TRUE(cameras.ok()) << cameras.error();
  pelnik::CPelnik camera;
  ASSERT_EQ(camera.Open(0), 1);
  ASSERT_NE(camera.Device(), nullptr);
  EXPECT_EQ(camera.SetDeviceNumber(1), 1);
  EXPECT_EQ(camera.CameraNumber(), 1);
  EXPECT_EQ(camera.Device()->SensorVariant(), 1);
  EXPECT_EQ(camera.SetDeviceNumber(0), 1);
  EXPECT_EQ(camera.Device()->SensorVariant(), 0);
}

namespace {

using pelnik::codeValue;
using pelnik::ErrorCode;

struct CodeRecorder {
  std::vector<ErrorCode> raised;
  int raiseError(ErrorCode code) {
    raised.push_back(code);
    return 1;
  }
};

TEST(Failure, RaisesTheCodeOnceAndReturnsTheOperationsFailureValue) {
  CodeRecorder reporter;
  // The raise's own result (1) must not leak out as the operation's result.
  EXPECT_EQ(pelnik::fail(reporter, ErrorCode::InvalidArgument), 0);
  EXPECT_FALSE(pelnik::fail(reporter, ErrorCode::InvalidFormat, false));
  EXPECT_EQ(pelnik::fail(reporter, ErrorCode::DeviceIo, -1), -1);
  EXPECT_EQ(reporter.raised, (std::vector{ErrorCode::InvalidArgument, ErrorCode::InvalidFormat,
                                          ErrorCode::DeviceIo}));
}

TEST(CameraObject, AFailingOperationReturnsZeroAndLeavesItsCodeInTheHistory) {
  pelnik::CPelnik camera;
  int flag = 1;
  EXPECT_EQ(camera.ReadRegister(7, &flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(camera.LoadConfigFile(""), 0);
  EXPECT_EQ(camera.LoadConfigFile(nullptr), 0);
  EXPECT_EQ(camera.SaveImage("x.bmp", 0), 0);
  // Newest first, one entry per failure.
  EXPECT_EQ(camera.GetLastError(), codeValue(ErrorCode::NoDevice));
  EXPECT_EQ(camera.GetLastError(), codeValue(ErrorCode::InvalidArgument));
  EXPECT_EQ(camera.GetLastError(), codeValue(ErrorCode::InvalidArgument));
  EXPECT_EQ(camera.GetLastError(), codeValue(ErrorCode::NoDevice));
  EXPECT_EQ(camera.GetLastError(), 0);
}

}  // namespace
