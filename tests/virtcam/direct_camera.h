#pragma once
// Drives one CameraUnit without sockets: the requests the SDK would send,
// built the way the driver interface defines them.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/device_wire.h"
#include "virtcam/camera_unit.h"

namespace pelnik::virtcam::direct {

namespace wire = platform::wire;

struct Result {
  bool ok = false;
  std::uint32_t returned = 0;
  std::vector<std::uint8_t> data;
};

class DirectCamera {
 public:
  explicit DirectCamera(int number = 0, CameraOptions options = {})
      : unit(number, std::move(options)), connection_(1, unit.scene(), nullptr) {}

  Result transfer(std::uint32_t code, std::vector<std::uint8_t> input, std::uint32_t outputLength,
                  std::vector<std::uint8_t> outbound = {}) {
    CameraRequest request{code, input, outputLength, outbound};
    const CameraReply reply = unit.handle(request, connection_);
    return {reply.succeeded, reply.returned, {reply.payload.begin(), reply.payload.end()}};
  }

  static std::vector<std::uint8_t> pipeWord(std::uint32_t pipe) {
    std::vector<std::uint8_t> word(4);
    wire::storeLe32(word.data(), pipe);
    return word;
  }
  static std::vector<std::uint8_t> block(std::initializer_list<std::uint8_t> head) {
    std::vector<std::uint8_t> b(64, 0);
    std::copy(head.begin(), head.end(), b.begin());
    return b;
  }

  Result command(std::initializer_list<std::uint8_t> head, std::uint32_t code = wire::kCodePipeIn) {
    return transfer(code, pipeWord(0), 64, block(head));
  }
  Result reply() { return transfer(wire::kCodePipeOut, pipeWord(1), 64); }
  Result image(std::uint32_t bytes) { return transfer(wire::kCodePipeIn, pipeWord(2), bytes); }
  Result setTimeout(int milliseconds) {
    std::vector<std::uint8_t> request(44, 0);
    wire::storeLe32(request.data(), 1);
    wire::storeLe32(request.data() + 4, std::uint32_t(milliseconds));
    return transfer(wire::kCodeTimeout, request, 0);
  }

  // The SDK's read pattern: command, two reply reads, value from the second.
  Result read(std::initializer_list<std::uint8_t> head) {
    if (!command(head).ok) return {};
    reply();
    return reply();
  }
  void writeSensor(int reg, std::uint16_t value) {
    command({0x04, 0x03, std::uint8_t(reg + 0x80), std::uint8_t(value >> 8), std::uint8_t(value)});
  }
  void writeFpga(int reg, std::uint8_t value) { command({0x25, std::uint8_t(reg), value}); }
  // Sets the transfer length in FPGA registers 0..3 as the SDK does.
  void setTransferPixels(std::uint32_t pixels) {
    for (int i = 0; i < 4; ++i) writeFpga(i, std::uint8_t(pixels >> (8 * i)));
  }
  void setWindow(int x, int y, int width, int height, bool subsample) {
    writeSensor(10, subsample ? 0x0201 : 0x0200);
    writeSensor(18, std::uint16_t(y + 6));
    writeSensor(19, std::uint16_t(height));
    writeSensor(20, std::uint16_t(x + 6));
    writeSensor(21, std::uint16_t(width));
    const int f = subsample ? 2 : 1;
    const std::uint32_t pixels = std::uint32_t((width / f) * (height / f));
    setTransferPixels((pixels + 1023) / 1024 * 1024);
  }

  CameraUnit unit;

 private:
  CameraConnection connection_;
};

}  // namespace pelnik::virtcam::direct
