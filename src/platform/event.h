#pragma once
// Manual-reset and auto-reset events with waits with and without limit.
#include <condition_variable>
#include <mutex>

namespace pelnik::platform {

class Event {
 public:
  enum class Reset { Manual, Auto };

  explicit Event(Reset reset, bool initiallySet = false)
      : autoReset_(reset == Reset::Auto), signalled_(initiallySet) {}
  Event(const Event &) = delete;
  Event &operator=(const Event &) = delete;

  void set();
  void reset();
  bool isSet() const;

  // Waits without limit.
  void wait();
  // Waits at most `milliseconds`; true when the event was set. An auto-reset
  // event is cleared by the wait that sees it.
  bool waitFor(int milliseconds);

 private:
  const bool autoReset_;
  mutable std::mutex stateLock_;  // guards signalled_
  std::condition_variable changed_;
  bool signalled_;
};

}  // namespace pelnik::platform
