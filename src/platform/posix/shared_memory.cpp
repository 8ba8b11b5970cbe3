#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/runtime_dir.h"

namespace pelnik::platform {

namespace {

bool lockFile(int fd, int operation) {
  int rc;
  do {
    rc = ::flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

}  // namespace

std::unique_ptr<SharedMemory> SharedMemory::openOrCreate(const std::string &path, std::size_t size,
                                                         std::size_t clearBytes) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  // Creation and growth happen under the file's lock, so two processes
  // opening at once never both clear, and nobody maps a half-made file.
  if (!lockFile(fd, LOCK_EX)) {
    ::close(fd);
    return nullptr;
  }
  struct stat info {};
  bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid();
  const bool shortFile = usable && static_cast<std::size_t>(info.st_size) < size;
  if (shortFile && ::ftruncate(fd, static_cast<off_t>(size)) != 0) usable = false;
  void *view = MAP_FAILED;
  if (usable) view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view != MAP_FAILED && shortFile) std::memset(view, 0, clearBytes < size ? clearBytes : size);
  lockFile(fd, LOCK_UN);
  if (view == MAP_FAILED) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<SharedMemory>(new SharedMemory(fd, static_cast<std::byte *>(view), size));
}

SharedMemory::~SharedMemory() {
  ::munmap(data_, size_);
  ::close(fd_);
}

SharedMemory::Lock::Lock(const SharedMemory &memory)
    : fd_(memory.fd_), held_(lockFile(memory.fd_, LOCK_EX)) {}

SharedMemory::Lock::~Lock() {
  if (held_) lockFile(fd_, LOCK_UN);
}

std::unique_ptr<SharedMemory> SharedMemory::openNamed(const std::string &name, std::size_t size,
                                                      std::size_t clearBytes) {
  const std::string directory = ensureRuntimeDirectory();
  if (directory.empty()) return nullptr;
  return openOrCreate(directory + "/" + name, size, clearBytes);
}

}  // namespace pelnik::platform
