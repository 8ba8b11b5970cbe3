#include "camera/device_adapters.h"

#include "device/device_status.h"

namespace pelnik {

using device::CPelnikR5MLXSdk;

ValueRange DeviceSensorControl::gainRange() const {
  return {CPelnikR5MLXSdk::kGlobalGainMin, CPelnikR5MLXSdk::kGlobalGainMax};
}

ValueRange DeviceSensorControl::exposureRange() const {
  return {CPelnikR5MLXSdk::kExposureLinesMin, CPelnikR5MLXSdk::kExposureLinesMax};
}

bool DeviceSensorControl::writeGain(int gain) {
  return device_.SetGlobalGain(static_cast<std::uint16_t>(gain)) != 0;
}

bool DeviceSensorControl::writeExposureLines(int lines) {
  return device_.SetExposureLines(static_cast<std::uint16_t>(lines)) != 0;
}

FrameWait DeviceFrameSource::waitFrame() {
  switch (device_.WaitFrame()) {
    case device::kWaitStopped:
      return FrameWait::Stopped;
    case device::kWaitFailed:
      return FrameWait::Lost;
    case device::kWaitReady:
      return FrameWait::Ready;
    default:
      return FrameWait::NothingYet;
  }
}

SingleFrame DeviceFrameSource::readSingleFrame() {
  switch (device_.ReadSingleFrame()) {
    case device::kStatusOk:
      return SingleFrame::Ready;
    case device::kStatusNoHandle:
      return SingleFrame::Lost;
    default:
      return SingleFrame::Failed;
  }
}

}  // namespace pelnik
