#pragma once
// Whole-message reads and writes on an overlapped named-pipe handle that a
// second event can interrupt: a closing handle (client) or a stopping server
// ends a blocked transfer at once instead of waiting for the peer. Used by
// both ends of the virtual camera's pipe.
#include <windows.h>

#include <cstddef>

namespace pelnik::platform::win32 {

// Owns a kernel handle; INVALID_HANDLE_VALUE and null both mean none.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle &&other) noexcept : handle_(other.release()) {}
  UniqueHandle &operator=(UniqueHandle &&other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle &) = delete;
  UniqueHandle &operator=(const UniqueHandle &) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    HANDLE h = handle_;
    handle_ = nullptr;
    return h;
  }
  void reset(HANDLE handle = nullptr) {
    if (valid()) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Transfers on one overlapped pipe handle. `interrupt` is a manual-reset
// event; once it is set every transfer fails. Not for concurrent use of one
// direction by two threads.
class PipeStream {
 public:
  PipeStream(HANDLE pipe, HANDLE interrupt);
  ~PipeStream();
  PipeStream(const PipeStream &) = delete;
  PipeStream &operator=(const PipeStream &) = delete;

  bool readAll(void *data, std::size_t size);
  bool writeAll(const void *data, std::size_t size);
  // Waits for a client on a server instance; true once one is connected.
  bool acceptClient();

 private:
  // Finishes an overlapped call that `started` reported; bytes moved or -1.
  long long finish(BOOL started);

  HANDLE pipe_;
  HANDLE interrupt_;
  UniqueHandle done_;  // the transfers' completion event
  OVERLAPPED overlapped_{};
};

}  // namespace pelnik::platform::win32
