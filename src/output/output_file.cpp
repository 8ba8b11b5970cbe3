#include "output/output_file.h"

#include <cstring>
#include <new>

namespace pelnik::output {

bool OutputFile::open(const char *path) {
  close();
  failed_ = false;
  buffered_ = 0;
  if (!buffer_) buffer_.reset(new (std::nothrow) std::uint8_t[kBufferBytes]);
  if (!buffer_) return false;
  return file_.open(path) == platform::ExclusiveFile::OpenResult::Opened;
}

bool OutputFile::write(const void *data, std::size_t size) {
  if (!file_.isOpen() || failed_) return false;
  if (buffered_ + size > kBufferBytes && !flush()) return false;
  if (size >= kBufferBytes) {
    failed_ = !file_.append(data, size);
  } else {
    std::memcpy(buffer_.get() + buffered_, data, size);
    buffered_ += size;
  }
  return !failed_;
}

bool OutputFile::flush() {
  if (!file_.isOpen() || failed_) return false;
  if (buffered_ != 0 && !file_.append(buffer_.get(), buffered_)) failed_ = true;
  buffered_ = 0;
  return !failed_;
}

bool OutputFile::close() {
  if (!file_.isOpen()) return false;
  const bool flushed = flush();
  const bool closed = file_.close();
  return flushed && closed;
}

}  // namespace pelnik::output
