#pragma once
// The camera's narrow views of its device object: the sensor writes and
// limits behind the filter values and the automatic iris, and the transfer
// control behind acquisition.
#include "camera/acquisition.h"
#include "camera/sensor_control.h"
#include "device/CPelnikR5MLXSdk.h"

namespace pelnik {

class DeviceSensorControl final : public SensorControl {
 public:
  explicit DeviceSensorControl(device::CPelnikR5MLXSdk &device) : device_(device) {}
  ValueRange gainRange() const override;
  ValueRange exposureRange() const override;
  int currentGain() const override { return device_.GlobalGain(); }
  int currentExposureLines() const override { return device_.ExposureLines(); }
  bool writeGain(int gain) override;
  bool writeExposureLines(int lines) override;

 private:
  device::CPelnikR5MLXSdk &device_;
};

class DeviceFrameSource final : public FrameSource {
 public:
  explicit DeviceFrameSource(device::CPelnikR5MLXSdk &device) : device_(device) {}
  int startStreaming() override { return device_.StartStreaming(); }
  void stopStreaming() override { device_.StopStreaming(); }
  FrameWait waitFrame() override;
  SingleFrame readSingleFrame() override;
  void closeFrameReader() override { device_.CloseFrameReader(); }
  void setTriggerMode(bool on) override { device_.SetTriggerMode(on ? 1 : 0); }
  void setTransferTimeout(int milliseconds) override { device_.SetTransferTimeout(milliseconds); }

 private:
  device::CPelnikR5MLXSdk &device_;
};

}  // namespace pelnik
