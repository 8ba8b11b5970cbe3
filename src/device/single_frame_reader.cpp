#include "device/single_frame_reader.h"

#include "device/device_status.h"

namespace pelnik::device {

int SingleFrameReader::read(const std::string &devicePath, std::uint8_t *buffer,
                            std::uint32_t transferBytes) {
  std::lock_guard<std::mutex> guard(readerLock_);
  if (handle_ == kNoDeviceHandle) {
    handle_ = link_.transport().open(devicePath);
    if (handle_ == kNoDeviceHandle) return kStatusNoHandle;
  }
  link_.sendCommandOnce(devicePath, CommandBlock{cmd::kTransferReset});
  link_.sendCommand(handle_, CommandBlock{cmd::kFrameRequest});
  std::uint32_t moved = 0;
  if (!link_.readImage(handle_, buffer, transferBytes, moved) || moved < transferBytes) {
    link_.transport().close(handle_);
    handle_ = kNoDeviceHandle;
    return kStatusImageFailed;
  }
  return kStatusOk;
}

void SingleFrameReader::close() {
  std::lock_guard<std::mutex> guard(readerLock_);
  if (handle_ == kNoDeviceHandle) return;
  link_.transport().close(handle_);
  handle_ = kNoDeviceHandle;
}

bool SingleFrameReader::isOpen() const {
  std::lock_guard<std::mutex> guard(readerLock_);
  return handle_ != kNoDeviceHandle;
}

}  // namespace pelnik::device
