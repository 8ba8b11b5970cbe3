#pragma once
// The re-entrant lock of the desktop platform's critical section.
#include <mutex>

namespace pelnik::platform {

class RecursiveLock {
 public:
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }
  bool try_lock() { return mutex_.try_lock(); }

 private:
  std::recursive_mutex mutex_;
};

using RecursiveGuard = std::lock_guard<RecursiveLock>;

}  // namespace pelnik::platform
