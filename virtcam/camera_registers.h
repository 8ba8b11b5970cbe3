#pragma once
// The register state of one virtual camera and what the frame geometry,
// exposure and timing follow from it.
//
// The register numbers and values below are the camera's side of the map the
// device layer writes through: keep them in step with namespace reg (and the
// readout and trigger values) of src/device/CPelnikR5MLXSdk.h and .cpp. The
// command bytes both sides use are in src/platform/device_wire.h.
#include <array>
#include <cstdint>

#include "include/PelnikTiming.h"

namespace pelnik::virtcam {

inline constexpr int kSensorColumns = 1280;
inline constexpr int kSensorRows = 1024;
// One sensor line (896 pixel clocks), from the SDK's timing header.
inline constexpr double kLinePeriodMs = PELNIK_SENSOR_LINE_PERIOD_NS / 1e6;

namespace sensor_reg {
inline constexpr int kReadoutMode = 7;
inline constexpr int kResolution = 10;
inline constexpr int kExposureLines = 14;
inline constexpr int kGlobalGain = 17;
inline constexpr int kFirstRow = 18;
inline constexpr int kRowCount = 19;
inline constexpr int kFirstColumn = 20;
inline constexpr int kColumnCount = 21;
}  // namespace sensor_reg

namespace fpga_reg {
inline constexpr int kIoPort = 7;
inline constexpr int kTriggerControl = 11;
inline constexpr int kPixelWidth = 14;
inline constexpr int kClockMode = 15;
inline constexpr std::uint8_t kTriggerModeOn = 0x25;
}  // namespace fpga_reg

// Where the output image comes from on the sensor and how it is laid out in
// a transfer.
struct FrameLayout {
  int firstColumn = 0;  // sensor coordinates of the window
  int firstRow = 0;
  int columns = 0;
  int rows = 0;
  int step = 1;    // 2 when subsampled
  int width = 0;   // output pixels per row
  int height = 0;  // output rows
  bool mirrorH = false;
  bool mirrorV = false;
  int bytesPerSample = 1;
  std::uint32_t transferPixels = 0;
  std::uint64_t transferBytes() const {
    return std::uint64_t(transferPixels) * std::uint64_t(bytesPerSample);
  }
};

struct CameraRegisters {
  std::array<std::uint16_t, 128> sensor{};
  std::array<std::uint8_t, 256> fpga{};

  // Power-up state: full window, no mirroring, 8-bit pixels, free running,
  // transfer length of the full window.
  static CameraRegisters powerUp() {
    CameraRegisters r;
    r.sensor[sensor_reg::kReadoutMode] = 0x0EC1;
    r.sensor[sensor_reg::kResolution] = 0x0200;
    r.sensor[sensor_reg::kExposureLines] = 512;
    r.sensor[sensor_reg::kGlobalGain] = 0;
    r.sensor[sensor_reg::kFirstRow] = 6;
    r.sensor[sensor_reg::kRowCount] = kSensorRows;
    r.sensor[sensor_reg::kFirstColumn] = 6;
    r.sensor[sensor_reg::kColumnCount] = kSensorColumns;
    r.setTransferPixels(kSensorColumns * kSensorRows);
    return r;
  }

  std::uint32_t transferPixels() const {
    return std::uint32_t(fpga[0]) | std::uint32_t(fpga[1]) << 8 | std::uint32_t(fpga[2]) << 16 |
           std::uint32_t(fpga[3]) << 24;
  }
  void setTransferPixels(std::uint32_t pixels) {
    for (int i = 0; i < 4; ++i) fpga[i] = std::uint8_t(pixels >> (8 * i));
  }
  bool triggerMode() const { return fpga[fpga_reg::kTriggerControl] == fpga_reg::kTriggerModeOn; }
  bool widePixels() const { return (fpga[fpga_reg::kPixelWidth] & 1) != 0; }
  int exposureLines() const { return sensor[sensor_reg::kExposureLines]; }
  int gainCode() const { return sensor[sensor_reg::kGlobalGain] & 0x7FF; }

  // Analog gain of a register-17 code: code 0 is the sensor's lowest gain
  // (1x) and every 128 codes add 1x.
  double analogGain() const { return 1.0 + gainCode() / 128.0; }

  FrameLayout layout() const {
    FrameLayout l;
    l.firstColumn = int(sensor[sensor_reg::kFirstColumn]) - 6;
    l.firstRow = int(sensor[sensor_reg::kFirstRow]) - 6;
    // The sensor cannot read out more than it has.
    l.columns = sensor[sensor_reg::kColumnCount] < kSensorColumns ? sensor[sensor_reg::kColumnCount]
                                                                  : kSensorColumns;
    l.rows =
        sensor[sensor_reg::kRowCount] < kSensorRows ? sensor[sensor_reg::kRowCount] : kSensorRows;
    l.step = (sensor[sensor_reg::kResolution] & 1) ? 2 : 1;
    l.width = l.columns / l.step;
    l.height = l.rows / l.step;
    // The readout-mode bits 0x80 and 0x40 are set for the normal direction.
    l.mirrorH = (sensor[sensor_reg::kReadoutMode] & 0x0080) == 0;
    l.mirrorV = (sensor[sensor_reg::kReadoutMode] & 0x0040) == 0;
    l.bytesPerSample = widePixels() ? 2 : 1;
    l.transferPixels = transferPixels();
    return l;
  }

  // A frame takes max(rows read, exposure lines) line periods.
  double framePeriodMs() const {
    const FrameLayout l = layout();
    const int lines = l.height > exposureLines() ? l.height : exposureLines();
    return lines * kLinePeriodMs;
  }
};

}  // namespace pelnik::virtcam
