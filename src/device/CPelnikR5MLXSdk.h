#pragma once
// The device object of the PelnikR5M-LX: the family's device object with
// this model's register map, window set-up and construction sequence.
#include <atomic>
#include <cstdint>
#include <memory>

#include "device/CPNKSdkLib.h"
#include "platform/register_map.h"

namespace pelnik::device {

using platform::kSensorHeight;
using platform::kSensorWidth;
namespace sensor_reg = platform::sensor_reg;
namespace fpga_reg = platform::fpga_reg;

inline constexpr int kWindowChangeSettleMs = 800;

class CPelnikR5MLXSdk final : public CPNKSdkLib {
 public:
  // Limits and defaults this model reports.
  static constexpr int kGlobalGainMin = 0;
  static constexpr int kGlobalGainMax = 2047;
  static constexpr int kExposureLinesMin = 1;
  static constexpr int kExposureLinesMax = 65534;
  static constexpr int kExposureLinesDefault = 512;

  // Probes the cameras, selects camera 0 and sets gain 512 and exposure 64
  // lines; completes whether or not a camera answers.
  CPelnikR5MLXSdk(platform::DeviceTransport &transport, DeviceClock &clock);

  // The device object of the production driver (socket transport, real
  // waits); null when it cannot be made.
  static std::unique_ptr<CPelnikR5MLXSdk> Create();

  int SetPixelWidth(int wide) override;

  // ResetDefaults, the device path of n, 8-bit pixels and the full window.
  // 0; kStatusBadCameraNumber for n above 32; kStatusStreaming (nothing
  // changed) while a streaming run is going.
  int SelectDevice(int n);

  // 0 when applied, 1 when rejected (out of range, or while streaming).
  int SetWindow(int x, int y, int width, int height, int subsample);
  int SetExposureLines(std::uint16_t lines);
  int SetGlobalGain(std::uint16_t gain);
  int SetMirrorH(int on);
  int SetMirrorV(int on);
  int WriteReadoutMode();
  int SetTriggerMode(int on);
  int ReadClockMode(std::uint8_t &mode);
  int WriteClockMode(std::uint8_t mode);

  std::uint16_t GlobalGain() const { return globalGain_; }
  std::uint16_t ExposureLines() const { return exposureLines_; }
  int MirrorH() const { return mirrorH_; }
  int MirrorV() const { return mirrorV_; }

 private:
  // Written by the auto iris on the acquisition thread and by application
  // threads (settings, dialogs) alike.
  std::atomic<std::uint16_t> globalGain_{0};
  std::atomic<std::uint16_t> exposureLines_{0};
  std::int32_t windowChanged_ = 0;
};

}  // namespace pelnik::device
