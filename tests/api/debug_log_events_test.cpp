// The diagnostic log seen through the exports: a camera's requests, its
// acquisition starting and stopping, frames that come to nothing, and every
// error raised, named with the export that raised it (or the worker thread).
#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "api/exports_camera_support.h"
#include "platform/debug_log.h"
#include "support/stderr_capture.h"

namespace pelnik::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

auto lineWith(const std::string &text) { return Contains(HasSubstr(text)); }

class DebugLogEvents : public CameraTest {
 protected:
  void TearDown() override {
    platform::setDebugAreas(0);
    CameraTest::TearDown();
  }
};

TEST_F(DebugLogEvents, RequestsStartsStopsAndErrorsWithTheirCalls) {
  StderrCapture capture;
  platform::setDebugAreas(platform::parseDebugAreas("all"));
  std::vector<unsigned char> small(16);
  EXPECT_EQ(Pelnik_SnapShot(handle_, small.data(), 16, 1), 0);
  ASSERT_EQ(Pelnik_StartPreview(handle_), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);
  const std::string still = ::testing::TempDir() + "debug-log-still.png";
  EXPECT_EQ(Pelnik_SaveImage(handle_, still.c_str(), 5), 1);
  platform::setDebugAreas(0);
  const auto lines = capture.lines();

  EXPECT_THAT(lines, lineWith("] error 5 raised in Pelnik_SnapShot"));
  EXPECT_THAT(lines, lineWith("streaming started"));
  EXPECT_THAT(lines, lineWith("stopping ("));
  EXPECT_THAT(lines, lineWith("stopped"));
  // The frame request command (02) went to the camera and was answered.
  EXPECT_THAT(lines, lineWith("command 02 00 00 00 00 00: ok, 64 bytes moved"));
  EXPECT_THAT(lines, lineWith("pelnik[chain t"));
  EXPECT_THAT(lines, lineWith("still image " + still + " (format 5): saved"));
  // Every line is one whole event with its area and thread.
  for (const auto &line : lines) EXPECT_EQ(line.rfind("pelnik[", 0), 0u) << line;
}

TEST_F(DebugLogEvents, ALostCameraIsLoggedWithTheWorkerThreadAndTheFailedSnapshot) {
  ASSERT_EQ(Pelnik_StartPreview(handle_), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  StderrCapture capture;
  platform::setDebugAreas(platform::parseDebugAreas("acquisition,errors,device"));
  ASSERT_TRUE(virtual_->apply(virtcam::ControlAction::Unplug, 0));
  // The loop posts the lost camera to the owner window.
  bool lost = false;
  for (int i = 0; i < 100 && !lost; ++i)
    if (const auto m = owner_.next(100); m && m->message == kErrorMessage) lost = true;
  ASSERT_TRUE(lost);
  Pelnik_StopPreview(handle_);
  // The presence table keeps the camera until the next probe; the read
  // itself finds it gone.
  std::vector<unsigned char> buffer(16);
  EXPECT_EQ(Pelnik_SnapShot(handle_, buffer.data(), 16, 1), 0);
  platform::setDebugAreas(0);
  const auto lines = capture.lines();
  EXPECT_THAT(lines, lineWith("camera lost while streaming"));
  EXPECT_THAT(lines, lineWith("raised in a worker thread"));
  EXPECT_THAT(lines, lineWith("raised in Pelnik_SnapShot"));
  EXPECT_THAT(lines, lineWith("PNikR5MLX-0 does not open"));
}

}  // namespace
}  // namespace pelnik::test
