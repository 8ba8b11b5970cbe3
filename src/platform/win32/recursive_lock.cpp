#include "platform/recursive_lock.h"

#include <windows.h>

#include <new>

namespace pelnik::platform {

namespace {
CRITICAL_SECTION *sectionIn(unsigned char *storage) {
  return std::launder(reinterpret_cast<CRITICAL_SECTION *>(storage));
}
}  // namespace

RecursiveLock::RecursiveLock() {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof(native_));
  static_assert(alignof(CRITICAL_SECTION) <= 16);
  ::InitializeCriticalSection(new (native_) CRITICAL_SECTION);
}

RecursiveLock::~RecursiveLock() { ::DeleteCriticalSection(sectionIn(native_)); }

void RecursiveLock::lock() { ::EnterCriticalSection(sectionIn(native_)); }
void RecursiveLock::unlock() { ::LeaveCriticalSection(sectionIn(native_)); }
bool RecursiveLock::try_lock() { return ::TryEnterCriticalSection(sectionIn(native_)) != 0; }

}  // namespace pelnik::platform
