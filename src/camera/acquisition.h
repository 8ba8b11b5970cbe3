#pragma once
// Acquisition of one camera: the state machine of continuous, single and
// triggered pictures, the acquisition thread with its preview and trigger
// loops, the frame lock, the frame information record and the frame
// message, and the copy into the application's buffer.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "PelnikSdk_R5M_LX.h"
#include "camera/application_copy.h"
#include "camera/error_codes.h"
#include "camera/frame_rate.h"
#include "platform/event.h"
#include "platform/recursive_lock.h"
#include "platform/thread.h"
#include "preview/preview_surface.h"

namespace pelnik {

enum class AcquisitionState : int { Idle = 0, Streaming = 1, Capture = 2, Triggered = 3 };

// What the device's frame transfer answers to a wait for the next frame.
enum class FrameWait { Stopped, NothingYet, Ready, Lost };

// What a single-frame read answers: a frame, none (no trigger in time, a
// failed transfer), or no way to the camera at all.
enum class SingleFrame { Ready, Failed, Lost };

// The transfer control the acquisition needs of the device.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual int startStreaming() = 0;  // 0 = started
  virtual void stopStreaming() = 0;
  virtual FrameWait waitFrame() = 0;
  virtual SingleFrame readSingleFrame() = 0;  // waits for a trigger in trigger mode
  virtual void closeFrameReader() = 0;
  virtual void setTriggerMode(bool on) = 0;
  virtual void setTransferTimeout(int milliseconds) = 0;
};

// The buffers of the colour mode fixed by the last prepare, and the filter
// chain between them. Used only under the frame lock.
class FramePipeline {
 public:
  virtual ~FramePipeline() = default;
  // Copies the newest continuous (or the single) frame into the raw buffer;
  // false when the transfer failed or the device's geometry or sample width
  // does not match the raw buffer.
  virtual bool receiveContinuousFrame() = 0;
  virtual bool receiveSingleFrame() = 0;
  // Runs the filter chain from the raw buffer into the output buffer.
  virtual void process() = 0;
  virtual int rawWidth() const = 0;
  virtual int rawHeight() const = 0;
  virtual int outputBits() const = 0;
  // The finished picture; empty rows when there is none.
  virtual PictureRows outputRows() const = 0;
};

// What the acquisition needs of the camera object around it.
class AcquisitionHost {
 public:
  virtual ~AcquisitionHost() = default;
  virtual bool hasDevice() const = 0;
  // Held by every reconfiguration of the device object; acquisition holds it
  // from a start's preparation until the state is entered, across a stop and
  // across a single-frame read, so the device is never reconfigured under a
  // read or between a preparation and the acquisition it prepared. Taken
  // after the acquisition's control lock and before the frame lock; the
  // acquisition thread never takes it.
  virtual std::recursive_mutex &deviceSetupLock() = 0;
  // Presence and claim check, format, buffers, sensor set-up; raises its own
  // error codes. Runs only while no acquisition thread runs, under the
  // device set-up lock.
  virtual bool prepare() = 0;
  virtual FrameSource &frames() = 0;
  virtual FramePipeline &pipeline() = 0;
  virtual void claimCamera() = 0;
  virtual void releaseCamera() = 0;
  virtual int raiseError(ErrorCode code) = 0;
  virtual int waitTimeMs() const = 0;
  virtual PreviewPlacement previewPlacement() const = 0;
  // The picture size a top-level preview window's client area gets.
  virtual PreviewImageSize previewImageSize() const = 0;
  // Every stop ends a recording too, once the acquisition thread has ended.
  virtual void stopRecording() {}
};

class Acquisition {
 public:
  Acquisition(AcquisitionHost &host, PreviewSurface &preview);
  ~Acquisition();
  Acquisition(const Acquisition &) = delete;
  Acquisition &operator=(const Acquisition &) = delete;

  int Preview();
  int CallBackPreview(int callbackWindow, void *buffer, int size, int rowOrder);
  int StartPreview();
  int StopPreview();
  int Close();
  int Capture();
  int SnapShot(void *buffer, int size, int rowOrder);
  int Trigger(int callbackWindow, void *buffer, int size, int rowOrder);
  int GetImage(void *buffer, int size, int rowOrder);

