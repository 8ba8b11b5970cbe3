#include "camera/acquisition.h"

#include "camera/error_codes.h"
#include "camera/failure.h"
#include "platform/clock.h"
#include "platform/debug_log.h"
#include "platform/window_messages.h"

namespace pelnik {

namespace {

constexpr auto kLogArea = platform::DebugArea::Acquisition;

constexpr int kTriggerTimeLimitMs = 3000;
constexpr int kIdlePassMs = 10;

// The application reads the record when it handles the frame message, while
// the next frame may already be filling it: each field is stored whole.
template <class T>
void storeField(T &field, T value) {
  std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

// Declared before the frame lock's guard, so that the painted image goes to
// the window only after the lock is released.
class PresentAfterUnlock {
 public:
  explicit PresentAfterUnlock(PreviewSurface &preview) : preview_(preview) {}
  ~PresentAfterUnlock() { preview_.present(); }
  PresentAfterUnlock(const PresentAfterUnlock &) = delete;
  PresentAfterUnlock &operator=(const PresentAfterUnlock &) = delete;

 private:
  PreviewSurface &preview_;
};

}  // namespace

// One acquisition call at a time, and the device set-up held with it: in
// this order, so it never meets the frame lock the other way round.
class Acquisition::ControlScope {
 public:
  explicit ControlScope(Acquisition &acquisition)
      : control_(acquisition.controlLock_), setup_(acquisition.host_.deviceSetupLock()) {}

