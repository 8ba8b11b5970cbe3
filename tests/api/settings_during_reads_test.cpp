// Settings calls on one thread while another thread's snapshot waits for a
// frame that does not come (a stalled camera): the getters and setters
// answer while the read is still waiting, instead of queueing behind it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "api/exports_camera_support.h"

namespace pelnik::test {
namespace {

class SettingsDuringReads : public CameraTest {};

// The snapshot holds the device set-up lock across its frame read; the
// filter, mirror and exposure calls must not need that lock, or they wait
// for the read (up to the frame wait).
TEST_F(SettingsDuringReads, GettersAndSettersDoNotWaitForASnapshotsFrameRead) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  ASSERT_TRUE(virtual_->apply(virtcam::ControlAction::Stall, 0));
  std::atomic<bool> reading{false};
  std::atomic<bool> snapshotReturned{false};
  std::thread snapshot([&] {
    std::vector<unsigned char> buffer(1280 * 1024);
    reading = true;
    Pelnik_SnapShot(handle_, buffer.data(), static_cast<int>(buffer.size()), 1);
    snapshotReturned = true;
  });
  while (!reading) std::this_thread::yield();
  // Long enough for the snapshot to be inside its frame read.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_FALSE(snapshotReturned) << "the stalled camera delivered a frame";

  // Each call's name is kept when it came back only after the snapshot.
  std::vector<std::string> waited;
  auto call = [&](const char *name, auto &&body) {
    body();
    if (snapshotReturned) waited.push_back(name);
  };
  int flag = 0;
  call("GetColorMode", [&] { EXPECT_EQ(Pelnik_GetColorMode(handle_), 8); });
  call("GetWaitTime", [&] { EXPECT_GE(Pelnik_GetWaitTime(handle_), 0); });
  call("SetBrightness", [&] { EXPECT_EQ(Pelnik_SetBrightness(handle_, 10), 1); });
  call("GetBrightness", [&] { EXPECT_EQ(Pelnik_GetBrightness(handle_, &flag), 10); });
  call("SetMirrorH", [&] { EXPECT_EQ(Pelnik_SetMirrorH(handle_, 1), 1); });
  call("GetMirrorH", [&] { EXPECT_EQ(Pelnik_GetMirrorH(handle_), 1); });
  call("SetExposureTime", [&] { EXPECT_EQ(Pelnik_SetExposureTime(handle_, 100), 1); });
  call("GetExposureTime", [&] { EXPECT_EQ(Pelnik_GetExposureTime(handle_, &flag), 100); });
  ASSERT_TRUE(virtual_->apply(virtcam::ControlAction::Resume, 0));
  snapshot.join();
  EXPECT_EQ(waited, std::vector<std::string>{})
      << "these calls waited for the snapshot's frame read";
}

}  // namespace
}  // namespace pelnik::test
