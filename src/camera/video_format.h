#pragma once
// The video format: region of interest on the sensor, the totals that are
// only stored and reported, and the subsample setting.
#include "platform/register_map.h"

namespace pelnik {

using platform::kSensorHeight;
using platform::kSensorWidth;

struct ImageSize {
  int width;
  int height;
};

struct VideoFormat {
  int TH = kSensorWidth;   // total width: stored and reported only
  int TV = kSensorHeight;  // total height
  int EH = kSensorWidth;   // image width
  int EV = kSensorHeight;  // image height
  int EHS = 0;             // horizontal start
  int EVS = 0;             // vertical start
  int Buf = 4;             // seventh preset value, only kept
  int subSample = 0;

  // Region inside the sensor and a subsample value the sensor can take.
  // A width or height of 0 passes here; the sensor's own minimum window is
  // checked by the device, whose refusal the camera also treats as invalid.
  bool isValid() const;

  // Full frame, keeping Buf and the subsample.
  void resetToFullFrame();

  // The picture size the buffers get: the region divided by the subsample
  // factor (2 for 1 and 17, 4 for 2 and 18, 8 for 3 and 19).
  ImageSize imageSize() const;
};

}  // namespace pelnik
