// Application threads sharing a camera handle, and calls that are refused:
// a refused start never touches the running acquisition's target, nothing
// reconfigures the device under a single-frame read or another
// reconfiguration, a camera gone before the start is reported, and a stop
// never waits out the preview pause.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "exports_camera_support.h"
#include "support/test_environment.h"
#include "virtcam/frame_stamp.h"

namespace {

using pelnik::test::CameraSetup;
using pelnik::test::CameraTest;
using pelnik::test::kFrameMessage;
using pelnik::test::MessageTarget;
using pelnik::test::popErrors;
using pelnik::virtcam::ControlAction;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr int kFullFrame8 = kWidth * kHeight;
constexpr int kMessageWaitMs = 5000;
constexpr unsigned char kUntouched = 0xA5;

bool allBytesAre(const std::vector<unsigned char> &bytes, unsigned char value) {
  for (unsigned char b : bytes)
    if (b != value) return false;
  return true;
}

// Frame and error forms of the frame message counted on one target.
struct FrameMessages {
  int frames = 0;
  std::vector<long> errorCodes;
};

FrameMessages countFrameMessages(MessageTarget &target) {
  FrameMessages counted;
  for (const pelnik::test::TargetMessage &m : target.drain()) {
    if (m.message != kFrameMessage) continue;
    if (m.wParam != 0)
      ++counted.frames;
    else
      counted.errorCodes.push_back(static_cast<long>(m.lParam));
  }
  return counted;
}

// The next frame form on `target` within the limit; false on an error form
// or none.
bool nextFrameForm(MessageTarget &target, int timeoutMs = kMessageWaitMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const auto m = target.next(static_cast<int>(left.count()) + 1);
    if (!m) return false;
    if (m->message == kFrameMessage) return m->wParam != 0;
  }
  return false;
}

// The code of the next error form on `target` within the limit; 0 when none.
long nextErrorForm(MessageTarget &target, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const auto m = target.next(static_cast<int>(left.count()) + 1);
    if (!m) return 0;
    if (m->message == kFrameMessage && m->wParam == 0) return static_cast<long>(m->lParam);
  }
  return 0;
}

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class Refusals : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
    ASSERT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);
  }
  MessageTarget running_;
  MessageTarget refused_;
};

TEST_F(Refusals, RefusedStartsLeaveTheTriggerLoopItsTarget) {
  std::vector<unsigned char> buffer(kFullFrame8, 0);
  ASSERT_EQ(Pelnik_Trigger(handle_, running_.window(), buffer.data(), kFullFrame8, 1), 1);

  // The application frees (here: watches) the buffer it offered in the
  // refused call: nothing may ever be written into it.
  std::vector<unsigned char> offered(kFullFrame8, kUntouched);
  EXPECT_EQ(Pelnik_CallBackPreview(handle_, refused_.window(), offered.data(), kFullFrame8, 1), 0);
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{8, 1}));
  EXPECT_EQ(Pelnik_Preview(handle_), 0);
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{8, 1}));

  for (int trigger = 0; trigger < 2; ++trigger) {
    unit().trigger();
    ASSERT_TRUE(nextFrameForm(running_)) << "the running loop lost its callback window";
  }
  EXPECT_TRUE(pelnik::virtcam::readFrameStamp(buffer.data(), kWidth, 1).has_value());
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_TRUE(allBytesAre(offered, kUntouched)) << "written into the refused buffer";
  const FrameMessages atRefused = countFrameMessages(refused_);
  EXPECT_EQ(atRefused.frames, 0);
  EXPECT_TRUE(atRefused.errorCodes.empty());
}

TEST_F(Refusals, AFailedStartKeepsTheEarlierTargetForTheNextStart) {
  std::vector<unsigned char> buffer(kFullFrame8, 0);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, running_.window(), buffer.data(), kFullFrame8, 1), 1);
  ASSERT_TRUE(nextFrameForm(running_));
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);

  // A format the preparation refuses makes the next start fail.
  EXPECT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 1280, 1024, 100, 1024), 0);
  std::vector<unsigned char> offered(kFullFrame8, kUntouched);
  EXPECT_EQ(Pelnik_CallBackPreview(handle_, refused_.window(), offered.data(), kFullFrame8, 1), 0);
  popErrors(handle_);

  ASSERT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 1280, 1024, 0, 1024), 1);
  running_.drain();
  ASSERT_EQ(Pelnik_StartPreview(handle_), 1);
  EXPECT_TRUE(nextFrameForm(running_));
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_TRUE(allBytesAre(offered, kUntouched)) << "written into the refused buffer";
  EXPECT_EQ(countFrameMessages(refused_).frames, 0);
}

