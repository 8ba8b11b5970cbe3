// Fuzz target for the virtual camera's request decoder: the input is the
// byte stream a client sends on a camera socket. Requests are read as the
// server reads them (header checked before its lengths are trusted, then the
// body) and handed to one camera; a malformed client must only ever lose its
// connection, never crash the camera or make it answer beyond its buffers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/device_wire.h"
#include "virtcam/camera_unit.h"
#include "virtcam/request_header.h"

namespace wire = pelnik::platform::wire;
using namespace pelnik::virtcam;

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Image reads that wait for a frame give up quickly, so that an input is
// never stuck for the camera's real time-outs.
constexpr int kReadTimeoutMs = 20;

CameraUnit &camera() {
  static CameraUnit unit(0, [] {
    CameraOptions options;
    options.sensorTiming = false;
    options.defaultReadTimeoutMs = kReadTimeoutMs;
    options.logCapacity = 64;
    options.reportProtocolError = [](const std::string &) {};
    return options;
  }());
  return unit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  CameraConnection connection(1, camera().scene(), [] { return false; });
  std::size_t at = 0;
  std::vector<std::uint8_t> body;
  while (size - at >= sizeof(wire::RequestHeader)) {
    wire::RequestHeader header;
    std::memcpy(&header, data + at, sizeof header);
    at += sizeof header;
    if (!acceptableRequestHeader(header)) break;  // the server drops the connection
    const std::size_t bodyBytes = std::size_t(header.inputLength) + header.outboundLength;
    if (size - at < bodyBytes) break;  // the client went away mid-request
    body.assign(data + at, data + at + bodyBytes);
    at += bodyBytes;
    // A time-out request may ask for any wait; this harness keeps it short.
    if (header.code == wire::kCodeTimeout && header.inputLength >= 8)
      wire::storeLe32(body.data() + 4,
                      std::min<std::uint32_t>(wire::loadLe32(body.data() + 4), kReadTimeoutMs));
    CameraRequest request;
    request.code = header.code;
    request.input = std::span(body.data(), header.inputLength);
    request.outputLength = header.outputLength;
    request.outbound = std::span(body.data() + header.inputLength, header.outboundLength);
    const CameraReply reply = camera().handle(request, connection);
    require(reply.payload.size() <= header.outputLength);
    require(reply.returned <= header.outputLength);
    if (!reply.succeeded) require(reply.returned == 0);
  }
  camera().heal();
  return 0;
}