 private:
  std::lock_guard<std::recursive_mutex> control_;
  std::lock_guard<std::recursive_mutex> setup_;
};

Acquisition::Acquisition(AcquisitionHost &host, PreviewSurface &preview)
    : host_(host), preview_(preview), rate_(platform::multimediaTime()) {
  frameInfo_.size = static_cast<int>(sizeof(PelnikFrameInfo));
}

Acquisition::~Acquisition() {
  // The owner stops acquisition in its teardown; this only makes sure no
  // thread outlives the object it runs on.
  runFlag_ = 0;
  stopRequested_.set();
  thread_.join();
}

void Acquisition::setTarget(const ApplicationTarget &target) {
  // A frame in flight is delivered wholly into the old buffer or wholly into
  // the new one.
  platform::RecursiveGuard frame(frameLock_);
  target_ = target;
}

Acquisition::ApplicationTarget Acquisition::currentTarget() {
  platform::RecursiveGuard frame(frameLock_);
  return target_;
}

bool Acquisition::otherAcquisitionRuns() const {
  const AcquisitionState current = state();
  return current == AcquisitionState::Capture || current == AcquisitionState::Triggered;
}

bool Acquisition::pause(int milliseconds) {
  if (milliseconds <= 0) return runFlag_.load() != 0;
  return !stopRequested_.waitFor(milliseconds);
}

bool Acquisition::openPreviewWindow() {
  const PreviewPlacement placement = host_.previewPlacement();
  if (!placement.wantsWindow()) return true;
  if (preview_.open(placement, host_.previewImageSize()) == PreviewSurface::OpenResult::Failed)
    return fail(host_, ErrorCode::WindowOrPreset, false);
  return true;
}

int Acquisition::Preview() {
  ControlScope scope(*this);
  return startWithTarget({});
}

int Acquisition::CallBackPreview(int callbackWindow, void *buffer, int size, int rowOrder) {
  ControlScope scope(*this);
  return startWithTarget({callbackWindow, buffer, size, rowOrder});
}

int Acquisition::startWithTarget(const ApplicationTarget &wanted) {
  // A start refused because another acquisition runs keeps nothing of the
  // call: that acquisition goes on delivering to its own window and buffer,
  // and the application may free the buffer it offered at once.
  if (host_.hasDevice() && otherAcquisitionRuns()) {
    host_.raiseError(ErrorCode::NoDevice);
    return fail(host_, ErrorCode::AcquisitionFailed);
  }
  if (!openPreviewWindow()) return 0;
  const ApplicationTarget previous = currentTarget();
  setTarget(wanted);
  const AcquisitionState before = state();
  if (startPreviewLocked()) return 1;
  if (before == AcquisitionState::Idle) Close();
  // Nothing runs now; a later StartPreview delivers where the last accepted
  // call asked, never into the buffer of this failed one.
  setTarget(previous);
  return fail(host_, ErrorCode::AcquisitionFailed);
}

int Acquisition::StartForRecording(bool showWindow) {
  // Its prepare reconfigures the device like any start does.
  ControlScope scope(*this);
  const AcquisitionState before = state();
  // A running acquisition keeps its window as it is.
  if (showWindow && before == AcquisitionState::Idle && !openPreviewWindow()) return -1;
  if (startPreviewLocked()) return 1;
  if (before == AcquisitionState::Idle) Close();
  return 0;
}

bool Acquisition::waitNewFrame(int waitMs) {
  if (takeNewFrame()) return true;
  if (waitMs > 0) newFrameSignal_.waitFor(waitMs);
  return takeNewFrame();
}

int Acquisition::StartPreview() {
  ControlScope scope(*this);
  return startPreviewLocked();
}

int Acquisition::startPreviewLocked() {
  if (!host_.hasDevice()) return fail(host_, ErrorCode::NoDevice);
  switch (state()) {
    case AcquisitionState::Streaming:
      // Still running; a preview loop that ended on a lost camera is
      // stopped and started afresh.
      if (!loopEnded_.load()) return 1;
      stopLocked();
      break;
    case AcquisitionState::Capture:
    case AcquisitionState::Triggered:
      return fail(host_, ErrorCode::NoDevice);
    case AcquisitionState::Idle:
      break;
  }
  if (!host_.prepare()) return fail(host_, ErrorCode::NoDevice);
  // The transfer runs before the loop looks at it, so a loop that finds it
  // stopped knows the camera is gone.
  FrameSource &frames = host_.frames();
  frames.setTriggerMode(false);
  if (frames.startStreaming() != 0) {
    frames.stopStreaming();
    return fail(host_, ErrorCode::DeviceIo);
  }
  if (!startThread(Loop::Preview)) {
    frames.stopStreaming();
    return fail(host_, ErrorCode::ThreadFailed);
  }
  state_ = AcquisitionState::Streaming;
  host_.claimCamera();
  PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: streaming started", static_cast<void *>(this));
  return 1;
}

bool Acquisition::startThread(Loop loop) {
  thread_.join();
  stopRequested_.reset();
  runFlag_ = 1;
  loopEnded_ = false;
  cameraLost_ = false;
  const bool started = thread_.start([this, loop] {
    if (loop == Loop::Trigger)
      runTriggerLoop();
    else
      runPreviewLoop();
    loopEnded_ = true;
  });
  if (!started) {
    runFlag_ = 0;
    loopEnded_ = true;
  }
  return started;
}

int Acquisition::StopPreview() {
  ControlScope scope(*this);
  return stopLocked();
}

int Acquisition::stopLocked() {
  if (!host_.hasDevice()) return fail(host_, ErrorCode::NoDevice);
  runFlag_ = 0;
  stopRequested_.set();
  if (state() != AcquisitionState::Idle) {
    PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: stopping (%llu pictures finished)",
                     static_cast<void *>(this),
                     static_cast<unsigned long long>(picturesFinished_.load()));
    const bool wasStreaming = state() == AcquisitionState::Streaming;
    state_ = AcquisitionState::Idle;
    FrameSource &frames = host_.frames();
    frames.setTriggerMode(false);
    frames.stopStreaming();
    if (wasStreaming) host_.releaseCamera();
  }
  // Without time limit: the loop leaves within one wait time plus the
  // frame wait, or one trigger time limit.
  thread_.join();
  host_.stopRecording();
  PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: stopped", static_cast<void *>(this));
  return 1;
}

int Acquisition::Close() {
  ControlScope scope(*this);
  // The painter stops before its window goes away.
  stopLocked();
  preview_.close();
  imageAvailable_ = 0;
  if (host_.hasDevice()) host_.frames().closeFrameReader();
  return 1;
}

int Acquisition::Capture() {
  ControlScope scope(*this);
  if (!host_.hasDevice()) return fail(host_, ErrorCode::NoDevice);
  switch (state()) {
    case AcquisitionState::Streaming:
    case AcquisitionState::Triggered:
      return fail(host_, ErrorCode::NoDevice);
    case AcquisitionState::Capture:
      return 1;
    case AcquisitionState::Idle:
      break;
  }
  if (!host_.prepare()) return fail(host_, ErrorCode::NoDevice);
  state_ = AcquisitionState::Capture;
  PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: capture mode entered", static_cast<void *>(this));
  return 1;
}

int Acquisition::SnapShot(void *buffer, int size, int rowOrder) {
  // Held to the end: nothing replaces the single-frame buffer or the
  // geometry between the preparation, the read and the copy.
  ControlScope scope(*this);
  if (!host_.hasDevice()) return fail(host_, ErrorCode::NoDevice);
  const AcquisitionState current = state();
  if (current == AcquisitionState::Streaming || current == AcquisitionState::Triggered)
    return fail(host_, ErrorCode::NoDevice);
  const bool prepared = current == AcquisitionState::Capture;
  if (!prepared && !host_.prepare()) return fail(host_, ErrorCode::NoDevice);

  FrameSource &frames = host_.frames();
  auto finish = [&](int result) {
    if (!prepared) frames.closeFrameReader();
    return result;
  };
  platform::RecursiveGuard frame(frameLock_);
  if (frames.readSingleFrame() != SingleFrame::Ready) {
    PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: snapshot got no frame from the camera",
                     static_cast<void *>(this));
    host_.raiseError(ErrorCode::AcquisitionFailed);
    return finish(0);
  }
  FramePipeline &pipeline = host_.pipeline();
  if (!pipeline.receiveSingleFrame()) {
    postFrameError(ErrorCode::AcquisitionFailed);
    host_.raiseError(ErrorCode::AcquisitionFailed);
    return finish(0);
  }
  pipeline.process();
  imageAvailable_ = 1;
  if (buffer && size != 0 && !copyPicture(buffer, size, rowOrder)) {
    postFrameError(ErrorCode::MemoryOrBuffer);
    host_.raiseError(ErrorCode::MemoryOrBuffer);
    return finish(0);
  }
  return finish(1);
}

