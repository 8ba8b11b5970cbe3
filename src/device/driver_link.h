#pragma once
// The driver's pipe transfers, as every device operation makes them: command
// blocks to pipe 0, reply blocks from pipe 1, image data from pipe 2, the
// image-read time-out, each through a handle of the device path.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/device_transport.h"
#include "platform/device_wire.h"

namespace pelnik::device {

using platform::DeviceHandle;
using platform::kNoDeviceHandle;
// The command codes, named once for this layer and the camera's stand-ins.
namespace cmd = platform::wire::command;

// A 64-byte command or reply block; bytes past the ones given are zero.
struct CommandBlock {
  static constexpr std::size_t kBytes = platform::wire::kBlockBytes;
  CommandBlock() = default;
  CommandBlock(std::initializer_list<std::uint8_t> leading);
  std::array<std::uint8_t, kBytes> bytes{};
};

// A handle of one device path, closed when the holder goes.
class ScopedDeviceHandle {
 public:
  ScopedDeviceHandle(platform::DeviceTransport &transport, const std::string &devicePath)
      : transport_(transport), handle_(transport.open(devicePath)) {}
  ~ScopedDeviceHandle() {
    if (handle_ != kNoDeviceHandle) transport_.close(handle_);
  }
  ScopedDeviceHandle(const ScopedDeviceHandle &) = delete;
  ScopedDeviceHandle &operator=(const ScopedDeviceHandle &) = delete;

  DeviceHandle get() const { return handle_; }
  bool opened() const { return handle_ != kNoDeviceHandle; }

 private:
  platform::DeviceTransport &transport_;
  DeviceHandle handle_;
};

// Pipe transfers through a transport. A transfer succeeds only when the call
// succeeds and moves the whole length asked for.
class DriverLink {
 public:
  explicit DriverLink(platform::DeviceTransport &transport) : transport_(transport) {}

  platform::DeviceTransport &transport() const { return transport_; }

  // Command block to pipe 0 with the ordinary code; `streamingCode` selects
  // the code of the streaming loop's frame request.
  bool sendCommand(DeviceHandle handle, const CommandBlock &block,
                   bool streamingCode = false) const;
  // One reply block from pipe 1 into `block`.
  bool readReply(DeviceHandle handle, CommandBlock &block) const;
  // Image data from pipe 2; `moved` receives the byte count (the caller
  // tells a short read from a failed one).
  bool readImage(DeviceHandle handle, void *buffer, std::uint32_t bytes,
                 std::uint32_t &moved) const;
  // The image-read time-out request {1, milliseconds}.
  bool setImageTimeout(DeviceHandle handle, std::int32_t milliseconds) const;

  // Opens `devicePath`, sends `block` and closes again.
  bool sendCommandOnce(const std::string &devicePath, const CommandBlock &block) const;

 private:
  platform::DeviceTransport &transport_;
};

}  // namespace pelnik::device
