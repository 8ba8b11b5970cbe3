#pragma once
// The camera's analog settings as the stored group's plain record and back.
#include "camera/camera_settings.h"
#include "settings/setting_groups.h"

namespace pelnik {

inline settings::AnalogValues analogValuesOf(const AnalogSettings &analog) {
  settings::AnalogValues values;
  values.globalGain = analog.globalGain;
  values.gainG1 = analog.gainGreen1;
  values.gainR = analog.gainRed;
  values.gainB = analog.gainBlue;
  values.gainG2 = analog.gainGreen2;
  values.exposure = analog.exposureLines;
  values.mirrorV = analog.mirrorV;
  values.mirrorH = analog.mirrorH;
  values.autoIris = analog.autoIrisMode;
  return values;
}

inline void assignAnalog(AnalogSettings &analog, const settings::AnalogValues &values) {
  analog.globalGain = values.globalGain;
  analog.gainGreen1 = values.gainG1;
  analog.gainRed = values.gainR;
  analog.gainBlue = values.gainB;
  analog.gainGreen2 = values.gainG2;
  analog.exposureLines = values.exposure;
  analog.mirrorV = values.mirrorV;
  analog.mirrorH = values.mirrorH;
  analog.autoIrisMode = values.autoIris;
}

}  // namespace pelnik
