#pragma once
// The re-entrant lock of the desktop platform's critical section: a
// recursive mutex on Linux, a CRITICAL_SECTION on Windows, held in place.
#include <mutex>

namespace pelnik::platform {

class RecursiveLock {
 public:
  RecursiveLock();
  ~RecursiveLock();
  RecursiveLock(const RecursiveLock &) = delete;
  RecursiveLock &operator=(const RecursiveLock &) = delete;

  void lock();
  void unlock();
  bool try_lock();

 private:
  // Room for either system's lock object (40 bytes each on 64-bit systems).
  alignas(16) unsigned char native_[64];
};

using RecursiveGuard = std::lock_guard<RecursiveLock>;

}  // namespace pelnik::platform
