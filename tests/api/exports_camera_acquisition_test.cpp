// Acquisition through the public header against the embedded virtual
// camera: states, frame messages and records, buffers too small, a camera
// lost while streaming, triggered and single pictures, stopping.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "exports_camera_support.h"
#include "support/posix/spawn_helper.h"
#include "support/test_environment.h"
#include "virtcam/frame_stamp.h"

namespace {

using pelnik::test::CameraSetup;
using pelnik::test::CameraTest;
using pelnik::test::kFrameMessage;
using pelnik::test::MessageTarget;
using pelnik::test::popErrors;
using pelnik::virtcam::ControlAction;

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr int kMessageWaitMs = 5000;

class Acquisition : public CameraTest {
 protected:
  void SetUp() override {
    CameraTest::SetUp();
    ASSERT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);
  }
  // Waits for the next frame message; a copy of its record, or none for the
  // error form (whose code goes to `errorCode`).
  std::optional<PelnikFrameInfo> nextFrame(long *errorCode = nullptr) {
    for (;;) {
      const auto message = callback_.next(kMessageWaitMs);
      if (!message) {
        ADD_FAILURE() << "no frame message";
        return std::nullopt;
      }
      if (message->message != kFrameMessage) continue;
      if (message->wParam == 0) {
        if (errorCode) *errorCode = static_cast<long>(message->lParam);
        return std::nullopt;
      }
      return pelnik::test::copyFrameRecord(
          reinterpret_cast<const PelnikFrameInfo *>(message->wParam));
    }
  }

  MessageTarget callback_;
};

TEST_F(Acquisition, FramesArriveWithTheirRecordInEveryColourMode) {
  struct Mode {
    int set, bits, stride;
  };
  const Mode modes[] = {{8, 8, 1280},   {16, 16, 2560}, {24, 24, 3840},
                        {32, 32, 5120}, {48, 48, 7680}, {64, 64, 10240}};
  for (const Mode &mode : modes) {
    SCOPED_TRACE(mode.set);
    ASSERT_EQ(Pelnik_SetColorMode(handle_, mode.set), 1);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(mode.stride) * kHeight);
    ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), buffer.data(),
                                     static_cast<int>(buffer.size()), 1),
              1);
    for (int frame = 0; frame < 3; ++frame) {
      const auto info = nextFrame();
      ASSERT_TRUE(info.has_value());
      EXPECT_EQ(info->size, static_cast<int>(sizeof(PelnikFrameInfo)));
      EXPECT_EQ(info->width, kWidth);
      EXPECT_EQ(info->height, kHeight);
      EXPECT_EQ(info->bitsPerPixel, mode.bits);
      EXPECT_EQ(info->buffer, buffer.data());
    }
    EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
    EXPECT_EQ(popErrors(handle_), std::vector<int>{});
    callback_.drain();
  }
}

TEST_F(Acquisition, SubsampledFramesHaveHalfTheSize) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  ASSERT_EQ(Pelnik_SetSubSample(handle_, 1), 1);
  std::vector<unsigned char> buffer(640 * 512);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), buffer.data(),
                                   static_cast<int>(buffer.size()), 1),
            1);
  const auto info = nextFrame();
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->width, 640);
  EXPECT_EQ(info->height, 512);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(Acquisition, RowOrderZeroReversesTheRows) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  const int size = kWidth * kHeight;
  std::vector<unsigned char> topFirst(size), bottomFirst(size);
  ASSERT_EQ(Pelnik_Capture(handle_), 1);
  ASSERT_EQ(Pelnik_SnapShot(handle_, topFirst.data(), size, 1), 1);
  ASSERT_EQ(Pelnik_GetImage(handle_, bottomFirst.data(), size, 0), 1);
  // The frame stamp sits in the first image row.
  EXPECT_TRUE(pelnik::virtcam::readFrameStamp(topFirst.data(), kWidth, 1).has_value());
  for (int row = 0; row < kHeight; ++row)
    ASSERT_EQ(0, std::memcmp(&topFirst[std::size_t(row) * kWidth],
                             &bottomFirst[std::size_t(kHeight - 1 - row) * kWidth], kWidth))
        << row;
}

