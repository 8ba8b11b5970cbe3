#pragma once
// Millisecond clocks and sleeps.
#include <cstdint>

namespace pelnik::platform {

// Milliseconds since the system started, wrapping at 2^32 like the desktop
// platform's tick count.
std::uint32_t tickCount();

// The multimedia timer's millisecond time (same origin, same wrap).
std::uint32_t multimediaTime();

// Sleeps at least `milliseconds` (nothing for 0 or less).
void sleepMs(int milliseconds);

}  // namespace pelnik::platform
