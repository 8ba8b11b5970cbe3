#include "camera/video_format.h"

#include "PelnikModes.h"

namespace pelnik {

namespace {

bool isRefusedSubsample(int subSample) {
  return subSample == 2 || subSample == 3 || subSample == 17 || subSample == 18 || subSample == 19;
}

}  // namespace

bool VideoFormat::isValid() const {
  if (EH < 0 || EV < 0 || EHS < 0 || EVS < 0) return false;
  if (EH > kSensorWidth || EV > kSensorHeight || EHS > kSensorWidth || EVS > kSensorHeight)
    return false;
  // Both bounded by the sensor's size above, so the sums cannot overflow.
  if (EHS + EH > kSensorWidth || EVS + EV > kSensorHeight) return false;
  return !isRefusedSubsample(subSample);
}

void VideoFormat::resetToFullFrame() {
  TH = kSensorWidth;
  TV = kSensorHeight;
  EH = kSensorWidth;
  EV = kSensorHeight;
  EHS = 0;
  EVS = 0;
}

ImageSize VideoFormat::imageSize() const {
  const int divisor = PelnikSubsampleDivisor(subSample);
  return {EH / divisor, EV / divisor};
}

}  // namespace pelnik
