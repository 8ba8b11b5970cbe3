// Frame transfer through the fake driver: the ring and its slot protection,
// WaitFrame and FetchFrame, the end of a run, the single-frame reader and
// the window copy.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "device/CPelnikR5MLXSdk.h"
#include "device/device_status.h"
#include "device/ring_cursor.h"
#include "device_fakes.h"

namespace {

using namespace pelnik::device;
using pelnik::test::CountingClock;
using pelnik::test::FakeTransport;
using pelnik::test::ImageRead;

TEST(RingCursor, IdleConsumerKeepsItsSlotAndTakesTheNewest) {
  RingCursor cursor;
  cursor.restart(4);
  std::vector<int> filled;
  for (int frame = 0; frame < 7; ++frame) {
    filled.push_back(cursor.writeIndex());
    cursor.delivered();
  }
  // Slot 0 is the consumer's from the start, so the thread steps over it.
  EXPECT_EQ(filled, (std::vector<int>{0, 1, 2, 3, 1, 2, 3}));
  EXPECT_EQ(cursor.writeIndex(), 1);
  ASSERT_TRUE(cursor.takeNewest());
  EXPECT_EQ(cursor.readIndex(), 3);
  EXPECT_FALSE(cursor.takeNewest()) << "the same frame is taken once";
  // While slot 3 is held the thread never fills it.
  filled.clear();
  for (int frame = 0; frame < 4; ++frame) {
    filled.push_back(cursor.writeIndex());
    cursor.delivered();
  }
  EXPECT_EQ(filled, (std::vector<int>{1, 2, 0, 1}));
  cursor.release();
  ASSERT_TRUE(cursor.takeNewest());
  EXPECT_EQ(cursor.readIndex(), 1);
}

class FrameTransfer : public ::testing::Test {
 protected:
  FrameTransfer() {
    transport_.present({'0'});
    device_ = std::make_unique<CPelnikR5MLXSdk>(transport_, clock_);
    EXPECT_EQ(device_->SetWindow(0, 0, 64, 48, 0), 0);
    transport_.clearLog();
  }
  ~FrameTransfer() override { device_->StopStreaming(); }

  // WaitFrame until it stops answering "signalled".
  int waitPastSignals() {
    int result;
    do result = device_->WaitFrame();
    while (result == kWaitSignalled);
    return result;
  }
  void waitForDeliveries(std::uint64_t count) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (device_->DeliveredFrames() < count && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(device_->DeliveredFrames(), count);
  }
  // The frame number the fake stamped into a fetched window.
  std::uint32_t fetchFrameNumber() {
    std::vector<std::uint8_t> window(device_->PackedWindowBytes());
    EXPECT_EQ(device_->FetchFrame(window.data(), window.size()), 0);
    std::uint32_t number;
    std::memcpy(&number, window.data(), sizeof number);
    return number;
  }
  std::size_t imageReads() const {
    std::size_t count = 0;
    for (const auto &r : transport_.requests()) count += r.pipe == 2;
    return count;
  }

  FakeTransport transport_;
  CountingClock clock_;
  std::unique_ptr<CPelnikR5MLXSdk> device_;
};

TEST_F(FrameTransfer, WaitReportsASignalThenTheFrame) {
  transport_.allowFrames(0);
  ASSERT_EQ(device_->StartStreaming(), 0);
  std::thread camera([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    transport_.allowFrames(1);
  });
  EXPECT_EQ(device_->WaitFrame(), kWaitSignalled);
  EXPECT_EQ(device_->WaitFrame(), kWaitReady);
  EXPECT_EQ(fetchFrameNumber(), 1u);
  camera.join();
  // The camera now stalls; stopping must not wait for it.
  EXPECT_EQ(device_->StopStreaming(), 0);
  EXPECT_EQ(device_->WaitFrame(), kWaitStopped);
  EXPECT_EQ(transport_.openHandles(), 0u);
}

TEST_F(FrameTransfer, IdleConsumerGetsTheNewestFrame) {
  transport_.allowFrames(7);
  ASSERT_EQ(device_->StartStreaming(), 0);
  waitForDeliveries(7);
  ASSERT_EQ(device_->WaitFrame(), kWaitReady);
  EXPECT_EQ(fetchFrameNumber(), 7u);
  transport_.allowFrames(9);
  waitForDeliveries(9);
  ASSERT_EQ(device_->WaitFrame(), kWaitReady);
  EXPECT_EQ(fetchFrameNumber(), 9u);
  EXPECT_EQ(device_->StopStreaming(), 0);
}

TEST_F(FrameTransfer, StreamingUsesTheDocumentedRequests) {
  transport_.allowFrames(2);
  ASSERT_EQ(device_->StartStreaming(), 0);
  waitForDeliveries(2);
  device_->StopStreaming();
  const auto requests = transport_.requests();
  // The reset goes first, through a handle of its own.
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[0].block[0], 0x01);
  EXPECT_EQ(requests[0].code, 0x222051u);
  EXPECT_EQ(requests[1].block[0], 0x02);
  EXPECT_EQ(requests[1].code, 0x22204Eu);
  EXPECT_NE(requests[1].handle, requests[0].handle);
  EXPECT_EQ(requests[2].pipe, 2);
  EXPECT_EQ(requests[2].code, 0x222051u);
  EXPECT_EQ(requests[2].outputLength, device_->TransferBytes());
}

