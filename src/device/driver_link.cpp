#include "device/driver_link.h"

#include <algorithm>

#include "platform/debug_log.h"
#include "platform/device_wire.h"

namespace pelnik::device {

namespace wire = platform::wire;

CommandBlock::CommandBlock(std::initializer_list<std::uint8_t> leading) {
  std::copy_n(leading.begin(), std::min(leading.size(), kBytes), bytes.begin());
}

namespace {

bool pipeTransfer(platform::DeviceTransport &transport, DeviceHandle handle, std::uint32_t code,
                  std::uint32_t pipe, void *data, std::uint32_t bytes, std::uint32_t &moved) {
  std::uint8_t pipeWord[4];
  wire::storeLe32(pipeWord, pipe);
  moved = 0;
  return transport.control(handle, code, pipeWord, sizeof pipeWord, data, bytes, moved);
}

}  // namespace

bool DriverLink::sendCommand(DeviceHandle handle, const CommandBlock &block,
                             bool streamingCode) const {
  CommandBlock outgoing = block;
  std::uint32_t moved = 0;
  const bool ok =
      pipeTransfer(transport_, handle, streamingCode ? wire::kCodePipeOut : wire::kCodePipeIn,
                   wire::kPipeCommand, outgoing.bytes.data(), CommandBlock::kBytes, moved);
  PELNIK_DEBUG_LOG(platform::DebugArea::Device,
                   "handle %lld command %02x %02x %02x %02x %02x %02x: %s, %u bytes moved",
                   static_cast<long long>(handle), block.bytes[0], block.bytes[1], block.bytes[2],
                   block.bytes[3], block.bytes[4], block.bytes[5], ok ? "ok" : "failed", moved);
  return ok && moved == CommandBlock::kBytes;
}

bool DriverLink::readReply(DeviceHandle handle, CommandBlock &block) const {
  std::uint32_t moved = 0;
  const bool ok = pipeTransfer(transport_, handle, wire::kCodePipeOut, wire::kPipeReply,
                               block.bytes.data(), CommandBlock::kBytes, moved);
  PELNIK_DEBUG_LOG(platform::DebugArea::Device, "handle %lld reply %02x %02x: %s, %u bytes moved",
                   static_cast<long long>(handle), block.bytes[0], block.bytes[1],
                   ok ? "ok" : "failed", moved);
  return ok && moved == CommandBlock::kBytes;
}

bool DriverLink::readImage(DeviceHandle handle, void *buffer, std::uint32_t bytes,
                           std::uint32_t &moved) const {
  if (!buffer) {
    moved = 0;
    return false;
  }
  const bool ok =
      pipeTransfer(transport_, handle, wire::kCodePipeIn, wire::kPipeImage, buffer, bytes, moved);
  // Whole frames are the normal case and too many to log one by one.
  if (!ok || moved != bytes)
    PELNIK_DEBUG_LOG(platform::DebugArea::Device,
                     "handle %lld image read of %u bytes: %s, %u moved",
                     static_cast<long long>(handle), bytes, ok ? "short" : "failed", moved);
  return ok;
}

bool DriverLink::setImageTimeout(DeviceHandle handle, std::int32_t milliseconds) const {
  std::uint8_t request[wire::kTimeoutRequestBytes] = {};
  wire::storeLe32(request, 1);
  wire::storeLe32(request + 4, static_cast<std::uint32_t>(milliseconds));
  std::uint32_t moved = 0;
  const bool ok =
      transport_.control(handle, wire::kCodeTimeout, request, sizeof request, nullptr, 0, moved);
  PELNIK_DEBUG_LOG(platform::DebugArea::Device, "handle %lld image time-out %d ms: %s",
                   static_cast<long long>(handle), milliseconds, ok ? "ok" : "failed");
  return ok;
}

bool DriverLink::sendCommandOnce(const std::string &devicePath, const CommandBlock &block) const {
  ScopedDeviceHandle handle(transport_, devicePath);
  if (!handle.opened())
    PELNIK_DEBUG_LOG(platform::DebugArea::Device, "%s does not open", devicePath.c_str());
  return sendCommand(handle.get(), block);
}

}  // namespace pelnik::device
