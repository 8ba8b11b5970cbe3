#pragma once
// The wire format between the socket transport (the driver's place in the
// SDK) and whatever serves the camera sockets (the virtual camera, or a
// hardware bridge). Header-only so both sides compile the same definitions.
//
// One connection per open device handle; each control request is exactly one
// request message followed by exactly one reply message. All integers are
// 32-bit little-endian.
//
// Request: RequestHeader, then `inputLength` input bytes (the 4-byte pipe
// word, or the 44-byte time-out request), then `outboundLength` bytes of the
// caller's output buffer. Only a transfer to pipe 0 (input = pipe word 0)
// carries its output buffer to the device (the 64-byte command block);
// every other request has outboundLength 0.
//
// Reply: ReplyHeader, then `payloadLength` bytes: the data moved from the
// device into the caller's output buffer (pipes 1 and 2); 0 otherwise.
// `returned` is the driver's byte count; for reads it equals payloadLength.
// status 0 = the request succeeded, anything else = it failed (returned 0).
//
// Sensor register read: the command block kSensorRegister,
// kSensorRegisterSelect, register (bit 7 clear) selects the register; the reply blocks then read
// from pipe 1 hold the register's 16-bit value with the HIGH byte in reply byte 0 and the LOW byte
// in reply byte 1. Every reply read until the next read command returns the same block, so both of
// the two reply reads carry the value. FPGA register (kFpgaRead) and SROM (kSromRead) reads put
// their byte in reply byte 0.
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace pelnik::platform::wire {

inline constexpr std::uint32_t kRequestMagic = 0x51'4B'4E'50;  // "PNKQ"
inline constexpr std::uint32_t kReplyMagic = 0x52'4B'4E'50;    // "PNKR"

// Control codes and pipes of the driver interface.
inline constexpr std::uint32_t kCodePipeIn = 0x222051;   // pipe 0 commands, pipe 2 images
inline constexpr std::uint32_t kCodePipeOut = 0x22204E;  // pipe 1 replies, streaming frame request
inline constexpr std::uint32_t kCodeTimeout = 0x2220A0;  // 44-byte time-out request
inline constexpr std::uint32_t kPipeCommand = 0;
inline constexpr std::uint32_t kPipeReply = 1;
inline constexpr std::uint32_t kPipeImage = 2;
inline constexpr std::uint32_t kBlockBytes = 64;
inline constexpr std::uint32_t kTimeoutRequestBytes = 44;

// Command blocks on pipe 0: byte 0 is the command, the bytes named after it
// follow in order; the rest of the 64 bytes has no meaning.
namespace command {
inline constexpr std::uint8_t kTransferReset = 0x01;  // forget a frame request not yet read
inline constexpr std::uint8_t kFrameRequest = 0x02;   // one frame on pipe 2
// kSensorRegister, kSensorRegisterSelect, register (+ kSensorWrite to write),
// then for a write the value's high and low byte.
inline constexpr std::uint8_t kSensorRegister = 0x04;
inline constexpr std::uint8_t kSensorRegisterSelect = 0x03;
inline constexpr std::uint8_t kSensorWrite = 0x80;
inline constexpr std::uint8_t kTransferLength = 0x09;  // then pixels, 32-bit little-endian
// kPixelWidthSetup, kPixelWidthSetupArgument: transfer set-up for the pixel width.
inline constexpr std::uint8_t kPixelWidthSetup = 0x0A;
inline constexpr std::uint8_t kPixelWidthSetupArgument = 0x01;
inline constexpr std::uint8_t kFpgaWrite = 0x25;  // then register, value
inline constexpr std::uint8_t kFpgaRead = 0x26;   // then register
// kSromWrite, kSromSelect, kSromWriteMode, address high, address low, value.
inline constexpr std::uint8_t kSromWrite = 0x40;
// kSromRead, kSromSelect, kSromReadMode, kSromReadCount, address high, address low.
inline constexpr std::uint8_t kSromRead = 0x41;
inline constexpr std::uint8_t kSromSelect = 0x51;
inline constexpr std::uint8_t kSromWriteMode = 0x03;
inline constexpr std::uint8_t kSromReadMode = 0x02;
inline constexpr std::uint8_t kSromReadCount = 0x01;
}  // namespace command

// Limits a receiver enforces before trusting a header; a message beyond them
// means the stream is out of step and the connection is dropped.
inline constexpr std::uint32_t kMaxInputBytes = 4096;
inline constexpr std::uint32_t kMaxOutboundBytes = 1u << 20;
inline constexpr std::uint32_t kMaxOutputBytes = 64u << 20;

struct RequestHeader {
  std::uint32_t magic = kRequestMagic;
  std::uint32_t code = 0;
  std::uint32_t inputLength = 0;
  std::uint32_t outputLength = 0;    // size of the caller's output buffer
  std::uint32_t outboundLength = 0;  // bytes of that buffer sent along (pipe 0)
  std::uint32_t reserved = 0;
};
static_assert(sizeof(RequestHeader) == 24);

struct ReplyHeader {
  std::uint32_t magic = kReplyMagic;
  std::uint32_t status = 0;
  std::uint32_t returned = 0;
  std::uint32_t payloadLength = 0;
};
static_assert(sizeof(ReplyHeader) == 16);

// The headers are sent as their in-memory bytes; this build only targets
// little-endian machines.
static_assert(std::endian::native == std::endian::little, "wire headers are little-endian");

inline std::uint32_t loadLe32(const void *bytes) {
  const auto *b = static_cast<const std::uint8_t *>(bytes);
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
         std::uint32_t(b[3]) << 24;
}

inline void storeLe32(void *bytes, std::uint32_t value) {
  auto *b = static_cast<std::uint8_t *>(bytes);
  b[0] = std::uint8_t(value);
  b[1] = std::uint8_t(value >> 8);
  b[2] = std::uint8_t(value >> 16);
  b[3] = std::uint8_t(value >> 24);
}

// Whether a request carries its output buffer to the device: a pipe
// transfer whose pipe word is 0.
inline bool sendsOutputToDevice(std::uint32_t code, const void *input, std::uint32_t inputLength) {
  return (code == kCodePipeIn || code == kCodePipeOut) && inputLength == 4 && input &&
         loadLe32(input) == kPipeCommand;
}

// The header of a request; none when a length is beyond what the wire
// carries (the request is then refused without being sent).
inline std::optional<RequestHeader> requestFor(std::uint32_t code, const void *input,
                                               std::uint32_t inputLength,
                                               std::uint32_t outputLength) {
  if (inputLength > kMaxInputBytes || outputLength > kMaxOutputBytes) return std::nullopt;
  RequestHeader request;
  request.code = code;
  request.inputLength = inputLength;
  request.outputLength = outputLength;
  if (sendsOutputToDevice(code, input, inputLength)) {
    if (outputLength > kMaxOutboundBytes) return std::nullopt;
    request.outboundLength = outputLength;
  }
  return request;
}

// "\\.\NAME" -> "NAME"; empty when the path is not a device path or NAME
// could leave the runtime directory.
inline std::string socketNameOfDevicePath(std::string_view devicePath) {
  constexpr std::string_view prefix = "\\\\.\\";
  if (devicePath.substr(0, prefix.size()) != prefix) return {};
  const std::string_view name = devicePath.substr(prefix.size());
  if (name.empty() || name == "." || name == ".." || name.size() > 64) return {};
  for (const char c : name)
    if (c == '/' || c == '\\' || c == '\0') return {};
  return std::string(name);
}

// The socket name of camera n as the SDK composes its device path.
inline constexpr std::string_view kDeviceBaseName = "PNikR5MLX";
inline constexpr std::string_view kUnitCharacters = "0123456789ABCDEFGHIJKLNMOPQRSTUVWXYZ";
inline std::string cameraSocketName(int cameraNumber) {
  return std::string(kDeviceBaseName) + "-" +
         kUnitCharacters[static_cast<std::size_t>(cameraNumber) % kUnitCharacters.size()];
}

}  // namespace pelnik::platform::wire
