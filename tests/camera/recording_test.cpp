// The recording thread against a scripted camera and a clock the test sets:
// when a recording ends (duration 0, across the 32-bit clock's wrap, never
// for the longest duration), how every other ending still leaves a complete
// movie, and the end message with its frame count.
#include "camera/recording.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "PelnikSdk_R5M_LX.h"
#include "imaging/image_buffer.h"
#include "support/file_bytes.h"
#include "support/small_file_system.h"
#include "support/test_environment.h"

namespace {

using pelnik::test::littleU32;
using pelnik::test::readFileBytes;

using namespace std::chrono_literals;
using pelnik::CImageBuffer;
using pelnik::Recording;

struct Ending {
  int how;
  std::uint32_t frames;
};

// Finishes a picture whenever the recording asks for one and moves the
// clock on by `step` milliseconds each time.
class ScriptedCamera final : public pelnik::RecordingHost {
 public:
  ScriptedCamera(std::uint32_t start, std::uint32_t stepMs) : now(start), step(stepMs) {
    picture.Create(6, 4, 24);
  }

  pelnik::platform::RecursiveLock &frameLock() override { return lock; }
  CImageBuffer *preparedPicture() override { return &picture; }
  bool takeNewFrame(int waitMs) override {
    if (waitMs == 0) return false;  // the start discards what came before
    const int given = framesGiven.load();
    if (lostAfter >= 0 && given >= lostAfter) {
      lost = true;
      return false;
    }
    if (resizeAfter >= 0 && given == resizeAfter) {
      pelnik::platform::RecursiveGuard guard(lock);
      picture.Create(8, 4, 24);
    }
    now += step;
    ++framesGiven;
    return true;
  }
  bool cameraLost() const override { return lost.load(); }
  int raiseError(pelnik::ErrorCode code) override {
    std::lock_guard<std::mutex> guard(recordLock);
    errors.push_back(pelnik::codeValue(code));
    return 1;
  }
  void announceEnd(int how, std::uint32_t frames) override {
    std::lock_guard<std::mutex> guard(recordLock);
    endings.push_back({how, frames});
  }

  std::uint32_t clock() const { return now.load(); }
  std::vector<Ending> endingsSoFar() {
    std::lock_guard<std::mutex> guard(recordLock);
    return endings;
  }
  std::vector<int> errorsSoFar() {
    std::lock_guard<std::mutex> guard(recordLock);
    return errors;
  }
  // Waits for the recording to end by itself.
  Ending waitForEnd() {
    for (int i = 0; i < 5000; ++i) {
      const auto e = endingsSoFar();
      if (!e.empty()) return e.back();
      std::this_thread::sleep_for(1ms);
    }
    ADD_FAILURE() << "the recording did not end";
    return {0, 0};
  }