int Acquisition::Trigger(int callbackWindow, void *buffer, int size, int rowOrder) {
  ControlScope scope(*this);
  if (!host_.hasDevice()) return fail(host_, ErrorCode::NoDevice);
  const ApplicationTarget wanted{callbackWindow, buffer, size, rowOrder};
  switch (state()) {
    case AcquisitionState::Streaming:
    case AcquisitionState::Capture:
      return fail(host_, ErrorCode::NoDevice);
    case AcquisitionState::Triggered:
      // The running trigger loop takes the new destination from its next
      // picture on; a second thread is never started. A loop that ended on
      // a lost camera is stopped and started afresh.
      if (!loopEnded_.load()) {
        setTarget(wanted);
        return 1;
      }
      stopLocked();
      break;
    case AcquisitionState::Idle:
      break;
  }
  if (!openPreviewWindow()) return 0;
  const ApplicationTarget previous = currentTarget();
  setTarget(wanted);
  if (!host_.prepare()) {
    Close();
    setTarget(previous);
    return fail(host_, ErrorCode::NoDevice);
  }
  state_ = AcquisitionState::Triggered;
  triggerTimeLimitMs_ = kTriggerTimeLimitMs;
  FrameSource &frames = host_.frames();
  frames.setTransferTimeout(kTriggerTimeLimitMs);
  frames.setTriggerMode(true);
  if (!startThread(Loop::Trigger)) {
    Close();
    setTarget(previous);
    return fail(host_, ErrorCode::ThreadFailed);
  }
  PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: trigger mode started", static_cast<void *>(this));
  return 1;
}

Acquisition::Suspended Acquisition::suspend() {
  ControlScope scope(*this);
  Suspended suspended;
  suspended.state = state();
  {
    platform::RecursiveGuard frame(frameLock_);
    suspended.target = target_;
  }
  // A paused trigger loop would keep its old buffers and might sit in a
  // trigger read while the format changes: it is stopped like the others.
  if (suspended.state != AcquisitionState::Idle) stopLocked();
  return suspended;
}

int Acquisition::resume(const Suspended &suspended) {
  ControlScope scope(*this);
  const ApplicationTarget &t = suspended.target;
  switch (suspended.state) {
    case AcquisitionState::Idle:
      return 1;
    case AcquisitionState::Streaming:
      setTarget(t);
      return startPreviewLocked();
    case AcquisitionState::Capture:
      return Capture();
    case AcquisitionState::Triggered:
      return Trigger(t.callbackWindow, t.buffer, t.size, t.rowOrder);
  }
  return 0;
}

int Acquisition::GetImage(void *buffer, int size, int rowOrder) {
  if (!host_.hasDevice()) return fail(host_, ErrorCode::NoDevice);
  platform::RecursiveGuard frame(frameLock_);
  if (!buffer) return fail(host_, ErrorCode::MemoryOrBuffer);
  if (!copyPicture(buffer, size, rowOrder)) {
    // A failed copy is announced to the callback window as the loops do.
    postFrameError(ErrorCode::MemoryOrBuffer);
    return fail(host_, ErrorCode::MemoryOrBuffer);
  }
  return 1;
}

bool Acquisition::copyPicture(void *buffer, int size, int rowOrder) {
  return copyToApplication(host_.pipeline().outputRows(), buffer, size, rowOrder);
}

void Acquisition::postFrameError(ErrorCode code) {
  if (target_.callbackWindow != 0)
    platform::postWindowMessage(target_.callbackWindow, kFrameMessage, 0, codeValue(code));
}

void Acquisition::postFrame() {
  if (target_.callbackWindow != 0)
    platform::postWindowMessage(target_.callbackWindow, kFrameMessage,
                                reinterpret_cast<std::uintptr_t>(&frameInfo_), 0);
}

