#pragma once
// A file written by one writer at a time: an exclusive advisory lock is held
// from open to close, so a second writer (in this process or another) is
// refused instead of interleaving with the first. The file is truncated only
// once the lock is held, so a refused writer leaves the other's file intact.
#include <cstddef>
#include <cstdint>

namespace pelnik::platform {

class ExclusiveFile {
 public:
  enum class OpenResult { Opened, Failed, Locked };

  ExclusiveFile() = default;
  ~ExclusiveFile();
  ExclusiveFile(const ExclusiveFile &) = delete;
  ExclusiveFile &operator=(const ExclusiveFile &) = delete;

  // Creates the file, or empties an existing one once it is locked; Failed
  // at once for anything but a regular file (a FIFO, a device).
  OpenResult open(const char *path);
  bool isOpen() const { return fd_ >= 0; }

  // Appends at the current end: all of both pieces, or false (a full disk,
  // the file size limit, an I/O error). A short write leaves the end where
  // the bytes that did reach the file put it.
  bool append(const void *first, std::size_t firstSize, const void *second = nullptr,
              std::size_t secondSize = 0);
  // Overwrites bytes already in the file; does not move the end.
  bool writeAt(std::uint64_t offset, const void *data, std::size_t size);
  // Cuts the file back to `size` bytes (giving the space back).
  bool truncate(std::uint64_t size);
  std::uint64_t size() const { return size_; }

  // Releases the lock and closes; false when the close reported an error.
  bool close();

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace pelnik::platform
