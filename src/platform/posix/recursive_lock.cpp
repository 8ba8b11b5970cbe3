#include "platform/recursive_lock.h"

#include <new>

namespace pelnik::platform {

namespace {
std::recursive_mutex &mutexIn(unsigned char *storage) {
  return *std::launder(reinterpret_cast<std::recursive_mutex *>(storage));
}
}  // namespace

RecursiveLock::RecursiveLock() {
  static_assert(sizeof(std::recursive_mutex) <= sizeof(native_));
  static_assert(alignof(std::recursive_mutex) <= 16);
  new (native_) std::recursive_mutex;
}

RecursiveLock::~RecursiveLock() {
  using Mutex = std::recursive_mutex;
  mutexIn(native_).~Mutex();
}

void RecursiveLock::lock() { mutexIn(native_).lock(); }
void RecursiveLock::unlock() { mutexIn(native_).unlock(); }
bool RecursiveLock::try_lock() { return mutexIn(native_).try_lock(); }

}  // namespace pelnik::platform