TEST_F(Acquisition, BufferOneByteShortFailsEveryFrameButPreviewRuns) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 24), 1);
  std::vector<unsigned char> buffer(3840 * kHeight - 1);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), buffer.data(),
                                   static_cast<int>(buffer.size()), 1),
            1);
  for (int frame = 0; frame < 3; ++frame) {
    long code = 0;
    EXPECT_FALSE(nextFrame(&code).has_value());
    EXPECT_EQ(code, 5);
  }
  // The frame lock is free between frames.
  std::vector<unsigned char> whole(3840 * kHeight);
  EXPECT_EQ(Pelnik_GetImage(handle_, whole.data(), static_cast<int>(whole.size()), 1), 1);
  EXPECT_EQ(Pelnik_GetImage(handle_, buffer.data(), static_cast<int>(buffer.size()), 1), 0);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  const std::vector<int> errors = popErrors(handle_);
  ASSERT_GE(errors.size(), 4u);
  for (int code : errors) EXPECT_EQ(code, 5);
}

TEST_F(Acquisition, GetImageNeedsABuffer) {
  EXPECT_EQ(Pelnik_GetImage(handle_, nullptr, 100, 1), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{5});
}

TEST_F(Acquisition, LostCameraEndsTheLoopAndAStartRunsAgain) {
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  ASSERT_TRUE(nextFrame().has_value());
  ASSERT_TRUE(virtual_->apply(ControlAction::Unplug, 0));
  long code = 0;
  while (nextFrame(&code).has_value()) {
  }
  EXPECT_EQ(code, 13);
  // The error form is posted just before the error is recorded and
  // announced to the owner window.
  std::optional<PelnikMsg> notice;
  do notice = owner_.next(kMessageWaitMs);
  while (notice && notice->lParam != 13);
  ASSERT_TRUE(notice.has_value());
  const std::vector<int> errors = popErrors(handle_);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front(), 13);
  // Nothing is delivered any more.
  callback_.drain();
  EXPECT_FALSE(callback_.next(300).has_value());

  ASSERT_TRUE(virtual_->apply(ControlAction::Plug, 0));
  EXPECT_EQ(Pelnik_StartPreview(handle_), 1);
  EXPECT_TRUE(nextFrame().has_value());
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(Acquisition, StatesRefuseWhatTheyForbid) {
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);  // idle
  EXPECT_EQ(Pelnik_GetStatus(handle_, 123), 0);
  ASSERT_EQ(Pelnik_StartPreview(handle_), 1);
  EXPECT_EQ(Pelnik_StartPreview(handle_), 1);
  EXPECT_EQ(Pelnik_Capture(handle_), 0);
  EXPECT_EQ(Pelnik_SnapShot(handle_, nullptr, 0, 1), 0);
  EXPECT_EQ(Pelnik_Trigger(handle_, 0, nullptr, 0, 1), 0);
  EXPECT_EQ(popErrors(handle_), (std::vector<int>{1, 1, 1}));
  // The region and its buffers stay as the running acquisition has them.
  EXPECT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, 0, 640, 1024, 0, 480), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{1});
  EXPECT_EQ(Pelnik_Width(handle_), 1280);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);

  ASSERT_EQ(Pelnik_Capture(handle_), 1);
  EXPECT_EQ(Pelnik_Capture(handle_), 1);
  EXPECT_EQ(Pelnik_StartPreview(handle_), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{1});
  EXPECT_EQ(Pelnik_Close(handle_), 1);
  EXPECT_EQ(Pelnik_StartPreview(handle_), 1);
}

TEST_F(Acquisition, ColourModeChangeWaitsForTheNextPreparation) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  std::vector<unsigned char> buffer(kWidth * kHeight);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), buffer.data(),
                                   static_cast<int>(buffer.size()), 1),
            1);
  ASSERT_TRUE(nextFrame().has_value());
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 64), 1);
  callback_.drain();
  for (int frame = 0; frame < 3; ++frame) {
    const auto info = nextFrame();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->bitsPerPixel, 8);
  }
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
}

TEST_F(Acquisition, StopWaitsForTheLoopAndTheTransfer) {
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  ASSERT_TRUE(nextFrame().has_value());
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  callback_.drain();
  const auto delivered = unit().framesDelivered();
  EXPECT_FALSE(callback_.next(300).has_value());
  EXPECT_EQ(unit().framesDelivered(), delivered);
}