TEST_F(Refusals, CameraGoneBeforeTheStartIsReportedAsStopped) {
  ASSERT_TRUE(virtual_->apply(ControlAction::Unplug, 0));
  // The presence table still lists the camera, so the start goes ahead; the
  // loop learns of the loss at its first frame.
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, running_.window(), nullptr, 0, 1), 1);
  EXPECT_EQ(nextErrorForm(running_, 6000 + kMessageWaitMs), 13);
  // The loop has ended: it burns no processor time while waiting for a stop.
  const double before = processCpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(processCpuSeconds() - before, 0.25);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  // Read only now: the loop posts the form just before it records the error.
  const std::vector<int> errors = popErrors(handle_);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), 13);
}

TEST_F(Refusals, CameraGoneBeforeATriggerStartIsReportedAsStopped) {
  ASSERT_TRUE(virtual_->apply(ControlAction::Unplug, 0));
  ASSERT_EQ(Pelnik_Trigger(handle_, running_.window(), nullptr, 0, 1), 1);
  EXPECT_EQ(nextErrorForm(running_, 3000 + kMessageWaitMs), 13);
  const double before = processCpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(processCpuSeconds() - before, 0.25);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  const std::vector<int> errors = popErrors(handle_);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.back(), 13);
}

TEST_F(Refusals, GetImageIntoTooSmallABufferPostsTheErrorForm) {
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, running_.window(), nullptr, 0, 1), 1);
  ASSERT_TRUE(nextFrameForm(running_));
  std::vector<unsigned char> small(kFullFrame8 - 1);
  EXPECT_EQ(Pelnik_GetImage(handle_, small.data(), static_cast<int>(small.size()), 1), 0);
  EXPECT_EQ(nextErrorForm(running_, kMessageWaitMs), 5);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{5});
}

TEST_F(Refusals, StopEndsALongPreviewPauseAtOnce) {
  for (const int pause : {20000, INT_MAX}) {
    SCOPED_TRACE(pause);
    ASSERT_EQ(Pelnik_SetWaitTime(handle_, pause), 1);
    ASSERT_EQ(Pelnik_CallBackPreview(handle_, running_.window(), nullptr, 0, 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  }
  // A stop during the pause of a start that followed it is as prompt.
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, running_.window(), nullptr, 0, 1), 1);
  const auto start = Clock::now();
  EXPECT_EQ(Pelnik_Close(handle_), 1);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
}

TEST_F(Refusals, DeviceNameOfTheLargestNumberIsRefused) {
  char text[256] = {};
  char16_t wide[256] = {};
  for (const int number : {INT_MAX, INT_MIN, -1, 32}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(Pelnik_GetDeviceName(handle_, number, text, 256), 0);
    EXPECT_EQ(Pelnik_GetDeviceNameW(handle_, number, wide, 256), 0);
    EXPECT_EQ(popErrors(handle_), (std::vector<int>{9, 9}));
  }
}

// ---- several application threads on one handle ----

class SharedHandle : public CameraTest {
 protected:
  void SetUp() override {
    CameraSetup setup;
    setup.cameras = {0, 1};
    startCameras(setup);
    handle_ = openCamera();
    ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  }
};

TEST_F(SharedHandle, SnapshotsWhileOtherThreadsChangeWindowAndCamera) {
  std::atomic<bool> done{false};
  std::atomic<int> snapshots{0}, failedSnapshots{0}, failedChanges{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&] {
      std::vector<unsigned char> picture(kFullFrame8);
      while (!done) {
        if (Pelnik_SnapShot(handle_, picture.data(), kFullFrame8, 1) == 1)
          ++snapshots;
        else
          ++failedSnapshots;
      }
    });
  threads.emplace_back([&] {
    // Each changed window waits for the sensor to settle: a few changes only.
    const int heights[] = {480, 1024};
    for (int height : heights)
      if (Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 1280, 1024, 0, height) != 1) ++failedChanges;
  });
  threads.emplace_back([&] {
    for (int camera : {1, 0})
      if (Pelnik_SetDeviceNumber(handle_, camera) != 1) ++failedChanges;
  });
  threads[3].join();
  threads[2].join();
  done = true;
  threads[1].join();
  threads[0].join();

  EXPECT_EQ(failedChanges, 0);
  EXPECT_EQ(failedSnapshots, 0);
  EXPECT_GT(snapshots, 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
  // The handle still works as a whole afterwards.
  std::vector<unsigned char> picture(kFullFrame8);
  EXPECT_EQ(Pelnik_SnapShot(handle_, picture.data(), kFullFrame8, 1), 1);
  EXPECT_TRUE(pelnik::virtcam::readFrameStamp(picture.data(), kWidth, 1).has_value());
}

