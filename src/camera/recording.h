#pragma once
// One camera's AVI recording: the writer, the recording's own frame, and the
// recording thread that takes the newest finished picture, converts it under
// the frame lock, writes it without the lock, and finishes the file however
// the recording ends.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "camera/error_codes.h"
#include "output/avi_frame.h"
#include "output/avi_writer.h"
#include "platform/recursive_lock.h"
#include "platform/thread.h"

namespace pelnik {

class CImageBuffer;

// What the recording needs of the camera around it.
class RecordingHost {
 public:
  virtual ~RecordingHost() = default;
  virtual platform::RecursiveLock &frameLock() = 0;
  // Under the frame lock: the finished picture of the prepared acquisition
  // (null before the first prepare).
  virtual CImageBuffer *preparedPicture() = 0;
  // Takes the new-frame flag, waiting up to `waitMs` for a picture to be
  // finished; true when one was finished since the last take.
  virtual bool takeNewFrame(int waitMs) = 0;
  // The preview loop ended because the camera stopped delivering frames.
  virtual bool cameraLost() const = 0;
  virtual int raiseError(ErrorCode code) = 0;
  // Posts the end-of-recording message to the owner window.
  virtual void announceEnd(int how, std::uint32_t frames) = 0;
};

class Recording {
 public:
  using Clock = std::function<std::uint32_t()>;
  enum class StartResult { Started, Busy, FileFailed, NoMemory, ThreadFailed };

  // `clock` is the 32-bit millisecond tick the recording is timed by.
  explicit Recording(RecordingHost &host, Clock clock);
  ~Recording();
  Recording(const Recording &) = delete;
  Recording &operator=(const Recording &) = delete;

  // Opens the file for pictures of this size and starts the thread. A
  // recording that ended by itself is joined first; one still running
  // makes this Busy and is left alone.
  StartResult start(const char *path, std::uint32_t durationMs, int width, int height,
                    int bitCount);
  // Ends a running recording (finished with the frames so far) and joins
  // its thread; nothing when none runs. Never called on the recording thread.
  void stop();
  bool isRecording() const;

  // For tests: the writer's file size limit (only while nothing records).
  void setLargestFile(std::uint64_t bytes);

 private:
  void run();
  // Frames per second x 100 between the first and the last frame.
  static std::uint32_t measuredRate(std::uint32_t frames, std::uint32_t elapsedMs);

  RecordingHost &host_;
  Clock clock_;
  std::uint32_t durationMs_ = 0;

  std::mutex controlLock_;  // guards starting, stopping and joining thread_
  std::atomic<int> runFlag_{0};
  std::atomic<bool> ended_{true};
  platform::Thread thread_;
  // Used by the recording thread alone while it runs.
  output::AviWriter writer_;
  output::AviFrameMaker frames_;
};

}  // namespace pelnik