TEST_F(Acquisition, SnapshotsAfterCaptureNeedNoPreparation) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  const int size = kWidth * kHeight;
  std::vector<unsigned char> first(size), second(size);
  ASSERT_EQ(Pelnik_Capture(handle_), 1);
  unit().clearProtocolLog();
  ASSERT_EQ(Pelnik_SnapShot(handle_, first.data(), size, 1), 1);
  ASSERT_EQ(Pelnik_SnapShot(handle_, second.data(), size, 1), 1);
  // Only frame requests reached the camera: no register or FPGA writes.
  for (const auto &record : unit().protocolLog())
    if (record.isCommand()) {
      EXPECT_NE(record.commandCode(), 0x04) << "sensor write";
    }
  const auto a = pelnik::virtcam::readFrameStamp(first.data(), kWidth, 1);
  const auto b = pelnik::virtcam::readFrameStamp(second.data(), kWidth, 1);
  ASSERT_TRUE(a && b);
  EXPECT_LT(a->frameNumber, b->frameNumber);
  // No frame message for snapshots.
  EXPECT_TRUE(callback_.drain().empty());
}

TEST_F(Acquisition, SnapshotIntoTooSmallBufferFails) {
  std::vector<unsigned char> buffer(16);
  EXPECT_EQ(Pelnik_SnapShot(handle_, buffer.data(), 16, 1), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{5});
}

TEST_F(Acquisition, TriggerDeliversOnePicturePerTrigger) {
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);
  std::vector<unsigned char> buffer(kWidth * kHeight);
  ASSERT_EQ(Pelnik_Trigger(handle_, callback_.window(), buffer.data(),
                           static_cast<int>(buffer.size()), 1),
            1);
  EXPECT_TRUE(unit().registers().triggerMode());
  // A second call takes the new destination and starts no second loop.
  EXPECT_EQ(Pelnik_Trigger(handle_, callback_.window(), buffer.data(),
                           static_cast<int>(buffer.size()), 1),
            1);
  std::uint32_t lastFrame = 0;
  for (int trigger = 0; trigger < 3; ++trigger) {
    unit().trigger();
    const auto info = nextFrame();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->frameRate10, 0);
    const auto stamp = pelnik::virtcam::readFrameStamp(buffer.data(), kWidth, 1);
    ASSERT_TRUE(stamp.has_value());
    EXPECT_GT(stamp->frameNumber, lastFrame);
    lastFrame = stamp->frameNumber;
    EXPECT_FALSE(callback_.next(200).has_value()) << "more than one picture per trigger";
  }
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_FALSE(unit().registers().triggerMode());
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
}

TEST_F(Acquisition, DefaultPlacementRunsWithoutAWindow) {
  EXPECT_EQ(Pelnik_Preview(handle_), 1);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
  ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(Pelnik_Preview(handle_), 1);
  EXPECT_EQ(Pelnik_Close(handle_), 1);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
  // A parent window that cannot be used is a window error.
  ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, 0x7FFFFFF, 0, 0, 320, 240), 1);
  EXPECT_EQ(Pelnik_Preview(handle_), 0);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{4});
}

TEST_F(Acquisition, FrameRateIsMeasuredOverAboutOneSecond) {
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  const auto start = std::chrono::steady_clock::now();
  int rate10 = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(4) && rate10 == 0) {
    const auto info = nextFrame();
    ASSERT_TRUE(info.has_value());
    rate10 = info->frameRate10;
  }
  EXPECT_GT(rate10, 0);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

TEST_F(Acquisition, SecondProcessFindsTheStreamingCameraClaimed) {
  ASSERT_EQ(Pelnik_StartPreview(handle_), 1);
  const pid_t child =
      pelnik::test::spawnHelper(pelnik::test::helperArgv("tests/camera_capture_probe"));
  ASSERT_GE(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  // Raised 2 (claimed) then 1; popped newest first, the helper exits with
  // second * 16 + first.
  EXPECT_EQ(WEXITSTATUS(status), 2 * 16 + 1);
  EXPECT_EQ(Pelnik_StopPreview(handle_), 1);
}

}  // namespace
