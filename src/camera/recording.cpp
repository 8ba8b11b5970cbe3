#include "camera/recording.h"

#include <algorithm>

#include "PelnikSdk_R5M_LX.h"
#include "imaging/image_buffer.h"

namespace pelnik {

namespace {

// How long the thread waits for a picture before looking at its run flag
// and the camera again.
constexpr int kFrameWaitMs = 10;

}  // namespace

Recording::Recording(RecordingHost &host, Clock clock) : host_(host), clock_(std::move(clock)) {}

Recording::~Recording() { stop(); }

void Recording::setLargestFile(std::uint64_t bytes) {
  std::lock_guard<std::mutex> control(controlLock_);
  if (ended_.load()) writer_.setLargestFile(bytes);
}

bool Recording::isRecording() const { return !ended_.load(); }

Recording::StartResult Recording::start(const char *path, std::uint32_t durationMs, int width,
                                        int height, int bitCount) {
  std::lock_guard<std::mutex> control(controlLock_);
  if (!ended_.load()) return StartResult::Busy;
  thread_.join();
  if (!frames_.prepare(width, height)) return StartResult::NoMemory;
  if (writer_.open(path, width, height, bitCount) != output::AviWriter::OpenResult::Opened)
    return StartResult::FileFailed;
  durationMs_ = durationMs;
  // Only pictures finished from now on are recorded.
  host_.takeNewFrame(0);
  runFlag_ = 1;
  ended_ = false;
  if (!thread_.start([this] { run(); })) {
    runFlag_ = 0;
    ended_ = true;
    writer_.reset();
    return StartResult::ThreadFailed;
  }
  return StartResult::Started;
}

void Recording::stop() {
  std::lock_guard<std::mutex> control(controlLock_);
  runFlag_ = 0;
  thread_.join();
}

std::uint32_t Recording::measuredRate(std::uint32_t frames, std::uint32_t elapsedMs) {
  // One frame has no interval to measure: the movie keeps its nominal rate.
  if (frames < 2) return output::kAviNominalRate;
  const std::uint64_t rate =
      std::uint64_t{frames} * 100000u / std::max<std::uint64_t>(elapsedMs, 1);
  return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(rate, 1, 0xFFFFFFFFu));
}

void Recording::run() {
  bool haveFirst = false;
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  int how = PELNIK_RECORD_END_STOPPED;
  while (runFlag_.load() != 0) {
    if (!host_.takeNewFrame(kFrameWaitMs)) {
      if (host_.cameraLost()) {
        how = PELNIK_RECORD_END_CAMERA_LOST;
        break;
      }
      continue;
    }
    if (runFlag_.load() == 0) break;
    const std::uint32_t now = clock_();
    if (!haveFirst) {
      haveFirst = true;
      first = now;
    }
    const CImageBuffer *frame = nullptr;
    {
      // Only the conversion holds the frame lock; the disk write does not.
      platform::RecursiveGuard lock(host_.frameLock());
      if (CImageBuffer *picture = host_.preparedPicture()) frame = frames_.convert(*picture);
    }
    if (!frame) {
      how = PELNIK_RECORD_END_PICTURE_CHANGED;
      break;
    }
    const output::AviWriter::FrameResult written = writer_.writeFrame(frames_.frame());
    if (written == output::AviWriter::FrameResult::SizeLimit) {
      how = PELNIK_RECORD_END_SIZE_LIMIT;
      break;
    }
    if (written == output::AviWriter::FrameResult::WriteFailed) {
      how = PELNIK_RECORD_END_WRITE_FAILED;
      break;
    }
    last = now;
    // Unsigned difference: right across the clock's wrap, and a duration of
    // 0xFFFFFFFF is never exceeded.
    if (static_cast<std::uint32_t>(now - first) > durationMs_) {
      how = PELNIK_RECORD_END_DURATION;
      break;
    }
  }
  const std::uint32_t frames = writer_.frameCount();
  const bool finished = writer_.finish(measuredRate(frames, last - first));
  if (how == PELNIK_RECORD_END_WRITE_FAILED || !finished) host_.raiseError(ErrorCode::FileError);
  host_.announceEnd(how, frames);
  runFlag_ = 0;
  ended_ = true;
}

}  // namespace pelnik
