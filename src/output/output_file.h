#pragma once
// A file opened for one save: created, or truncated when it exists, and
// written sequentially through a buffered binary stream. Every write and the
// final close report failure, so a full disk cannot pass for a saved file.
#include <cstddef>
#include <cstdio>

namespace pelnik::output {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile &) = delete;
  OutputFile &operator=(const OutputFile &) = delete;

  // Replaces any file of that name; false when it can be neither truncated
  // nor created.
  bool open(const char *path);
  bool isOpen() const { return stream_ != nullptr; }

  // False on a short write; later writes keep failing.
  bool write(const void *data, std::size_t size);

  // Flushes and closes; false when buffered data could not be written or a
  // write failed before. Whatever reached the file stays there.
  bool close();

  // For the libraries that write the stream themselves (libjpeg, libpng).
  std::FILE *stream() const { return stream_; }

 private:
  std::FILE *stream_ = nullptr;
  bool failed_ = false;
};

}  // namespace pelnik::output
