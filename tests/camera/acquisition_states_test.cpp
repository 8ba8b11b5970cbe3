// The acquisition state machine and its thread against a scripted device:
// a failed streaming start, one trigger loop at most, buffers swapped while
// frames are delivered.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "camera/acquisition.h"

namespace {

using namespace std::chrono_literals;
using pelnik::Acquisition;
using pelnik::AcquisitionHost;
using pelnik::AcquisitionState;
using pelnik::FramePipeline;
using pelnik::FrameSource;
using pelnik::FrameWait;
using pelnik::PictureRows;
using pelnik::PreviewPlacement;

class ScriptedSource final : public FrameSource {
 public:
  int startStreaming() override {
    ++starts;
    streaming = true;
    return startResult.load();
  }
  void stopStreaming() override { streaming = false; }
  FrameWait waitFrame() override {
    std::this_thread::sleep_for(1ms);
    return streaming ? FrameWait::Ready : FrameWait::Stopped;
  }
  pelnik::SingleFrame readSingleFrame() override {
    const int inside = ++readersInside;
    maxReadersInside = std::max(maxReadersInside.load(), inside);
    std::this_thread::sleep_for(2ms);
    --readersInside;
    return pelnik::SingleFrame::Ready;
  }
  void closeFrameReader() override {}
  void setTriggerMode(bool on) override { triggerMode = on; }
  void setTransferTimeout(int) override {}

  std::atomic<int> starts{0};
  std::atomic<int> startResult{0};
  std::atomic<bool> streaming{false};
  std::atomic<bool> triggerMode{false};
  std::atomic<int> readersInside{0};
  std::atomic<int> maxReadersInside{0};
};

// A 4 x 2 picture of 8 bits whose bytes all carry the frame's number.
class CountingPipeline final : public FramePipeline {
 public:
  bool receiveContinuousFrame() override { return true; }
  bool receiveSingleFrame() override { return true; }
  void process() override {
    ++processed;
    std::memset(picture_, processed.load() & 0xFF, sizeof picture_);
  }
  int rawWidth() const override { return 4; }
  int rawHeight() const override { return 2; }
  int outputBits() const override { return 8; }
  PictureRows outputRows() const override { return {picture_, 4, 2}; }

  std::atomic<int> processed{0};

 private:
  std::uint8_t picture_[8] = {};
};

class ScriptedHost final : public AcquisitionHost {
 public:
  bool hasDevice() const override { return true; }
  std::recursive_mutex &deviceSetupLock() override { return setupLock; }
  bool prepare() override {
    ++prepares;
    return true;
  }
  FrameSource &frames() override { return source; }
  FramePipeline &pipeline() override { return picture; }
  void claimCamera() override { ++claims; }
  void releaseCamera() override { --claims; }
  int raiseError(pelnik::ErrorCode code) override {
    lastError = pelnik::codeValue(code);
    ++errors;
    return 1;
  }
  int waitTimeMs() const override { return 0; }
  PreviewPlacement previewPlacement() const override { return {}; }
  pelnik::PreviewImageSize previewImageSize() const override { return {}; }

  std::recursive_mutex setupLock;
  ScriptedSource source;
  CountingPipeline picture;
  std::atomic<int> prepares{0};
  std::atomic<int> claims{0};
  std::atomic<int> errors{0};
  std::atomic<int> lastError{0};
};

class AcquisitionStates : public ::testing::Test {
 protected:
  template <class Condition>
  bool eventually(Condition condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(1ms);
    return condition();
  }

  ScriptedHost host_;
  std::unique_ptr<pelnik::PreviewSurface> preview_ = pelnik::makeNullPreview();
  Acquisition acquisition_{host_, *preview_};
};

TEST_F(AcquisitionStates, FailedStreamingStartLeavesNothingRunning) {
  host_.source.startResult = 21;
  EXPECT_EQ(acquisition_.StartPreview(), 0);
  EXPECT_EQ(host_.lastError, 6);
  EXPECT_EQ(acquisition_.state(), AcquisitionState::Idle);
  EXPECT_EQ(host_.claims, 0);
  const int processed = host_.picture.processed;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(host_.picture.processed, processed);
}

TEST_F(AcquisitionStates, RepeatedTriggerKeepsOneLoop) {
  ASSERT_EQ(acquisition_.Trigger(0, nullptr, 0, 1), 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(acquisition_.Trigger(0, nullptr, 0, 1), 1);
  EXPECT_EQ(host_.prepares, 1);
  EXPECT_TRUE(host_.source.triggerMode);
  ASSERT_TRUE(eventually([&] { return host_.picture.processed > 10; }));
  EXPECT_EQ(host_.source.maxReadersInside, 1);
  EXPECT_EQ(acquisition_.StopPreview(), 1);
  EXPECT_FALSE(host_.source.triggerMode);
  EXPECT_EQ(host_.source.readersInside, 0);
}

TEST_F(AcquisitionStates, SwappedBuffersReceiveWholeFrames) {
  std::vector<std::uint8_t> a(8), b(8);
  ASSERT_EQ(acquisition_.CallBackPreview(0, a.data(), 8, 1), 1);
  for (int i = 0; i < 200; ++i) {
    std::vector<std::uint8_t> &next = (i % 2) ? a : b;
    ASSERT_EQ(acquisition_.CallBackPreview(0, next.data(), 8, 1), 1);
    // Under the frame lock no frame is half-written into either buffer.
    pelnik::platform::RecursiveGuard frame(acquisition_.frameLock());
    for (const auto *buffer : {&a, &b})
      for (std::uint8_t byte : *buffer) ASSERT_EQ(byte, (*buffer)[0]);
  }
  EXPECT_EQ(acquisition_.StopPreview(), 1);
  EXPECT_EQ(host_.errors, 0);
}

}  // namespace