TEST_F(SharedHandle, FourThreadsSwitchingCamerasAtOnce) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  // The same camera each time: every switch frees and re-makes the frame
  // buffers without waiting for a changed window to settle.
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 4; ++i)
        if (Pelnik_SetDeviceNumber(handle_, 0) != 1) ++failures;
    });
  for (auto &thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
  std::vector<unsigned char> picture(kFullFrame8);
  EXPECT_EQ(Pelnik_SnapShot(handle_, picture.data(), kFullFrame8, 1), 1);
}

TEST_F(SharedHandle, RecordingStartsWhileAnotherThreadChangesTheWindow) {
  // A recording's start prepares the device like any start; a window change
  // on another thread must wait for it or be refused, never interleave.
  std::atomic<int> failedRecords{0}, unexpectedRefusals{0};
  std::thread windows([&] {
    const int heights[] = {480, 1024, 600};
    for (int height : heights)
      if (Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 1280, 1024, 0, height) != 1 &&
          Pelnik_GetLastError(handle_) != 1)
        ++unexpectedRefusals;  // only "acquiring" may refuse it
  });
  std::vector<std::string> movies;
  for (int round = 0; round < 3; ++round) {
    movies.push_back(pelnik::test::isolationRoot() + "/window-race-" + std::to_string(round) +
                     ".avi");
    if (Pelnik_Record(handle_, movies.back().c_str(), -1, 0) != 1) ++failedRecords;
    if (Pelnik_StopPreview(handle_) != 1) ++failedRecords;
  }
  windows.join();
  EXPECT_EQ(failedRecords, 0);
  EXPECT_EQ(unexpectedRefusals, 0);
  for (const std::string &movie : movies) {
    std::FILE *file = std::fopen(movie.c_str(), "rb");
    ASSERT_NE(file, nullptr) << movie;
    char riff[4] = {};
    EXPECT_EQ(std::fread(riff, 1, 4, file), 4u);
    std::fclose(file);
    EXPECT_EQ(std::memcmp(riff, "RIFF", 4), 0) << movie;
  }
}

TEST_F(SharedHandle, StartsAndStopsWhileAnotherThreadEnumerates) {
  // The handle streams from camera 1; each stop must release camera 1's
  // claim, whatever an enumeration on another thread is probing meanwhile.
  ASSERT_EQ(Pelnik_SetDeviceNumber(handle_, 1), 1);
  const int other = openCamera();
  ASSERT_EQ(Pelnik_SetDeviceNumber(other, 1), 1);
  ASSERT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);

  std::atomic<bool> done{false};
  std::atomic<int> enumerations{0}, badCounts{0};
  std::thread enumerator([&] {
    std::vector<char> names(10 * 256);
    while (!done) {
      if (Pelnik_EnumDevice(handle_, names.data()) != 2) ++badCounts;
      ++enumerations;
    }
  });
  MessageTarget callback;
  int stuckClaims = 0;
  for (int round = 0; round < 6; ++round) {
    const bool trigger = round % 2 == 1;
    const int started = trigger ? Pelnik_Trigger(handle_, callback.window(), nullptr, 0, 1)
                                : Pelnik_CallBackPreview(handle_, callback.window(), nullptr, 0, 1);
    ASSERT_EQ(started, 1) << round;
    if (trigger) unit(1).trigger();
    EXPECT_TRUE(nextFrameForm(callback)) << round;
    ASSERT_EQ(Pelnik_StopPreview(handle_), 1);
    // Another camera object finds camera 1 free again.
    if (Pelnik_Capture(other) != 1) ++stuckClaims;
    Pelnik_Close(other);
  }
  done = true;
  enumerator.join();
  EXPECT_EQ(stuckClaims, 0);
  EXPECT_EQ(badCounts, 0);
  EXPECT_GT(enumerations, 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
  EXPECT_EQ(popErrors(other), std::vector<int>{});
}

}  // namespace
