#include "platform/shared_memory.h"

#include <windows.h>

#include <cstring>

namespace pelnik::platform {

// The region is a named paging-file mapping; its name-sake mutex, kept in
// the int the portable header gives the region (kernel handles are 32-bit
// significant on 64-bit Windows too), is the lock across processes.
namespace {

// How long a lock waits for a holder before going on without it; a holder
// only ever keeps it for a few record writes.
constexpr DWORD kLockWaitMs = 5000;

std::string lockNameOf(const std::string &name) { return name + "_LOCK"; }

}  // namespace

std::unique_ptr<SharedMemory> SharedMemory::openOrCreate(const std::string &name, std::size_t size,
                                                         std::size_t clearBytes) {
  HANDLE lock = ::CreateMutexA(nullptr, FALSE, lockNameOf(name).c_str());
  if (!lock) return nullptr;
  // Paging-file mappings are made zero-filled, so a new region needs no
  // clearing; an existing one is whatever its users left.
  (void)clearBytes;
  const auto size64 = static_cast<std::uint64_t>(size);
  HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(size64 >> 32),
                                        static_cast<DWORD>(size64), name.c_str());
  if (!mapping) {
    ::CloseHandle(lock);
    return nullptr;
  }
  void *view = ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (!view) {
    ::CloseHandle(mapping);
    ::CloseHandle(lock);
    return nullptr;
  }
  // A mapping made smaller by another program cannot be used at full size.
  MEMORY_BASIC_INFORMATION extent{};
  if (::VirtualQuery(view, &extent, sizeof extent) == 0 || extent.RegionSize < size) {
    ::UnmapViewOfFile(view);
    ::CloseHandle(mapping);
    ::CloseHandle(lock);
    return nullptr;
  }
  std::unique_ptr<SharedMemory> memory(
      new SharedMemory(static_cast<int>(HandleToLong(lock)), static_cast<std::byte *>(view), size));
  memory->mappingHandle_ = mapping;
  return memory;
}

std::unique_ptr<SharedMemory> SharedMemory::openNamed(const std::string &name, std::size_t size,
                                                      std::size_t clearBytes) {
  return openOrCreate(name, size, clearBytes);
}

SharedMemory::~SharedMemory() {
  ::UnmapViewOfFile(data_);
  ::CloseHandle(mappingHandle_);
  ::CloseHandle(LongToHandle(fd_));
}

SharedMemory::Lock::Lock(const SharedMemory &memory) : fd_(memory.fd_), held_(false) {
  const DWORD waited = ::WaitForSingleObject(LongToHandle(fd_), kLockWaitMs);
  // An abandoned mutex is ours now: its holder died between record writes.
  held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

SharedMemory::Lock::~Lock() {
  if (held_) ::ReleaseMutex(LongToHandle(fd_));
}

}  // namespace pelnik::platform
