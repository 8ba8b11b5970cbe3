#include "platform/process_info.h"

#include <windows.h>

#include "platform/win32/pipe_io.h"

namespace pelnik::platform {

std::int32_t currentProcessId() { return static_cast<std::int32_t>(::GetCurrentProcessId()); }

namespace {

// A handle on a live process, or none (no such process, or it has ended).
win32::UniqueHandle openLiveProcess(std::int32_t pid) {
  if (pid <= 0) return {};
  win32::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                            static_cast<DWORD>(pid)));
  if (!process.valid()) return {};
  // A process that has ended stays openable while anyone holds its handle.
  if (::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return {};
  return process;
}

}  // namespace

std::uint64_t processStartTime(std::int32_t pid) {
  const win32::UniqueHandle process = openLiveProcess(pid);
  if (!process.valid()) return 0;
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return 0;
  return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

bool processExists(std::int32_t pid) {
  if (pid <= 0) return false;
  if (openLiveProcess(pid).valid()) return true;
  // Another user's process cannot be opened but is there all the same.
  return ::GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace pelnik::platform
