#include "device/device_clock.h"

#include "platform/clock.h"

namespace pelnik::device {

namespace {

class SleepingClock final : public DeviceClock {
 public:
  void sleepMs(int milliseconds) override { platform::sleepMs(milliseconds); }
};

}  // namespace

DeviceClock &realDeviceClock() {
  static SleepingClock clock;
  return clock;
}

}  // namespace pelnik::device
