#include "device/frame_streamer.h"

#include "device/device_status.h"
#include "platform/debug_log.h"

namespace pelnik::device {

FrameStreamer::~FrameStreamer() { stop(); }

int FrameStreamer::start(const std::string &devicePath, std::vector<std::uint8_t *> ring,
                         std::uint32_t transferBytes) {
  if (running()) return kStatusStreaming;
  // A run that ended on its own is collected before the next one.
  if (active()) stop();
  if (ring.size() < 2) return kStatusNoMemory;
  for (const auto *buffer : ring)
    if (!buffer) return kStatusNoMemory;

  devicePath_ = devicePath;
  ring_ = std::move(ring);
  transferBytes_ = transferBytes;
  doneEvent_.reset();
  frameEvent_.reset();
  {
    std::lock_guard<std::mutex> guard(ringIndexLock_);
    cursor_.restart(static_cast<int>(ring_.size()));
  }
  finalStatus_ = kStatusOk;
  errorFlag_ = 0;
  stoppedFlag_ = 0;
  threadLive_ = true;
  active_ = true;
  if (!thread_.start([this] { run(); })) {
    threadLive_ = false;
    active_ = false;
    stoppedFlag_ = 1;
    return kStatusNoMemory;
  }
  return kStatusOk;
}

void FrameStreamer::run() {
  platform::raiseCurrentThreadPriority();
  const DeviceHandle handle = link_.transport().open(devicePath_);
  int status = kStatusNoHandle;
  if (handle != kNoDeviceHandle) {
    streamHandle_ = handle;
    // stop() may have come before the handle was published.
    status = stoppedFlag_.load() ? kStatusOk : transferFrames(handle);
    closeStreamHandle();
  }
  finalStatus_ = status;
  // The error flag goes up before the stopped flag, so a consumer never
  // takes a failed run for a stopped one.
  errorFlag_ = status == kStatusImageFailed ? 1 : 0;
  stoppedFlag_ = 1;
  // Wakes a consumer waiting for a frame, so it sees the end at once.
  frameEvent_.set();
  threadLive_ = false;
  doneEvent_.set();
}

int FrameStreamer::transferFrames(DeviceHandle handle) {
  const CommandBlock frameRequest{cmd::kFrameRequest};
  bool shortReadSeen = false;
  while (stoppedFlag_.load() == 0) {
    int slot;
    {
      std::lock_guard<std::mutex> guard(ringIndexLock_);
      slot = cursor_.writeIndex();
    }
    link_.sendCommand(handle, frameRequest, /*streamingCode=*/true);
    std::uint32_t moved = 0;
    const bool ok =
        link_.readImage(handle, ring_[static_cast<std::size_t>(slot)], transferBytes_, moved);
    // A read cut short by stop() ends the run without a failure.
    if (stoppedFlag_.load() != 0) return kStatusOk;
    if (!ok) return kStatusImageFailed;
    if (moved < transferBytes_) {
      // The first short read of a run is repeated into the same slot; a
      // failed or short read is never handed to the consumer as a frame.
      PELNIK_DEBUG_LOG(platform::DebugArea::Device,
                       "streaming: frame of %u bytes where %u were due dropped%s", moved,
                       transferBytes_, shortReadSeen ? "; the run ends" : ", read again");
      if (shortReadSeen) return kStatusImageFailed;
      shortReadSeen = true;
      continue;
    }
    {
      std::lock_guard<std::mutex> guard(ringIndexLock_);
      cursor_.delivered();
    }
    frameEvent_.set();
  }
  return kStatusOk;
}

void FrameStreamer::closeStreamHandle() {
  // Whoever takes the handle out closes it, so it is closed exactly once.
  const DeviceHandle handle = streamHandle_.exchange(kNoDeviceHandle);
  if (handle != kNoDeviceHandle) link_.transport().close(handle);
}

int FrameStreamer::waitFrame(int limitMs) {
  if (errorFlag_.load() != 0) return kWaitFailed;
  if (stoppedFlag_.load() != 0) return kWaitStopped;
  {
    std::lock_guard<std::mutex> guard(ringIndexLock_);
    if (cursor_.takeNewest()) return kWaitReady;
  }
  return frameEvent_.waitFor(limitMs) ? kWaitSignalled : kWaitFailed;
}

const std::uint8_t *FrameStreamer::heldFrame() const {
  std::lock_guard<std::mutex> guard(ringIndexLock_);
  if (ring_.empty() || cursor_.deliveredCount() == 0) return nullptr;
  return ring_[static_cast<std::size_t>(cursor_.readIndex())];
}

void FrameStreamer::releaseHeld() {
  std::lock_guard<std::mutex> guard(ringIndexLock_);
  cursor_.release();
}

int FrameStreamer::stop() {
  if (!active()) return kStatusOk;
  const bool endedQuietly = stoppedFlag_.load() != 0 && errorFlag_.load() == 0;
  if (stoppedFlag_.load() == 0) {
    stoppedFlag_ = 1;
    // The camera may be stalled: closing the handle ends its read at once
    // instead of waiting for the driver's time-out.
    closeStreamHandle();
    doneEvent_.wait();
  }
  thread_.join();
  active_ = false;
  const int status = finalStatus_.load();
  stoppedFlag_ = 1;
  errorFlag_ = 0;
  return endedQuietly ? kStatusOk : status;
}

std::uint64_t FrameStreamer::deliveredFrames() const {
  std::lock_guard<std::mutex> guard(ringIndexLock_);
  return cursor_.deliveredCount();
}

}  // namespace pelnik::device
