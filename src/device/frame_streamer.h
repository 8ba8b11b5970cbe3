#pragma once
// Continuous frame transfer: a thread asks the camera for frame after frame
// into a ring of buffers and signals each delivered frame; the consumer
// waits for the newest one and copies it out of its slot.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device/driver_link.h"
#include "device/ring_cursor.h"
#include "platform/event.h"
#include "platform/thread.h"

namespace pelnik::device {

inline constexpr int kFrameWaitLimitMs = 6000;

// WaitFrame results.
inline constexpr int kWaitStopped = 0;
inline constexpr int kWaitFailed = 1;     // the run failed, or no frame within the limit
inline constexpr int kWaitSignalled = 2;  // a frame arrived: ask again
inline constexpr int kWaitReady = 3;      // the newest frame is held for FetchFrame

class FrameStreamer {
 public:
  explicit FrameStreamer(platform::DeviceTransport &transport) : link_(transport) {}
  // A run still going is stopped and its thread joined.
  ~FrameStreamer();
  FrameStreamer(const FrameStreamer &) = delete;
  FrameStreamer &operator=(const FrameStreamer &) = delete;

  // Starts a run of `transferBytes` per frame into `ring` (2 or more
  // buffers, each holding at least that much). 0, or kStatusStreaming while
  // a run is going, or kStatusNoMemory when the ring is unusable.
  int start(const std::string &devicePath, std::vector<std::uint8_t *> ring,
            std::uint32_t transferBytes);
  // 0 stopped, 1 failed or timed out, 2 signalled, 3 newest frame held.
  int waitFrame(int limitMs = kFrameWaitLimitMs);
  // The buffer held after waitFrame returned 3 (null before).
  const std::uint8_t *heldFrame() const;
  // The consumer is done with the held buffer.
  void releaseHeld();
  // Ends the run (a transfer in flight is cut short) and collects the
  // thread; the run's final status, 0 when nothing ran.
  int stop();

  // A run started and not yet collected by stop().
  bool active() const { return active_.load(); }
  // A run going, stop not yet requested.
  bool running() const { return stoppedFlag_.load() == 0; }
  // The thread still runs and may still write into the ring.
  bool threadLive() const { return threadLive_.load(); }
  std::uint64_t deliveredFrames() const;

 private:
  void run();
  int transferFrames(DeviceHandle handle);
  void closeStreamHandle();

  const DriverLink link_;
  std::string devicePath_;
  std::vector<std::uint8_t *> ring_;
  std::uint32_t transferBytes_ = 0;

  // Shared with the streaming thread as single values.
  std::atomic<std::int32_t> stoppedFlag_{1};
  std::atomic<std::int32_t> errorFlag_{0};
  std::atomic<std::int32_t> finalStatus_{0};
  std::atomic<DeviceHandle> streamHandle_{kNoDeviceHandle};
  std::atomic<bool> threadLive_{false};
  std::atomic<bool> active_{false};  // a thread started and not yet joined

  mutable std::mutex ringIndexLock_;  // guards cursor_
  RingCursor cursor_;

  platform::Event frameEvent_{platform::Event::Reset::Auto};
  platform::Event doneEvent_{platform::Event::Reset::Manual};
  platform::Thread thread_;
};

}  // namespace pelnik::device
