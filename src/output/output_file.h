#pragma once
// A file opened for one save and written by that save alone: a second
// writer of the same name is refused and leaves the first one's file as it
// was, and a name that is no regular file (a FIFO) fails at once instead of
// blocking the caller. Written sequentially through a buffer; every write
// and the final close report failure, so a full disk cannot pass for a
// saved file.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/exclusive_file.h"

namespace pelnik::output {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile &) = delete;
  OutputFile &operator=(const OutputFile &) = delete;

  // Creates the file, or empties it once it is ours; false otherwise.
  bool open(const char *path);
  bool isOpen() const { return file_.isOpen(); }

  // False on a short write; later writes keep failing.
  bool write(const void *data, std::size_t size);
  // Writes what is buffered; false when that or an earlier write failed.
  bool flush();

  // Writes what is buffered and closes; false when any of it, or a write
  // before, failed. Whatever reached the file stays there.
  bool close();

 private:
  static constexpr std::size_t kBufferBytes = 64 * 1024;
  platform::ExclusiveFile file_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t buffered_ = 0;
  bool failed_ = false;
};

}  // namespace pelnik::output
