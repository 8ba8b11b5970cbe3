#include "platform/win32/driver_transport.h"

#include <windows.h>

#include "platform/device_wire.h"
#include "platform/win32/pipe_io.h"

namespace pelnik::platform::win32 {

namespace {

class SystemDriverCalls final : public DriverCalls {
 public:
  void *open(const char *path, unsigned long &error) override {
    HANDLE device = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    error = device == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    return device == INVALID_HANDLE_VALUE ? nullptr : device;
  }
  bool control(void *device, std::uint32_t code, const void *input, std::uint32_t inputLength,
               void *output, std::uint32_t outputLength, std::uint32_t &returned) override {
    DWORD moved = 0;
    const BOOL ok = ::DeviceIoControl(static_cast<HANDLE>(device), code, const_cast<void *>(input),
                                      inputLength, output, outputLength, &moved, nullptr);
    returned = ok ? moved : 0;
    return ok != FALSE;
  }
  void cancel(void *device) override { ::CancelIoEx(static_cast<HANDLE>(device), nullptr); }
  void close(void *device) override { ::CloseHandle(static_cast<HANDLE>(device)); }
};

}  // namespace

DriverCalls &systemDriverCalls() {
  static SystemDriverCalls calls;
  return calls;
}

std::string pipePathOfDevicePath(const std::string &devicePath) {
  const std::string name = wire::socketNameOfDevicePath(devicePath);
  if (name.empty()) return {};
  return "\\\\.\\pipe\\" + name;
}

// A driver handle, or a pipe connection with the event that interrupts it.
struct DriverTransport::Link {
  Link(DriverCalls &driverCalls, void *driverHandle) : calls(&driverCalls), device(driverHandle) {}
  explicit Link(HANDLE pipeHandle)
      : pipe(pipeHandle), closing(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Link() {
    if (device) calls->close(device);
  }
  Link(const Link &) = delete;
  Link &operator=(const Link &) = delete;

  DriverCalls *calls = nullptr;
  void *device = nullptr;  // the driver's handle; null for a pipe
  UniqueHandle pipe;
  UniqueHandle closing;    // set by close(): a transfer in flight ends
  std::mutex requestLock;  // guards the pipe between a request and its reply
  bool unusable = false;   // the pipe lost step; guarded by requestLock
};

DriverTransport::DriverTransport(DriverCalls &calls, unsigned long pipeWaitMs)
    : calls_(calls), pipeWaitMs_(pipeWaitMs) {}

DriverTransport::~DriverTransport() {
  std::lock_guard lock(tableLock_);
  for (auto &[handle, link] : links_) {
    if (link->device) calls_.cancel(link->device);
    if (link->closing.valid()) ::SetEvent(link->closing.get());
  }
}

std::shared_ptr<DriverTransport::Link> DriverTransport::openPipe(const std::string &path) {
  const DWORD deadline = ::GetTickCount() + pipeWaitMs_;
  for (;;) {
    HANDLE pipe = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      auto link = std::make_shared<Link>(pipe);
      return link->closing.valid() ? link : nullptr;
    }
    // Every instance busy: the camera is there, its server is between
    // instances. Wait for one, but never past the deadline.
    if (::GetLastError() != ERROR_PIPE_BUSY) return nullptr;
    const auto left = static_cast<LONG>(deadline - ::GetTickCount());
    if (left <= 0) return nullptr;
    if (!::WaitNamedPipeA(path.c_str(), static_cast<DWORD>(left)) &&
        ::GetLastError() != ERROR_FILE_NOT_FOUND)
      return nullptr;
    // A server that vanished between the busy answer and the wait leaves
    // nothing to connect to; a short pause before looking again.
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) ::Sleep(1);
  }
}

DeviceHandle DriverTransport::open(const std::string &devicePath) {
  const std::string pipePath = pipePathOfDevicePath(devicePath);
  if (pipePath.empty()) return kNoDeviceHandle;
  unsigned long error = ERROR_SUCCESS;
  std::shared_ptr<Link> link;
  if (void *device = calls_.open(devicePath.c_str(), error)) {
    link = std::make_shared<Link>(calls_, device);
  } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    // No such device: the virtual camera may serve it. A device that exists
    // but refuses the open is never bypassed.
    link = openPipe(pipePath);
  }
  if (!link) return kNoDeviceHandle;
  std::lock_guard lock(tableLock_);
  const DeviceHandle handle = nextHandle_++;
  links_.emplace(handle, std::move(link));
  return handle;
}

std::shared_ptr<DriverTransport::Link> DriverTransport::find(DeviceHandle handle) const {
  std::lock_guard lock(tableLock_);
  const auto found = links_.find(handle);
  return found == links_.end() ? nullptr : found->second;
}

bool DriverTransport::control(DeviceHandle handle, std::uint32_t code, const void *input,
                              std::uint32_t inputLength, void *output, std::uint32_t outputLength,
                              std::uint32_t &returned) {
  returned = 0;
  if ((inputLength && !input) || (outputLength && !output)) return false;
  const auto link = find(handle);
  if (!link) return false;
  if (link->device)
    return calls_.control(link->device, code, input, inputLength, output, outputLength, returned);

  const auto header = wire::requestFor(code, input, inputLength, outputLength);
  if (!header) return false;
  const wire::RequestHeader &request = *header;
  std::lock_guard lock(link->requestLock);
  if (link->unusable) return false;
  PipeStream stream(link->pipe.get(), link->closing.get());
  wire::ReplyHeader reply;
  bool ok = stream.writeAll(&request, sizeof request) &&
            (!inputLength || stream.writeAll(input, inputLength)) &&
            (!request.outboundLength || stream.writeAll(output, request.outboundLength)) &&
            stream.readAll(&reply, sizeof reply);
  ok = ok && reply.magic == wire::kReplyMagic && reply.payloadLength <= outputLength &&
       reply.returned <= outputLength &&
       (!reply.payloadLength || stream.readAll(output, reply.payloadLength));
  if (!ok) {
    // A broken or half-read stream cannot be trusted for another request.
    link->unusable = true;
    return false;
  }
  if (reply.status != 0) return false;
  returned = reply.returned;
  return true;
}

void DriverTransport::close(DeviceHandle handle) {
  std::shared_ptr<Link> link;
  {
    std::lock_guard lock(tableLock_);
    const auto found = links_.find(handle);
    if (found == links_.end()) return;
    link = std::move(found->second);
    links_.erase(found);
  }
  // Wakes a request blocked on this handle in another thread; the handle
  // itself closes when that request lets go of the link.
  if (link->device) calls_.cancel(link->device);
  if (link->closing.valid()) ::SetEvent(link->closing.get());
}

std::size_t DriverTransport::openHandleCount() const {
  std::lock_guard lock(tableLock_);
  return links_.size();
}

bool DriverTransport::isPipe(DeviceHandle handle) const {
  const auto link = find(handle);
  return link && !link->device;
}

}  // namespace pelnik::platform::win32

namespace pelnik::platform {

DeviceTransport &driverTransport() {
  static win32::DriverTransport transport(win32::systemDriverCalls());
  return transport;
}

}  // namespace pelnik::platform
