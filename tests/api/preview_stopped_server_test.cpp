// Starting a preview while the X server no longer answers (stopped with
// SIGSTOP): the start must not wait without limit while it holds the
// acquisition control lock, and the other calls on the camera go on.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "exports_camera_support.h"
#include "support/display/x_session.h"

namespace pelnik::test {
namespace {

using namespace std::chrono_literals;

class PreviewStoppedServer : public CameraTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ok()) << server_.error();
    CameraTest::SetUp();
    ASSERT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);
  }
  void TearDown() override {
    server_.resume();
    CameraTest::TearDown();
  }
  XvfbServer server_;
};

TEST_F(PreviewStoppedServer, StartReturnsAndLeavesTheCameraUsable) {
  ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, 0, 0, 0, 320, 240), 1);
  server_.pause();
  auto preview = std::async(std::launch::async, [&] { return Pelnik_Preview(handle_); });
  const bool returned = preview.wait_for(10s) == std::future_status::ready;
  if (!returned) {
    // Let the start finish so the test can end, then report the wait.
    server_.resume();
    preview.wait();
  }
  ASSERT_TRUE(returned) << "the preview start waited for the stopped server";
  // Either refused with the window's error or streaming without a window;
  // both leave the camera to the next calls.
  const int started = preview.get();
  if (started == 0) {
    const auto errors = popErrors(handle_);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), 4) << "the window could not be made";
  }
  auto stop = std::async(std::launch::async, [&] { return Pelnik_StopPreview(handle_); });
  ASSERT_EQ(stop.wait_for(5s), std::future_status::ready) << "the stop waited";
  server_.resume();
  EXPECT_EQ(Pelnik_SetPreviewWindow(handle_, 0, 0, 0, 0, 0), 1);
  std::vector<unsigned char> picture(1280 * 1024 * 3);
  EXPECT_EQ(Pelnik_SnapShot(handle_, picture.data(), static_cast<int>(picture.size()), 0), 1);
}

}  // namespace
}  // namespace pelnik::test
