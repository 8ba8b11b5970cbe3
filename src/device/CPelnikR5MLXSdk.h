#pragma once
// The device object of the PelnikR5M-LX: the family's device object with
// this model's register map, window set-up and construction sequence.
#include <atomic>
#include <cstdint>
#include <memory>

#include "device/CPNKSdkLib.h"

namespace pelnik::device {

// Sensor and FPGA registers of this model.
namespace reg {
inline constexpr std::uint16_t kReadoutMode = 7;
inline constexpr std::uint16_t kResolution = 10;
inline constexpr std::uint16_t kExposureLines = 14;
inline constexpr std::uint16_t kGlobalGain = 17;
inline constexpr std::uint16_t kFirstRow = 18;
inline constexpr std::uint16_t kWindowHeight = 19;
inline constexpr std::uint16_t kFirstColumn = 20;
inline constexpr std::uint16_t kWindowWidth = 21;

inline constexpr std::uint8_t kFpgaTransferLength0 = 0;  // 0..3, little-endian
inline constexpr std::uint8_t kFpgaIoPort = 7;
inline constexpr std::uint8_t kFpgaTrigger = 11;
inline constexpr std::uint8_t kFpgaPixelWidth = 14;
inline constexpr std::uint8_t kFpgaClockMode = 15;
}  // namespace reg

inline constexpr int kSensorWidth = 1280;
inline constexpr int kSensorHeight = 1024;
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
