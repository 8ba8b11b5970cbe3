#pragma once
// The driver's place on Linux: device paths "\\.\NAME" are Unix-domain
// stream sockets NAME in the per-user runtime directory; the wire format is
// device_wire.h. Handles are numbers never reused within the process, so a
// handle closed by one thread can never reach another thread's connection.
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/device_transport.h"

namespace pelnik::platform {

class SocketTransport final : public DeviceTransport {
 public:
  // Sockets are looked up in `directory`; empty = the runtime directory.
  explicit SocketTransport(std::string directory = {});
  ~SocketTransport() override;

  DeviceHandle open(const std::string &devicePath) override;
  bool control(DeviceHandle handle, std::uint32_t code, const void *input,
               std::uint32_t inputLength, void *output, std::uint32_t outputLength,
               std::uint32_t &returned) override;
  void close(DeviceHandle handle) override;

  // Number of handles currently open (for tests of handle hygiene).
  std::size_t openHandleCount() const;

 private:
  struct Connection;
  std::shared_ptr<Connection> find(DeviceHandle handle) const;
  std::string socketDirectory() const;

  const std::string directory_;
  mutable std::mutex tableLock_;  // guards connections_ and nextHandle_
  std::unordered_map<DeviceHandle, std::shared_ptr<Connection>> connections_;
  DeviceHandle nextHandle_ = 1;
};

}  // namespace pelnik::platform
