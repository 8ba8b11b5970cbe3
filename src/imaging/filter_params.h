#pragma once
// Parameter blocks of the filter and measuring kernels. Kernels receive a
// pointer to a pointer to their block (one extra indirection); every field
// is an int.
#include <cstdint>

namespace pelnik {

// Gray-mode gains and offsets, indexed by Bayer site. The calibration
// writes the four gains back.
struct GrayBlock {
  std::int32_t bayerMode;  // effective Bayer mode 0..3
  std::int32_t gainR, gainG1, gainG2, gainB;
  std::int32_t offsetR, offsetG1, offsetG2, offsetB;
  std::int32_t bitDepth;  // 8 in colour mode 8, 10 in colour mode 10
};

// Hue and saturation. The lightness field is always 0 in this library and
// is not read.
struct HueBlock {
  std::int32_t hue;  // degrees
  std::int32_t lightness;
  std::int32_t saturation;
  std::int32_t bitDepth;
};

// Brightness, contrast, gamma and sharpness.
struct ValueBlock {
  std::int32_t value;
  std::int32_t bitDepth;
};

// Full scale of a calibration's sample depth (the largest sample value).
inline int calibrationFullScale(int bitDepth) {
  switch (bitDepth) {
    case 8:
      return 255;
    case 10:
      return 1023;
    case 12:
      return 4095;
    case 14:
      return 16383;
    default:
      return 65535;
  }
}

}  // namespace pelnik