void Acquisition::fillFrameInfo(int frameRate10) {
  const FramePipeline &pipeline = host_.pipeline();
  storeField(frameInfo_.size, static_cast<int>(sizeof(PelnikFrameInfo)));
  storeField(frameInfo_.width, pipeline.rawWidth());
  storeField(frameInfo_.height, pipeline.rawHeight());
  storeField(frameInfo_.bitsPerPixel, pipeline.outputBits());
  storeField(frameInfo_.frameRate10, frameRate10);
  storeField(frameInfo_.buffer, target_.buffer);
}

bool Acquisition::deliverToApplication() {
  if (!target_.buffer || target_.size == 0) return true;
  if (copyPicture(target_.buffer, target_.size, target_.rowOrder)) return true;
  PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: frame not delivered: application buffer of %d bytes",
                   static_cast<void *>(this), target_.size);
  postFrameError(ErrorCode::MemoryOrBuffer);
  return fail(host_, ErrorCode::MemoryOrBuffer, false);
}

void Acquisition::paintPreview(const FramePipeline &pipeline) {
  if (!preview_.isOpen()) return;
  preview_.paint(
      {pipeline.outputRows(), pipeline.rawWidth(), pipeline.rawHeight(), pipeline.outputBits()});
}

void Acquisition::runPreviewLoop() {
  FrameSource &frames = host_.frames();
  FramePipeline &pipeline = host_.pipeline();
  while (runFlag_.load() != 0) {
    if (!pause(host_.waitTimeMs())) break;
    if (runFlag_.load() != 1) continue;
    FrameWait wait = frames.waitFrame();
    // The transfer started before this loop, and only a stop ends it with
    // the run flag up: it ended on its own because the camera is gone (its
    // path no longer opens).
    if (wait == FrameWait::Stopped && runFlag_.load() != 0) wait = FrameWait::Lost;
    if (wait == FrameWait::Lost) {
      PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: camera lost while streaming",
                       static_cast<void *>(this));
      runFlag_ = 0;
      cameraLost_ = true;
      platform::RecursiveGuard frame(frameLock_);
      postFrameError(ErrorCode::CameraStopped);
      host_.raiseError(ErrorCode::CameraStopped);
      break;
    }
    if (wait != FrameWait::Ready) {
      PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: no frame this pass (%s)",
                       static_cast<void *>(this),
                       wait == FrameWait::Stopped ? "transfer stopped" : "wait ran out");
      continue;
    }

    PresentAfterUnlock present(preview_);
    platform::RecursiveGuard frame(frameLock_);
    if (!pipeline.receiveContinuousFrame()) {
      PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: frame dropped: it does not fit the buffers",
                       static_cast<void *>(this));
      postFrameError(ErrorCode::AcquisitionFailed);
      host_.raiseError(ErrorCode::AcquisitionFailed);
      continue;
    }
    fillFrameInfo(rate_.countFrame(platform::multimediaTime()));
    pipeline.process();
    newFrame_ = 1;
    newFrameSignal_.set();
    ++picturesFinished_;
    imageAvailable_ = 1;
    paintPreview(pipeline);
    if (!deliverToApplication()) continue;
    postFrame();
  }
}

void Acquisition::runTriggerLoop() {
  FrameSource &frames = host_.frames();
  FramePipeline &pipeline = host_.pipeline();
  while (runFlag_.load() != 0) {
    if (runFlag_.load() != 1) {
      if (!pause(kIdlePassMs)) break;
      continue;
    }
    // Waits for the external trigger up to the trigger time limit; no
    // trigger in time is not an error.
    const SingleFrame read = frames.readSingleFrame();
    if (runFlag_.load() == 0) break;
    if (read == SingleFrame::Lost) {
      PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: camera lost in trigger mode",
                       static_cast<void *>(this));
      // The camera's path no longer opens: reported as a camera lost while
      // streaming, and the loop ends instead of retrying at full speed.
      runFlag_ = 0;
      platform::RecursiveGuard frame(frameLock_);
      postFrameError(ErrorCode::CameraStopped);
      host_.raiseError(ErrorCode::CameraStopped);
      break;
    }
    if (read != SingleFrame::Ready) continue;

    PresentAfterUnlock present(preview_);
    platform::RecursiveGuard frame(frameLock_);
    if (!pipeline.receiveSingleFrame()) {
      // A frame that does not fit the buffers is never delivered.
      PELNIK_DEBUG_LOG(kLogArea, "acquisition %p: triggered frame dropped: it does not fit",
                       static_cast<void *>(this));
      postFrameError(ErrorCode::AcquisitionFailed);
      host_.raiseError(ErrorCode::AcquisitionFailed);
      continue;
    }
    fillFrameInfo(0);
    pipeline.process();
    imageAvailable_ = 1;
    if (!deliverToApplication()) continue;
    postFrame();
    paintPreview(pipeline);
  }
}

}  // namespace pelnik