  // Where pictures go besides the preview window.
  struct ApplicationTarget {
    int callbackWindow = 0;
    void *buffer = nullptr;
    int size = 0;
    int rowOrder = 0;
  };
  // What ran before a format change, to be started again after it.
  struct Suspended {
    AcquisitionState state = AcquisitionState::Idle;
    ApplicationTarget target;
  };
  // Stops whatever acquisition runs (a trigger loop too, so that it never
  // sits in a trigger read while the format changes) and notes it.
  Suspended suspend();
  // Starts again what suspend() stopped, with the format as it is now:
  // streaming restarts, a prepared capture is prepared again, a trigger
  // loop restarts with its destination. 1, or 0 when that failed.
  int resume(const Suspended &suspended);

  AcquisitionState state() const { return state_.load(); }
  bool isAcquiring() const { return state() != AcquisitionState::Idle; }
  bool imageAvailable() const { return imageAvailable_.load() != 0; }
  // Set after every finished picture of the preview loop; taken by a recorder.
  bool takeNewFrame() { return newFrame_.exchange(0) != 0; }
  // The same, waiting up to `waitMs` for the next finished picture.
  bool waitNewFrame(int waitMs);
  // The preview loop ended because the camera stopped delivering frames.
  bool cameraLost() const { return cameraLost_.load(); }
  // Pictures the preview loop has finished since the object was made.
  std::uint64_t picturesFinished() const { return picturesFinished_.load(); }

  // For the recorder: holds off other acquisition starts and stops.
  std::unique_lock<std::recursive_mutex> lockControl() {
    return std::unique_lock<std::recursive_mutex>(controlLock_);
  }
  // Continuous acquisition for a recording: 1 started or already running;
  // -1 the preview window asked for could not be made (error 4 raised); 0
  // acquisition could not start (a running trigger or capture state is left
  // as it was, a start from idle is closed again).
  int StartForRecording(bool showWindow);
  // No callback window, buffer or row order any more.
  void ClearTarget() { setTarget({}); }
  int triggerTimeLimitMs() const { return triggerTimeLimitMs_.load(); }

  // The re-entrant frame lock: held while a frame is received, processed and
  // delivered, and by every reader of the picture (saving, recording).
  platform::RecursiveLock &frameLock() { return frameLock_; }
  const PelnikFrameInfo &frameInfo() const { return frameInfo_; }

 private:
  enum class Loop { Preview, Trigger };

  class ControlScope;
  int stopLocked();
  int startPreviewLocked();
  // Preview and CallBackPreview: the window, the target, the start.
  int startWithTarget(const ApplicationTarget &wanted);
  // Whether a start must be refused because another acquisition runs.
  bool otherAcquisitionRuns() const;
  bool startThread(Loop loop);
  bool openPreviewWindow();
  void setTarget(const ApplicationTarget &target);
  ApplicationTarget currentTarget();
  // The preview loop's pause between frames; false when a stop ended it.
  bool pause(int milliseconds);
  void runPreviewLoop();
  void runTriggerLoop();
  // Under the frame lock: fills the frame information record.
  void fillFrameInfo(int frameRate10);
  // Under the frame lock: the copy into the application's buffer when one
  // is set; false (error form 5 posted, error 5 raised) when it is too small.
  bool deliverToApplication();
  bool copyPicture(void *buffer, int size, int rowOrder);
  // Under the frame lock: the finished picture to the preview, if it has a window.
  void paintPreview(const FramePipeline &pipeline);
  void postFrameError(ErrorCode code);
  void postFrame();

  AcquisitionHost &host_;
  PreviewSurface &preview_;

  // Acquisition calls from several application threads run one at a time.
  std::recursive_mutex controlLock_;  // guards state transitions and the thread's start/join
  std::atomic<AcquisitionState> state_{AcquisitionState::Idle};
  std::atomic<int> runFlag_{0};
  std::atomic<bool> loopEnded_{true};
  // Set by a stop: ends the loop's pause at once.
  platform::Event stopRequested_{platform::Event::Reset::Manual};
  platform::Thread thread_;

  platform::RecursiveLock frameLock_;  // guards the pipeline's buffers, target_, frameInfo_, rate_
  ApplicationTarget target_;
  PelnikFrameInfo frameInfo_{};
  FrameRateMeter rate_;

  std::atomic<int> imageAvailable_{0};
  std::atomic<int> newFrame_{0};
  platform::Event newFrameSignal_{platform::Event::Reset::Auto};
  std::atomic<bool> cameraLost_{false};
  std::atomic<std::uint64_t> picturesFinished_{0};
  std::atomic<int> triggerTimeLimitMs_{3000};
};

}  // namespace pelnik
