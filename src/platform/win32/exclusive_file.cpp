#include "platform/exclusive_file.h"

#include <windows.h>

namespace pelnik::platform {

// The file's handle is kept in the int the portable header gives it:
// kernel handles are 32-bit significant on 64-bit Windows too.
namespace {
HANDLE handleOf(int fd) { return LongToHandle(fd); }

bool writeWhole(HANDLE file, std::uint64_t offset, const void *data, std::size_t size) {
  const auto *bytes = static_cast<const char *>(data);
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD ask = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(file, bytes, ask, &written, &at) || written == 0) return false;
    bytes += written;
    offset += written;
    size -= written;
  }
  return true;
}
}  // namespace

ExclusiveFile::~ExclusiveFile() { close(); }

ExclusiveFile::OpenResult ExclusiveFile::open(const char *path) {
  close();
  if (!path || !*path) return OpenResult::Failed;
  // No sharing: a second writer is refused by the system before its open
  // could truncate the first writer's file.
  HANDLE file =
      ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return ::GetLastError() == ERROR_SHARING_VIOLATION ? OpenResult::Locked : OpenResult::Failed;
  // Only a disk file can be written at offsets and truncated (not a pipe,
  // not a device such as NUL).
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    return OpenResult::Failed;
  }
  fd_ = static_cast<int>(HandleToLong(file));
  size_ = 0;
  return OpenResult::Opened;
}

bool ExclusiveFile::append(const void *first, std::size_t firstSize, const void *second,
                           std::size_t secondSize) {
  if (fd_ < 0) return false;
  if (!writeWhole(handleOf(fd_), size_, first, firstSize)) return false;
  size_ += firstSize;
  if (second && secondSize) {
    if (!writeWhole(handleOf(fd_), size_, second, secondSize)) return false;
    size_ += secondSize;
  }
  return true;
}

bool ExclusiveFile::writeAt(std::uint64_t offset, const void *data, std::size_t size) {
  if (fd_ < 0 || offset + size > size_) return false;
  return writeWhole(handleOf(fd_), offset, data, size);
}

bool ExclusiveFile::truncate(std::uint64_t size) {
  if (fd_ < 0) return false;
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(handleOf(fd_), to, nullptr, FILE_BEGIN) || !::SetEndOfFile(handleOf(fd_)))
    return false;
  size_ = size;
  return true;
}

bool ExclusiveFile::close() {
  if (fd_ < 0) return false;
  const bool closed = ::CloseHandle(handleOf(fd_)) != FALSE;
  fd_ = -1;
  size_ = 0;
  return closed;
}

}  // namespace pelnik::platform
