#include "platform/exclusive_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace pelnik::platform {

ExclusiveFile::~ExclusiveFile() { close(); }

ExclusiveFile::OpenResult ExclusiveFile::open(const char *path) {
  close();
  if (!path || !*path) return OpenResult::Failed;
  // No O_TRUNC: another writer's file must survive our refused open. No
  // wait either: a FIFO's open would block until a reader comes.
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return OpenResult::Failed;
  // Only a regular file can be written at offsets and truncated.
  struct stat facts {};
  if (::fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return OpenResult::Failed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? OpenResult::Locked : OpenResult::Failed;
  }
  if (::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return OpenResult::Failed;
  }
  fd_ = fd;
  size_ = 0;
  return OpenResult::Opened;
}

bool ExclusiveFile::append(const void *first, std::size_t firstSize, const void *second,
                           std::size_t secondSize) {
  if (fd_ < 0) return false;
  iovec pieces[2] = {{const_cast<void *>(first), firstSize},
                     {const_cast<void *>(second), second ? secondSize : 0}};
  iovec *next = pieces;
  int count = second && secondSize ? 2 : 1;
  while (count > 0) {
    const ssize_t written = ::pwritev(fd_, next, count, static_cast<off_t>(size_));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    size_ += static_cast<std::uint64_t>(written);
    auto left = static_cast<std::size_t>(written);
    while (count > 0 && left >= next->iov_len) {
      left -= next->iov_len;
      ++next;
      --count;
    }
    if (count > 0) {
      next->iov_base = static_cast<char *>(next->iov_base) + left;
      next->iov_len -= left;
    }
  }
  return true;
}

bool ExclusiveFile::writeAt(std::uint64_t offset, const void *data, std::size_t size) {
  if (fd_ < 0 || offset + size > size_) return false;
  const char *bytes = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t written = ::pwrite(fd_, bytes, size, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    offset += static_cast<std::uint64_t>(written);
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ExclusiveFile::truncate(std::uint64_t size) {
  if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) return false;
  size_ = size;
  return true;
}

bool ExclusiveFile::close() {
  if (fd_ < 0) return false;
  // Closing the descriptor releases the lock.
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  size_ = 0;
  return closed;
}

}  // namespace pelnik::platform
