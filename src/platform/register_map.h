#pragma once
// The camera's register map: sensor and FPGA register numbers, the values
// whose bits the device layer composes, the SROM addresses and the sensor's
// size. The device layer writes through it, the camera object reads it and
// the virtual camera answers by it. The command bytes that carry register
// traffic are in device_wire.h.
#include <cstdint>

namespace pelnik::platform {

// The sensor's full pixel array.
inline constexpr int kSensorWidth = 1280;
inline constexpr int kSensorHeight = 1024;
// Window registers count from the sensor's first active row and column.
inline constexpr int kWindowOrigin = 6;

// 16-bit sensor registers.
namespace sensor_reg {
inline constexpr std::uint8_t kReadoutMode = 7;
inline constexpr std::uint8_t kResolution = 10;
inline constexpr std::uint8_t kExposureLines = 14;
inline constexpr std::uint8_t kGlobalGain = 17;  // 0..2047, every 128 codes add 1x
inline constexpr std::uint8_t kFirstRow = 18;
inline constexpr std::uint8_t kRowCount = 19;
inline constexpr std::uint8_t kFirstColumn = 20;
inline constexpr std::uint8_t kColumnCount = 21;

// Readout mode: the base bits, plus each direction bit set for the normal
// (unmirrored) direction.
inline constexpr std::uint16_t kReadoutBase = 0x0E01;
inline constexpr std::uint16_t kReadoutColumnsForward = 0x0080;
inline constexpr std::uint16_t kReadoutRowsForward = 0x0040;
// Resolution: bit 0 reads every second row and column.
inline constexpr std::uint16_t kFullResolution = 0x0200;
inline constexpr std::uint16_t kSubsampledBy2 = 0x0201;
inline constexpr std::uint16_t kSubsampleBit = 0x0001;
}  // namespace sensor_reg

// 8-bit FPGA registers.
namespace fpga_reg {
inline constexpr std::uint8_t kTransferLength0 = 0;  // 0..3: pixels per frame, little-endian
inline constexpr std::uint8_t kIoPort = 7;
inline constexpr std::uint8_t kTriggerControl = 11;
inline constexpr std::uint8_t kPixelWidth = 14;  // bit 0: 16-bit samples
inline constexpr std::uint8_t kClockMode = 15;

inline constexpr std::uint8_t kTriggerModeOn = 0x25;
inline constexpr std::uint8_t kTriggerModeOff = 0x00;
}  // namespace fpga_reg

// SROM addresses.
namespace srom {
// The identity bytes start here; lower addresses are not the SDK's to touch.
inline constexpr std::uint16_t kIdentityBase = 0x1800;
inline constexpr std::uint16_t kSensorVariant = 0x1EB0;
}  // namespace srom

}  // namespace pelnik::platform
