#pragma once
// The fixed waits the device needs after its commands. Injected, so that the
// device layer's unit tests can count the waits instead of sleeping them.

namespace pelnik::device {

class DeviceClock {
 public:
  virtual ~DeviceClock() = default;
  virtual void sleepMs(int milliseconds) = 0;
};

// Real sleeps.
DeviceClock &realDeviceClock();

}  // namespace pelnik::device