TEST_F(FrameTransfer, FirstShortReadIsRetriedTheSecondEndsTheRun) {
  transport_.scriptImageReads({ImageRead::Short, ImageRead::Full, ImageRead::Short});
  transport_.allowFrames(1);
  ASSERT_EQ(device_->StartStreaming(), 0);
  ASSERT_EQ(waitPastSignals(), kWaitReady);
  EXPECT_EQ(fetchFrameNumber(), 1u);
  // Only now is the camera allowed another frame; its read comes back short.
  transport_.allowFrames(2);
  EXPECT_EQ(waitPastSignals(), kWaitFailed);
  EXPECT_EQ(device_->DeliveredFrames(), 1u) << "a short read was handed over as a frame";
  EXPECT_EQ(imageReads(), 3u);
  EXPECT_EQ(device_->StopStreaming(), kStatusImageFailed);
  EXPECT_EQ(device_->WaitFrame(), kWaitStopped);
}

TEST_F(FrameTransfer, TwoShortReadsEndTheRunBeforeAnyFrame) {
  transport_.scriptImageReads({ImageRead::Short, ImageRead::Short});
  ASSERT_EQ(device_->StartStreaming(), 0);
  EXPECT_EQ(waitPastSignals(), kWaitFailed);
  EXPECT_EQ(device_->DeliveredFrames(), 0u);
  EXPECT_EQ(device_->StopStreaming(), kStatusImageFailed);
  // A new run starts cleanly after the failed one.
  ASSERT_EQ(device_->StartStreaming(), 0);
  EXPECT_EQ(waitPastSignals(), kWaitReady);
  EXPECT_EQ(device_->StopStreaming(), 0);
}

TEST_F(FrameTransfer, AFailedReadIsNotAFrame) {
  transport_.scriptImageReads({ImageRead::Full, ImageRead::Fail});
  ASSERT_EQ(device_->StartStreaming(), 0);
  // The good frame may be taken before the failure ends the run; the failed
  // read never is.
  int result = waitPastSignals();
  if (result == kWaitReady) {
    EXPECT_EQ(fetchFrameNumber(), 1u);
    result = waitPastSignals();
  }
  EXPECT_EQ(result, kWaitFailed);
  EXPECT_EQ(device_->DeliveredFrames(), 1u);
  EXPECT_EQ(device_->StopStreaming(), kStatusImageFailed);
}

TEST_F(FrameTransfer, StartTwiceAndStopWhenStopped) {
  EXPECT_EQ(device_->StopStreaming(), 0);
  transport_.allowFrames(0);
  ASSERT_EQ(device_->StartStreaming(), 0);
  EXPECT_EQ(device_->StartStreaming(), kStatusStreaming);
  // Nothing may replace the ring or the device under the running thread.
  EXPECT_EQ(device_->SetWindow(0, 0, 32, 32, 0), 1);
  EXPECT_EQ(device_->SelectDevice(1), kStatusStreaming);
  EXPECT_EQ(device_->GetDeviceNumber(), 0);
  EXPECT_EQ(device_->StopStreaming(), 0);
  EXPECT_EQ(device_->StopStreaming(), 0);
  EXPECT_EQ(device_->SetWindow(0, 0, 32, 32, 0), 0);
}

TEST_F(FrameTransfer, AbsentCameraEndsTheRunWithoutAnError) {
  ASSERT_EQ(device_->SelectDevice(3), 0);
  ASSERT_EQ(device_->StartStreaming(), 0);
  EXPECT_EQ(waitPastSignals(), kWaitStopped);
  EXPECT_EQ(device_->StopStreaming(), 0);
  EXPECT_EQ(device_->ReadSingleFrame(), kStatusNoHandle);
}

