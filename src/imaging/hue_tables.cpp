#include "imaging/hue_tables.h"

namespace pelnik {

int hueShift(int hueDegrees) {
  const int u = ((hueDegrees * 65536 / 360) & 0xFFFF) * 6 >> 8;
  int r = u & 0x1FF;
  if (r >= 256) r -= 512;
  const int t = ((u + 256) >> 9) % 3;
  int shift = t * 510 + r;
  if (shift < 0) shift += 1530;
  if (shift > 1529) shift -= 1530;
  return shift;
}

SaturationScale::SaturationScale(int saturation) : saturation_(saturation) {
  for (int c = 0; c < 256; ++c) scale_[c] = (c * (saturation + 256) * 256 + 0x8000) >> 16;
  for (int l = 0; l < 512; ++l) limit_[l] = l <= 255 ? l : 511 - l;
}

}  // namespace pelnik
