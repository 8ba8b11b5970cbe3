#include "platform/clock.h"

#include <time.h>

#include <cerrno>

namespace pelnik::platform {
namespace {

std::uint32_t millisecondsOf(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

}  // namespace

// CLOCK_BOOTTIME counts from boot and keeps counting in suspend, as the
// desktop tick count does.
std::uint32_t tickCount() { return millisecondsOf(CLOCK_BOOTTIME); }

std::uint32_t multimediaTime() { return millisecondsOf(CLOCK_BOOTTIME); }

void sleepMs(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec request{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&request, &request) == -1 && errno == EINTR) {
  }
}

}  // namespace pelnik::platform
