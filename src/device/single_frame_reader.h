#pragma once
// Single-frame reads on the caller's thread (snapshot, trigger acquisition).
// The reader keeps its handle of the device path from one read to the next;
// a failed read, close() and the owner's destruction drop it.
#include <cstdint>
#include <mutex>
#include <string>

#include "device/driver_link.h"

namespace pelnik::device {

class SingleFrameReader {
 public:
  explicit SingleFrameReader(platform::DeviceTransport &transport) : link_(transport) {}
  ~SingleFrameReader() { close(); }
  SingleFrameReader(const SingleFrameReader &) = delete;
  SingleFrameReader &operator=(const SingleFrameReader &) = delete;

  // Resets the transfer, requests one frame and reads `transferBytes` into
  // `buffer`. 0, kStatusNoHandle, or kStatusImageFailed.
  int read(const std::string &devicePath, std::uint8_t *buffer, std::uint32_t transferBytes);
  void close();
  bool isOpen() const;

 private:
  const DriverLink link_;
  // A close from another thread waits for the read in flight to end.
  mutable std::mutex readerLock_;  // guards handle_
  DeviceHandle handle_ = kNoDeviceHandle;
};

}  // namespace pelnik::device
