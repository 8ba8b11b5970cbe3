#include "camera/stored_records.h"

namespace pelnik {

settings::SizePreset sizePresetOf(const VideoFormat &format) {
  return {format.TH, format.TV, format.EH, format.EV, format.EHS, format.EVS, format.Buf};
}

void assignSizePreset(VideoFormat &format, const settings::SizePreset &preset) {
  format.TH = preset.TH;
  format.TV = preset.TV;
  format.EH = preset.EH;
  format.EV = preset.EV;
  format.EHS = preset.EHS;
  format.EVS = preset.EVS;
  format.Buf = preset.Buf;
}

settings::AnalogValues analogValuesOf(const AnalogSettings &analog) {
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

void assignAnalogValues(AnalogSettings &analog, const settings::AnalogValues &values) {
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