  pelnik::platform::RecursiveLock lock;
  CImageBuffer picture;
  std::atomic<std::uint32_t> now;
  const std::uint32_t step;
  std::atomic<int> framesGiven{0};
  int lostAfter = -1;
  int resizeAfter = -1;
  std::atomic<bool> lost{false};
  std::mutex recordLock;  // guards errors and endings
  std::vector<int> errors;
  std::vector<Ending> endings;
};

// A complete movie of `frames` 6 x 4 frames (80 bytes each, 88 with the chunk header) with its
// index.
void expectFinishedMovie(const std::string &path, std::uint32_t frames) {
  const auto f = readFileBytes(path);
  ASSERT_EQ(f.size(), 232u + frames * 88u + 8 + 16 * frames);
  EXPECT_EQ(littleU32(f, 4), f.size() - 8);
  EXPECT_EQ(littleU32(f, 48), frames);
  EXPECT_EQ(littleU32(f, 140), frames);
  EXPECT_EQ(littleU32(f, 224), 4 + frames * 88u);
}

std::string file(const std::string &name) { return pelnik::test::isolationRoot() + "/" + name; }

std::uint32_t scaleFor(std::uint32_t frames, std::uint32_t elapsedMs) {
  return 1000000000u / std::uint32_t(std::uint64_t(frames) * 100000 / elapsedMs);
}

TEST(RecordingDuration, ZeroRecordsTwoFrames) {
  ScriptedCamera camera(5000, 40);
  Recording recording(camera, [&] { return camera.clock(); });
  const std::string path = file("zero.avi");
  ASSERT_EQ(recording.start(path.c_str(), 0, 6, 4, 24), Recording::StartResult::Started);
  const Ending end = camera.waitForEnd();
  EXPECT_EQ(end.how, PELNIK_RECORD_END_DURATION);
  EXPECT_EQ(end.frames, 2u);
  recording.stop();
  expectFinishedMovie(path, 2);
  // Two frames 40 ms apart: 50.00 frames per second.
  EXPECT_EQ(littleU32(readFileBytes(path), 128), 1000000000u / 5000);
  EXPECT_TRUE(camera.errorsSoFar().empty());
}

TEST(RecordingDuration, StartOneSecondBeforeTheClockWrapsLastsItsDuration) {
  ScriptedCamera camera(0xFFFFFFFFu - 999, 100);
  Recording recording(camera, [&] { return camera.clock(); });
  const std::string path = file("wrap.avi");
  ASSERT_EQ(recording.start(path.c_str(), 5000, 6, 4, 24), Recording::StartResult::Started);
  const Ending end = camera.waitForEnd();
  // Frames every 100 ms from the first: the first one more than 5000 ms
  // after it is frame 51, taken 5100 ms in, past the wrap.
  EXPECT_EQ(end.how, PELNIK_RECORD_END_DURATION);
  EXPECT_EQ(end.frames, 52u);
  EXPECT_LT(camera.clock(), 5000u);  // the clock did wrap
  recording.stop();
  expectFinishedMovie(path, 52);
  EXPECT_EQ(littleU32(readFileBytes(path), 128), scaleFor(52, 5100));
}

TEST(RecordingDuration, LongestDurationRecordsUntilStopped) {
  // Each frame 10^8 ms after the last: the elapsed time passes 2^32 ms and
  // wraps several times, yet never exceeds the duration.
  ScriptedCamera camera(123, 100000000);
  Recording recording(camera, [&] { return camera.clock(); });
  const std::string path = file("forever.avi");
  ASSERT_EQ(recording.start(path.c_str(), 0xFFFFFFFFu, 6, 4, 24), Recording::StartResult::Started);
  while (camera.framesGiven.load() < 150 && camera.endingsSoFar().empty())
    std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(recording.isRecording());
  recording.stop();
  const auto endings = camera.endingsSoFar();
  ASSERT_EQ(endings.size(), 1u);
  EXPECT_EQ(endings[0].how, PELNIK_RECORD_END_STOPPED);
  EXPECT_GE(endings[0].frames, 150u);
  expectFinishedMovie(path, endings[0].frames);
}

TEST(RecordingEndings, CameraLostAndPictureChangedFinishWhatWasWritten) {
  {
    ScriptedCamera camera(0, 33);
    camera.lostAfter = 7;
    Recording recording(camera, [&] { return camera.clock(); });
    const std::string path = file("lost.avi");
    ASSERT_EQ(recording.start(path.c_str(), 100000, 6, 4, 24), Recording::StartResult::Started);
    const Ending end = camera.waitForEnd();
    EXPECT_EQ(end.how, PELNIK_RECORD_END_CAMERA_LOST);
    EXPECT_EQ(end.frames, 7u);
    recording.stop();
    expectFinishedMovie(path, 7);
  }
  {
    ScriptedCamera camera(0, 33);
    camera.resizeAfter = 4;
    Recording recording(camera, [&] { return camera.clock(); });
    const std::string path = file("resized.avi");
    ASSERT_EQ(recording.start(path.c_str(), 100000, 6, 4, 24), Recording::StartResult::Started);
    const Ending end = camera.waitForEnd();
    EXPECT_EQ(end.how, PELNIK_RECORD_END_PICTURE_CHANGED);
    EXPECT_EQ(end.frames, 4u);
    recording.stop();
    expectFinishedMovie(path, 4);
  }
}

TEST(RecordingEndings, FullDiskEndsTheRecordingWithErrorTwelve) {
  pelnik::test::SmallFileSystem disk(16 * 1024);
  ASSERT_TRUE(disk.ok()) << disk.error();
  ScriptedCamera camera(0, 33);
  Recording recording(camera, [&] { return camera.clock(); });
  const std::string path = disk.file("full.avi");
  // 40 x 40 frames of 4800 bytes: three fit in 16 KiB.
  camera.picture.Create(40, 40, 24);
  ASSERT_EQ(recording.start(path.c_str(), 100000, 40, 40, 24), Recording::StartResult::Started);
  const Ending end = camera.waitForEnd();
  EXPECT_EQ(end.how, PELNIK_RECORD_END_WRITE_FAILED);
  EXPECT_EQ(end.frames, 3u);
  EXPECT_EQ(camera.errorsSoFar(), std::vector<int>{PELNIK_ERR_FILE});
  // Frames stopped being taken at the failure.
  EXPECT_EQ(camera.framesGiven.load(), 4);
  recording.stop();
  const auto f = readFileBytes(path);
  ASSERT_EQ(f.size(), 232u + 3 * 4808 + 8 + 48);
  EXPECT_EQ(littleU32(f, 4), f.size() - 8);
  EXPECT_EQ(littleU32(f, 48), 3u);
}

TEST(RecordingThreads, EndedRecordingIsJoinedByTheNextStartAndARunningOneIsLeftAlone) {
  ScriptedCamera camera(0, 20);
  Recording recording(camera, [&] { return camera.clock(); });
  const std::string first = file("first.avi");
  ASSERT_EQ(recording.start(first.c_str(), 0, 6, 4, 24), Recording::StartResult::Started);
  camera.waitForEnd();
  EXPECT_FALSE(recording.isRecording());
  // Its thread ended by itself; the next start joins it and records anew.
  const std::string second = file("second.avi");
  ASSERT_EQ(recording.start(second.c_str(), 0xFFFFFFFFu, 6, 4, 24),
            Recording::StartResult::Started);
  EXPECT_EQ(recording.start(first.c_str(), 0, 6, 4, 24), Recording::StartResult::Busy);
  EXPECT_TRUE(recording.isRecording());
  recording.stop();
  EXPECT_FALSE(recording.isRecording());
  const auto endings = camera.endingsSoFar();
  ASSERT_EQ(endings.size(), 2u);
  EXPECT_EQ(endings[1].how, PELNIK_RECORD_END_STOPPED);
  expectFinishedMovie(first, 2);
  expectFinishedMovie(second, endings[1].frames);
  // A file that cannot be created refuses the start.
  EXPECT_EQ(recording.start("/nonexistent-dir/x.avi", 0, 6, 4, 24),
            Recording::StartResult::FileFailed);
}

}  // namespace
