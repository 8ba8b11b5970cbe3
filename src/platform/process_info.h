#pragma once
// Identity of processes: the id of this one, and a start time that tells a
// live process from a later one that was given the same id.
#include <cstdint>

namespace pelnik::platform {

// This process's id.
std::int32_t currentProcessId();

// The start time of process `pid` in the system's clock ticks since boot;
// 0 when there is no such live process (none, a zombie, or unreadable).
std::uint64_t processStartTime(std::int32_t pid);

// Whether process `pid` exists now (also when it belongs to another user).
bool processExists(std::int32_t pid);

}  // namespace pelnik::platform
