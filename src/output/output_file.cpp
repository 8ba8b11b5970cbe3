#include "output/output_file.h"

namespace pelnik::output {

OutputFile::~OutputFile() { close(); }

bool OutputFile::open(const char *path) {
  close();
  failed_ = false;
  if (!path) return false;
  stream_ = std::fopen(path, "wb");
  return stream_ != nullptr;
}

bool OutputFile::write(const void *data, std::size_t size) {
  if (!stream_ || failed_) return false;
  if (size != 0 && std::fwrite(data, 1, size, stream_) != size) failed_ = true;
  return !failed_;
}

bool OutputFile::close() {
  if (!stream_) return false;
  // A library may have written through the stream directly; its errors
  // show in the stream's error flag.
  const bool flushed = std::fflush(stream_) == 0 && !std::ferror(stream_);
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  return flushed && closed && !failed_;
}

}  // namespace pelnik::output
