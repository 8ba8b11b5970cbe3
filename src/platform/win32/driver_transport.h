#pragma once
// The driver's place on Windows: the camera's kernel driver through
// CreateFileA / DeviceIoControl on "\\.\NAME", and, only when no such device
// exists, the virtual camera's named pipe "\\.\pipe\NAME" carrying the wire
// format of device_wire.h. Handles are numbers never reused within the
// process, so a handle closed by one thread never reaches another's device.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/device_transport.h"

namespace pelnik::platform::win32 {

// The three driver calls, behind a seam so tests can stand in for the driver.
class DriverCalls {
 public:
  virtual ~DriverCalls() = default;
  // CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING). Null
  // with the system's error code in `error` when no handle was given.
  virtual void *open(const char *path, unsigned long &error) = 0;
  // DeviceIoControl without overlap; false when the driver failed the request.
  virtual bool control(void *device, std::uint32_t code, const void *input,
                       std::uint32_t inputLength, void *output, std::uint32_t outputLength,
                       std::uint32_t &returned) = 0;
  // Ends requests in flight on the handle (other threads' too).
  virtual void cancel(void *device) = 0;
  virtual void close(void *device) = 0;
};

// The real calls into kernel32.
DriverCalls &systemDriverCalls();

class DriverTransport final : public DeviceTransport {
 public:
  // How long an open waits for a free instance of a busy pipe.
  static constexpr unsigned long kDefaultPipeWaitMs = 5000;

  explicit DriverTransport(DriverCalls &calls, unsigned long pipeWaitMs = kDefaultPipeWaitMs);
  ~DriverTransport() override;

  DeviceHandle open(const std::string &devicePath) override;
  bool control(DeviceHandle handle, std::uint32_t code, const void *input,
               std::uint32_t inputLength, void *output, std::uint32_t outputLength,
               std::uint32_t &returned) override;
  void close(DeviceHandle handle) override;

  std::size_t openHandleCount() const;
  // Whether `handle` reached the camera over the virtual camera's pipe.
  bool isPipe(DeviceHandle handle) const;

  struct Link;  // one open device handle or pipe connection

 private:
  std::shared_ptr<Link> find(DeviceHandle handle) const;
  std::shared_ptr<Link> openPipe(const std::string &name);

  DriverCalls &calls_;
  const unsigned long pipeWaitMs_;
  mutable std::mutex tableLock_;  // guards links_ and nextHandle_
  std::unordered_map<DeviceHandle, std::shared_ptr<Link>> links_;
  DeviceHandle nextHandle_ = 1;
};

// "\\.\pipe\NAME" for the device path "\\.\NAME"; empty when the path is no
// device path.
std::string pipePathOfDevicePath(const std::string &devicePath);

}  // namespace pelnik::platform::win32
