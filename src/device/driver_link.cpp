#include "device/driver_link.h"

#include <algorithm>

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
  return ok && moved == CommandBlock::kBytes;
}

bool DriverLink::readReply(DeviceHandle handle, CommandBlock &block) const {
  std::uint32_t moved = 0;
  const bool ok = pipeTransfer(transport_, handle, wire::kCodePipeOut, wire::kPipeReply,
                               block.bytes.data(), CommandBlock::kBytes, moved);
  return ok && moved == CommandBlock::kBytes;
}

bool DriverLink::readImage(DeviceHandle handle, void *buffer, std::uint32_t bytes,
                           std::uint32_t &moved) const {
  if (!buffer) {
    moved = 0;
    return false;
  }
  return pipeTransfer(transport_, handle, wire::kCodePipeIn, wire::kPipeImage, buffer, bytes,
                      moved);
}

bool DriverLink::setImageTimeout(DeviceHandle handle, std::int32_t milliseconds) const {
  std::uint8_t request[wire::kTimeoutRequestBytes] = {};
  wire::storeLe32(request, 1);
  wire::storeLe32(request + 4, static_cast<std::uint32_t>(milliseconds));
  std::uint32_t moved = 0;
  return transport_.control(handle, wire::kCodeTimeout, request, sizeof request, nullptr, 0, moved);
}

bool DriverLink::sendCommandOnce(const std::string &devicePath, const CommandBlock &block) const {
  ScopedDeviceHandle handle(transport_, devicePath);
  return sendCommand(handle.get(), block);
}

}  // namespace pelnik::device
