#include "camera/acquisition.h"

#include "camera/error_codes.h"
#include "platform/clock.h"
#include "platform/window_messages.h"

namespace pelnik {

namespace {

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

Acquisition::Acquisition(AcquisitionHost &host, PreviewSurface &preview)
    : host_(host), preview_(preview), rate_(platform::multimediaTime()) {
  frameInfo_.size = static_cast<int>(sizeof(PelnikFrameInfo));
}

Acquisition::~Acquisition() {
  // The owner stops acquisition in its teardown; this only makes sure no
  // thread outlives the object it runs on.
  runFlag_ = 0;
  thread_.join();
}

void Acquisition::setTarget(const ApplicationTarget &target) {
  // A frame in flight is delivered wholly into the old buffer or wholly into
  // the new one.
  platform::RecursiveGuard frame(frameLock_);
  target_ = target;
}

bool Acquisition::openPreviewWindow() {
  const PreviewPlacement placement = host_.previewPlacement();
  if (!placement.wantsWindow()) return true;
  // A start that will be refused leaves the running acquisition's window alone.
  if (state() == AcquisitionState::Capture || state() == AcquisitionState::Triggered) return true;
  if (preview_.open(placement, host_.previewImageSize()) == PreviewSurface::OpenResult::Failed) {
    host_.raiseError(ErrorCode::WindowOrPreset);
    return false;
  }
  return true;
}

int Acquisition::Preview() {
  std::lock_guard<std::recursive_mutex> control(controlLock_);
  setTarget({});
  if (!openPreviewWindow()) return 0;
  const AcquisitionState before = state();
  if (startPreviewLocked()) return 1;
  if (before == AcquisitionState::Idle) Close();
  host_.raiseError(ErrorCode::AcquisitionFailed);
  return 0;
}

int Acquisition::CallBackPreview(int callbackWindow, void *buffer, int size, int rowOrder) {
  std::lock_guard<std::recursive_mutex> control(controlLock_);
  setTarget({callbackWindow, buffer, size, rowOrder});
  if (!openPreviewWindow()) return 0;
  const AcquisitionState before = state();
  if (startPreviewLocked()) return 1;
  // A refused start (another acquisition runs) leaves that acquisition alone.
  if (before == AcquisitionState::Idle) Close();
  host_.raiseError(ErrorCode::AcquisitionFailed);
  return 0;
}

int Acquisition::StartPreview() {
  std::lock_guard<std::recursive_mutex> control(controlLock_);
  return startPreviewLocked();
}

int Acquisition::startPreviewLocked() {
  if (!host_.hasDevice()) return host_.raiseError(ErrorCode::NoDevice), 0;
  switch (state()) {
    case AcquisitionState::Streaming:
      // Still running; a preview loop that ended on a lost camera is
      // stopped and started afresh.
      if (!loopEnded_.load()) return 1;
      stopLocked();
      break;
    case AcquisitionState::Capture:
    case AcquisitionState::Triggered:
      host_.raiseError(ErrorCode::NoDevice);
      return 0;
    case AcquisitionState::Idle:
      break;
  }
  if (!host_.prepare()) return host_.raiseError(ErrorCode::NoDevice), 0;
  if (!startThread(Loop::Preview)) {
    stopLocked();
    host_.raiseError(ErrorCode::ThreadFailed);
    return 0;
  }
  FrameSource &frames = host_.frames();
  frames.setTriggerMode(false);
  if (frames.startStreaming() != 0) {
    stopLocked();
    host_.raiseError(ErrorCode::DeviceIo);
    return 0;
  }
  state_ = AcquisitionState::Streaming;
  host_.claimCamera();
  return 1;
}

bool Acquisition::startThread(Loop loop) {
  thread_.join();
  runFlag_ = 1;
  loopEnded_ = false;
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
  std::lock_guard<std::recursive_mutex> control(controlLock_);
  return stopLocked();
}

int Acquisition::stopLocked() {
  if (!host_.hasDevice()) return host_.raiseError(ErrorCode::NoDevice), 0;
  runFlag_ = 0;
  if (state() != AcquisitionState::Idle) {
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
  return 1;
}

int Acquisition::Close() {
  std::lock_guard<std::recursive_mutex> control(controlLock_);
  // The painter stops before its window goes away.
  stopLocked();
  preview_.close();
  imageAvailable_ = 0;
  if (host_.hasDevice()) host_.frames().closeFrameReader();
  return 1;
}

int Acquisition::Capture() {
  std::lock_guard<std::recursive_mutex> control(controlLock_);
  if (!host_.hasDevice()) return host_.raiseError(ErrorCode::NoDevice), 0;
  switch (state()) {
    case AcquisitionState::Streaming:
    case AcquisitionState::Triggered:
      return host_.raiseError(ErrorCode::NoDevice), 0;
    case AcquisitionState::Capture:
      return 1;
    case AcquisitionState::Idle:
      break;
  }
  if (!host_.prepare()) return host_.raiseError(ErrorCode::NoDevice), 0;
  state_ = AcquisitionState::Capture;
  return 1;
}

int Acquisition::SnapShot(void *buffer, int size, int rowOrder) {
  std::lock_guard<std::recursive_mutex> control(controlLock_);
  if (!host_.hasDevice()) return host_.raiseError(ErrorCode::NoDevice), 0;
  const AcquisitionState current = state();
  if (current == AcquisitionState::Streaming || current == AcquisitionState::Triggered)
    return host_.raiseError(ErrorCode::NoDevice), 0;
  const bool prepared = current == AcquisitionState::Capture;
  if (!prepared && !host_.prepare()) return host_.raiseError(ErrorCode::NoDevice), 0;

  FrameSource &frames = host_.frames();
  auto finish = [&](int result) {
    if (!prepared) frames.closeFrameReader();
    return result;
  };
  platform::RecursiveGuard frame(frameLock_);
  if (!frames.readSingleFrame()) {
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
  std::lock_guard<std::recursive_mutex> control(controlLock_);
  if (!host_.hasDevice()) return host_.raiseError(ErrorCode::NoDevice), 0;
  switch (state()) {
    case AcquisitionState::Streaming:
    case AcquisitionState::Capture:
      return host_.raiseError(ErrorCode::NoDevice), 0;
    case AcquisitionState::Triggered:
      // The running trigger loop takes the new destination from its next
      // picture on; a second thread is never started.
      setTarget({callbackWindow, buffer, size, rowOrder});
      return 1;
    case AcquisitionState::Idle:
      break;
  }
  setTarget({callbackWindow, buffer, size, rowOrder});
  if (!openPreviewWindow()) return 0;
  if (!host_.prepare()) {
    Close();
    return host_.raiseError(ErrorCode::NoDevice), 0;
  }
  state_ = AcquisitionState::Triggered;
  triggerTimeLimitMs_ = kTriggerTimeLimitMs;
  FrameSource &frames = host_.frames();
  frames.setTransferTimeout(kTriggerTimeLimitMs);
  frames.setTriggerMode(true);
  if (!startThread(Loop::Trigger)) {
    Close();
    return host_.raiseError(ErrorCode::ThreadFailed), 0;
  }
  return 1;
}

int Acquisition::GetImage(void *buffer, int size, int rowOrder) {
  if (!host_.hasDevice()) return host_.raiseError(ErrorCode::NoDevice), 0;
  platform::RecursiveGuard frame(frameLock_);
  if (!buffer || !copyPicture(buffer, size, rowOrder)) {
    host_.raiseError(ErrorCode::MemoryOrBuffer);
    return 0;
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
  postFrameError(ErrorCode::MemoryOrBuffer);
  host_.raiseError(ErrorCode::MemoryOrBuffer);
  return false;
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
    platform::sleepMs(host_.waitTimeMs());
    if (runFlag_.load() != 1) continue;
    const FrameWait wait = frames.waitFrame();
    if (wait == FrameWait::Lost) {
      runFlag_ = 0;
      platform::RecursiveGuard frame(frameLock_);
      postFrameError(ErrorCode::CameraStopped);
      host_.raiseError(ErrorCode::CameraStopped);
      break;
    }
    if (wait != FrameWait::Ready) continue;

    PresentAfterUnlock present(preview_);
    platform::RecursiveGuard frame(frameLock_);
    if (!pipeline.receiveContinuousFrame()) {
      postFrameError(ErrorCode::AcquisitionFailed);
      host_.raiseError(ErrorCode::AcquisitionFailed);
      continue;
    }
    fillFrameInfo(rate_.countFrame(platform::multimediaTime()));
    pipeline.process();
    newFrame_ = 1;
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
      platform::sleepMs(kIdlePassMs);
      continue;
    }
    // Waits for the external trigger up to the trigger time limit; no
    // trigger in time is not an error.
    const bool triggered = frames.readSingleFrame();
    if (runFlag_.load() == 0) break;
    if (!triggered) continue;

    PresentAfterUnlock present(preview_);
    platform::RecursiveGuard frame(frameLock_);
    if (!pipeline.receiveSingleFrame()) {
      // A frame that does not fit the buffers is never delivered.
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
