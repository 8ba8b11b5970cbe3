#include "device/CPelnikR5MLXSdk.h"

#include "device/device_status.h"

namespace pelnik::device {

namespace {

using platform::kWindowOrigin;
constexpr int kRingBuffers = 4;

}  // namespace

CPelnikR5MLXSdk::CPelnikR5MLXSdk(platform::DeviceTransport &transport, DeviceClock &clock)
    : CPNKSdkLib(transport, clock) {
  deviceBaseName_ = "PNikR5MLX";
  ProbeDevices();
  SelectDevice(0);
  SetGlobalGain(512);
  SetExposureLines(64);
  windowChanged_ = 0;
}

std::unique_ptr<CPelnikR5MLXSdk> CPelnikR5MLXSdk::Create() {
  try {
    return std::make_unique<CPelnikR5MLXSdk>(platform::driverTransport(), realDeviceClock());
  } catch (...) {
    return nullptr;
  }
}

int CPelnikR5MLXSdk::SetPixelWidth(int wide) {
  pixelWidth_ = wide;
  sendCommand(CommandBlock{cmd::kPixelWidthSetup, cmd::kPixelWidthSetupArgument});
  WriteFpgaRegister(fpga_reg::kPixelWidth, wide != 0 ? 1 : 0);
  return 1;
}

int CPelnikR5MLXSdk::SelectDevice(int n) {
  // Buffers, handles and geometry are the running thread's.
  if (StreamingThreadLive()) return kStatusStreaming;
  ResetDefaults();
  if (const int status = SetDevicePath(n); status != kStatusOk) return status;
  SetPixelWidth(0);
  SetWindow(0, 0, kSensorWidth, kSensorHeight, 0);
  SetMirrorV(0);
  SetTriggerMode(0);
  return kStatusOk;
}

int CPelnikR5MLXSdk::SetWindow(int x, int y, int width, int height, int subsample) {
  if (x < 0 || y < 0 || width < 4 || height < 3 || x + width > kSensorWidth ||
      y + height > kSensorHeight || subsample > 1)
    return 1;
  // The frame ring must not be replaced under a running streaming thread.
  if (StreamingThreadLive()) return 1;
  if (x != appliedWindow_.x || y != appliedWindow_.y || width != appliedWindow_.width ||
      height != appliedWindow_.height || subsample != subsampling_)
    windowChanged_ = 1;

  subsampling_ = subsample;
  const int factor = subsample ? 2 : 1;
  int reached =
      WriteSensorRegister(sensor_reg::kResolution,
                          subsample ? sensor_reg::kSubsampledBy2 : sensor_reg::kFullResolution);
  appliedWindow_ = SensorWindow{x, y, width, height};
  SetFrameGeometry(width / factor, 0, width / factor, height / factor, 0, height / factor,
                   kRingBuffers);
  const std::uint32_t length = TransferLength();
  for (int byte = 0; byte < 4; ++byte)
    WriteFpgaRegister(static_cast<std::uint8_t>(fpga_reg::kTransferLength0 + byte),
                      static_cast<std::uint8_t>(length >> (8 * byte)));
  reached |= WriteSensorRegister(sensor_reg::kFirstRow, y + kWindowOrigin);
  reached |= WriteSensorRegister(sensor_reg::kRowCount, height);
  reached |= WriteSensorRegister(sensor_reg::kFirstColumn, x + kWindowOrigin);
  reached |= WriteSensorRegister(sensor_reg::kColumnCount, width);
  SetExposureLines(exposureLines_);
  // The wait lets the sensor settle on its new window; when no write
  // reached a sensor (no camera) there is nothing to wait for.
  if (windowChanged_ && reached) wait(kWindowChangeSettleMs);
  windowChanged_ = 0;
  return 0;
}

int CPelnikR5MLXSdk::SetExposureLines(std::uint16_t lines) {
  if (!WriteSensorRegister(sensor_reg::kExposureLines, lines)) return 0;
  exposureLines_ = lines;
  return 1;
}

int CPelnikR5MLXSdk::SetGlobalGain(std::uint16_t gain) {
  if (!WriteSensorRegister(sensor_reg::kGlobalGain, gain)) return 0;
  globalGain_ = gain;
  return 1;
}

int CPelnikR5MLXSdk::SetMirrorH(int on) {
  mirrorH_ = on != 0;
  return WriteReadoutMode();
}

int CPelnikR5MLXSdk::SetMirrorV(int on) {
  mirrorV_ = on != 0;
  return WriteReadoutMode();
}

int CPelnikR5MLXSdk::WriteReadoutMode() {
  const int mode = sensor_reg::kReadoutBase | (mirrorH_ ? 0 : sensor_reg::kReadoutColumnsForward) |
                   (mirrorV_ ? 0 : sensor_reg::kReadoutRowsForward);
  return WriteSensorRegister(sensor_reg::kReadoutMode, mode);
}

int CPelnikR5MLXSdk::SetTriggerMode(int on) {
  return WriteFpgaRegister(fpga_reg::kTriggerControl,
                           on ? fpga_reg::kTriggerModeOn : fpga_reg::kTriggerModeOff);
}

int CPelnikR5MLXSdk::ReadClockMode(std::uint8_t &mode) {
  const int ok = ReadFpgaRegister(fpga_reg::kClockMode, mode);
  if (mode == 3) mode = 2;
  return ok;
}

int CPelnikR5MLXSdk::WriteClockMode(std::uint8_t) {
  // This model runs one clock: whatever is asked, the register gets 0.
  return WriteFpgaRegister(fpga_reg::kClockMode, 0);
}

}  // namespace pelnik::device
