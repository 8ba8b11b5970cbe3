#include "platform/win32/pipe_io.h"

#include <algorithm>
#include <cstdint>

namespace pelnik::platform::win32 {

namespace {
// One ReadFile/WriteFile moves at most this much; a frame takes several.
constexpr std::size_t kChunkBytes = 1u << 20;
}  // namespace

PipeStream::PipeStream(HANDLE pipe, HANDLE interrupt)
    : pipe_(pipe), interrupt_(interrupt), done_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

PipeStream::~PipeStream() = default;

long long PipeStream::finish(BOOL started) {
  DWORD moved = 0;
  if (started) {
    if (!::GetOverlappedResult(pipe_, &overlapped_, &moved, FALSE)) return -1;
    return moved;
  }
  const DWORD error = ::GetLastError();
  if (error == ERROR_PIPE_CONNECTED) return 0;
  if (error != ERROR_IO_PENDING) return -1;
  HANDLE waits[2] = {done_.get(), interrupt_};
  const DWORD woke = ::WaitForMultipleObjects(interrupt_ ? 2 : 1, waits, FALSE, INFINITE);
  if (woke != WAIT_OBJECT_0) {
    // Interrupted: the transfer must be over before its buffer goes away.
    ::CancelIoEx(pipe_, &overlapped_);
    ::GetOverlappedResult(pipe_, &overlapped_, &moved, TRUE);
    return -1;
  }
  if (!::GetOverlappedResult(pipe_, &overlapped_, &moved, TRUE)) return -1;
  return moved;
}

bool PipeStream::readAll(void *data, std::size_t size) {
  auto *bytes = static_cast<std::uint8_t *>(data);
  while (size > 0) {
    if (!done_.valid()) return false;
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = done_.get();
    const DWORD ask = static_cast<DWORD>(std::min(size, kChunkBytes));
    const long long got = finish(::ReadFile(pipe_, bytes, ask, nullptr, &overlapped_));
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool PipeStream::writeAll(const void *data, std::size_t size) {
  const auto *bytes = static_cast<const std::uint8_t *>(data);
  while (size > 0) {
    if (!done_.valid()) return false;
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = done_.get();
    const DWORD ask = static_cast<DWORD>(std::min(size, kChunkBytes));
    const long long put = finish(::WriteFile(pipe_, bytes, ask, nullptr, &overlapped_));
    if (put <= 0) return false;
    bytes += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool PipeStream::acceptClient() {
  if (!done_.valid()) return false;
  overlapped_ = OVERLAPPED{};
  overlapped_.hEvent = done_.get();
  const BOOL started = ::ConnectNamedPipe(pipe_, &overlapped_);
  if (started) return true;
  if (::GetLastError() == ERROR_PIPE_CONNECTED) return true;
  return finish(FALSE) >= 0;
}

}  // namespace pelnik::platform::win32
