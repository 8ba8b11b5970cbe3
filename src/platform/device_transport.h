#pragma once
// The driver's operations as the device layer sees them: open a device path,
// one control request with a pipe word and a buffer, close. The production
// transport reaches the camera's stand-in over Unix-domain sockets; tests
// may hand the device layer a transport of their own.
#include <cstdint>
#include <string>

namespace pelnik::platform {

using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kNoDeviceHandle = -1;

class DeviceTransport {
 public:
  virtual ~DeviceTransport() = default;

  // Opens "\\.\NAME"; kNoDeviceHandle when nothing answers.
  virtual DeviceHandle open(const std::string &devicePath) = 0;

  // One control request: `input` (the pipe word, or the time-out request)
  // goes to the device; up to `outputLength` bytes come back into `output`.
  // `returned` receives the byte count the driver moved. False when the
  // request failed.
  virtual bool control(DeviceHandle handle, std::uint32_t code, const void *input,
                       std::uint32_t inputLength, void *output, std::uint32_t outputLength,
                       std::uint32_t &returned) = 0;

  // Closes a handle from open(); a request in flight on it ends at once.
  virtual void close(DeviceHandle handle) = 0;
};

// The process's socket transport (sockets under the per-user runtime directory).
DeviceTransport &socketTransport();

// The transport the SDK reaches its cameras through on this system: the
// socket transport on Linux, the camera's driver (or the virtual camera's
// pipes) on Windows.
DeviceTransport &driverTransport();

}  // namespace pelnik::platform