TEST_F(FrameTransfer, SingleFrameReaderKeepsItsHandle) {
  ASSERT_EQ(device_->ReadSingleFrame(), 0);
  ASSERT_EQ(device_->ReadSingleFrame(), 0);
  std::vector<pelnik::platform::DeviceHandle> readHandles;
  for (const auto &r : transport_.requests())
    if (r.pipe == 2) readHandles.push_back(r.handle);
  ASSERT_EQ(readHandles.size(), 2u);
  EXPECT_EQ(readHandles[0], readHandles[1]);
  EXPECT_TRUE(device_->FrameReaderOpen());
  EXPECT_EQ(transport_.openHandles(), 1u);

  std::vector<std::uint8_t> window(device_->PackedWindowBytes());
  EXPECT_EQ(device_->FetchSingleFrame(window.data(), window.size()), 0);
  std::uint32_t number;
  std::memcpy(&number, window.data(), sizeof number);
  EXPECT_EQ(number, 2u);

  // A failed read drops the handle; the next read opens a new one.
  transport_.scriptImageReads({ImageRead::Fail});
  EXPECT_EQ(device_->ReadSingleFrame(), kStatusImageFailed);
  EXPECT_FALSE(device_->FrameReaderOpen());
  EXPECT_EQ(transport_.openHandles(), 0u);
  EXPECT_EQ(device_->ReadSingleFrame(), 0);
  device_->CloseFrameReader();
  EXPECT_EQ(transport_.openHandles(), 0u);
}

TEST_F(FrameTransfer, CopiesRefuseWhatDoesNotFit) {
  ASSERT_EQ(device_->ReadSingleFrame(), 0);
  EXPECT_EQ(device_->FetchSingleFrame(nullptr, 0), kStatusNoDestination);
  std::vector<std::uint8_t> small(device_->PackedWindowBytes() - 1, 0xAB);
  EXPECT_EQ(device_->FetchSingleFrame(small.data(), small.size()), kStatusNoDestination);
  EXPECT_EQ(small.front(), 0xAB);
  EXPECT_EQ(small.back(), 0xAB);
  // The defaults of a selection describe a frame larger than these buffers:
  // the copy refuses instead of reading past them.
  device_->ResetDefaults();
  std::vector<std::uint8_t> big(device_->PackedWindowBytes());
  EXPECT_NE(device_->FetchSingleFrame(big.data(), big.size()), 0);
}

TEST_F(FrameTransfer, WindowCopyFollowsTheRawFrameLayout) {
  // 8-pixel rows, image 4 wide from pixel 2, 3 rows from row 1.
  ASSERT_EQ(device_->SetFrameGeometry(8, 2, 4, 5, 1, 3, 2), 0);
  std::vector<std::uint8_t> frame(40);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i);
  std::vector<std::uint8_t> window(12, 0xFF);
  ASSERT_EQ(device_->CopyWindow(window.data(), window.size(), frame.data(), frame.size()), 0);
  EXPECT_EQ(window, (std::vector<std::uint8_t>{10, 11, 12, 13, 18, 19, 20, 21, 26, 27, 28, 29}));

  // 16-bit samples take two bytes each.
  device_->SetPixelWidth(1);
  std::vector<std::uint8_t> wide(24);
  std::vector<std::uint8_t> wideFrame(80);
  for (std::size_t i = 0; i < wideFrame.size(); ++i) wideFrame[i] = static_cast<std::uint8_t>(i);
  ASSERT_EQ(device_->CopyWindow(wide.data(), wide.size(), wideFrame.data(), wideFrame.size()), 0);
  EXPECT_EQ(wide[0], 20);
  EXPECT_EQ(wide[7], 27);
  EXPECT_EQ(wide[8], 36);
  // The frame must reach the window's last sample.
  EXPECT_EQ(device_->CopyWindow(wide.data(), wide.size(), wideFrame.data(), 59), kStatusNoMemory);

  EXPECT_EQ(device_->SetFrameGeometry(4, 0, 5, 3, 0, 3, 2), kStatusBadHorizontalGeometry);
  EXPECT_EQ(device_->SetFrameGeometry(4, 0, 4, 3, 1, 3, 2), kStatusBadVerticalGeometry);
  EXPECT_EQ(device_->SetFrameGeometry(4, 0, 4, 3, 0, 3, 1), kStatusTooFewBuffers);
}

}  // namespace
