#pragma once
// The camera side of the filter chain's host interfaces: the automatic
// iris reaches the sensor through the camera's sensor control, and the
// values the chain measures land in the camera's settings records.
#include "camera/camera_settings.h"
#include "camera/sensor_control.h"
#include "imaging/chain_interfaces.h"

namespace pelnik {

class CameraChainHost final : public AutoIrisDevice, public ChainSettingsWriter {
 public:
  CameraChainHost(FilterSettings &filter, AnalogSettings &analog, SensorControl &sensor)
      : filter_(filter), analog_(analog), sensor_(sensor) {}

  // AutoIrisDevice.
  int currentGlobalGain() override { return sensor_.currentGain(); }
  int globalGainMinimum() override { return sensor_.gainRange().minimum; }
  int globalGainMaximum() override { return sensor_.gainRange().maximum; }
  int currentExposureLines() override { return sensor_.currentExposureLines(); }
  int exposureLinesMinimum() override { return sensor_.exposureRange().minimum; }
  int exposureLinesMaximum() override { return sensor_.exposureRange().maximum; }
  void setGlobalGain(int gain) override { sensor_.writeGain(gain); }
  void setExposureLines(int lines) override { sensor_.writeExposureLines(lines); }

  // ChainSettingsWriter.
  void storeGrayGains(int red, int green1, int green2, int blue) override;
  void clearGrayCalibrationRequest() override;
  void storeBayerGains(int red, int green, int blue) override;
  void clearWhiteBalanceRequest() override;
  void storeGlobalGain(int gain) override;
  void storeExposureLines(int lines) override { analog_.exposureLines = lines; }

 private:
  FilterSettings &filter_;
  AnalogSettings &analog_;
  SensorControl &sensor_;
};

}  // namespace pelnik
