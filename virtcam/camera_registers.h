#pragma once
// The register state of one virtual camera and what the frame geometry,
// exposure and timing follow from it. The register numbers and values are
// the device layer's own, from platform/register_map.h.
#include <array>
#include <cstdint>

#include "include/PelnikTiming.h"
#include "platform/register_map.h"

namespace pelnik::virtcam {

using platform::kSensorHeight;
using platform::kSensorWidth;
using platform::kWindowOrigin;
namespace sensor_reg = platform::sensor_reg;
namespace fpga_reg = platform::fpga_reg;

// One sensor line (896 pixel clocks), from the SDK's timing header.
inline constexpr double kLinePeriodMs = PELNIK_SENSOR_LINE_PERIOD_NS / 1e6;

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
    r.sensor[sensor_reg::kReadoutMode] = sensor_reg::kReadoutBase |
                                         sensor_reg::kReadoutColumnsForward |
                                         sensor_reg::kReadoutRowsForward;
    r.sensor[sensor_reg::kResolution] = sensor_reg::kFullResolution;
    r.sensor[sensor_reg::kExposureLines] = 512;
    r.sensor[sensor_reg::kGlobalGain] = 0;
    r.sensor[sensor_reg::kFirstRow] = kWindowOrigin;
    r.sensor[sensor_reg::kRowCount] = kSensorHeight;
    r.sensor[sensor_reg::kFirstColumn] = kWindowOrigin;
    r.sensor[sensor_reg::kColumnCount] = kSensorWidth;
    r.setTransferPixels(kSensorWidth * kSensorHeight);
    return r;
  }

  std::uint32_t transferPixels() const {
    std::uint32_t pixels = 0;
    for (int i = 0; i < 4; ++i)
      pixels |= std::uint32_t(fpga[fpga_reg::kTransferLength0 + i]) << (8 * i);
    return pixels;
  }
  void setTransferPixels(std::uint32_t pixels) {
    for (int i = 0; i < 4; ++i)
      fpga[fpga_reg::kTransferLength0 + i] = std::uint8_t(pixels >> (8 * i));
  }
  bool triggerMode() const { return fpga[fpga_reg::kTriggerControl] == fpga_reg::kTriggerModeOn; }
  bool widePixels() const { return (fpga[fpga_reg::kPixelWidth] & 1) != 0; }
  int exposureLines() const { return sensor[sensor_reg::kExposureLines]; }
  int gainCode() const { return sensor[sensor_reg::kGlobalGain] & 0x7FF; }

  // Analog gain of a global-gain code: code 0 is the sensor's lowest gain
  // (1x) and every 128 codes add 1x.
  double analogGain() const { return 1.0 + gainCode() / 128.0; }

  FrameLayout layout() const {
    FrameLayout l;
    l.firstColumn = int(sensor[sensor_reg::kFirstColumn]) - kWindowOrigin;
    l.firstRow = int(sensor[sensor_reg::kFirstRow]) - kWindowOrigin;
    // The sensor cannot read out more than it has.
    l.columns = sensor[sensor_reg::kColumnCount] < kSensorWidth ? sensor[sensor_reg::kColumnCount]
                                                                : kSensorWidth;
    l.rows = sensor[sensor_reg::kRowCount] < kSensorHeight ? sensor[sensor_reg::kRowCount]
                                                           : kSensorHeight;
    l.step = (sensor[sensor_reg::kResolution] & sensor_reg::kSubsampleBit) ? 2 : 1;
    l.width = l.columns / l.step;
    l.height = l.rows / l.step;
    l.mirrorH = (sensor[sensor_reg::kReadoutMode] & sensor_reg::kReadoutColumnsForward) == 0;
    l.mirrorV = (sensor[sensor_reg::kReadoutMode] & sensor_reg::kReadoutRowsForward) == 0;
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
