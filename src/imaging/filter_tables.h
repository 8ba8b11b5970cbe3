#pragma once
// The lookup tables of the per-sample filters (gamma, contrast, sharpness,
// brightness), built per call from the stage's setting. Each builder is the
// one place its formula lives; the production kernels use these tables.
#include <cstdint>
#include <span>

namespace pelnik {

// The 16-bit filters take a bit depth in their parameter block and bring it
// into 8..16 before use.
int clampBitDepth(int bitDepth);

// Largest sample value of a bit depth (255 at 8, 1023 at 10).
inline int fullScale(int bitDepth) { return (1 << bitDepth) - 1; }

// Gamma exponent: 100 -> 1.0, 50 -> 0.5, 110 -> 2.0, 200 -> 11.0.
double gammaExponent(int gamma);
// The colour modes 24 and 32 keep the exponent inside 0.001..99.999.
double limitGammaExponent(double exponent);

// table[i] = integer part of (i / 255)^e x 255, 256 entries.
void buildGammaTable8(double exponent, std::span<std::uint8_t, 256> table);
// table[i] = integer part of (i / n)^e x (n - 1), n = 2^bitDepth entries.
void buildGammaTable16(double exponent, int bitDepth, std::span<std::uint16_t> table);

// The contrast tables for value k (8-bit: 256 entries; 16-bit: 2^bitDepth).
void buildContrastTable8(int contrast, std::span<std::uint8_t, 256> table);
void buildContrastTable16(int contrast, int bitDepth, std::span<std::uint16_t> table);

// Brightness factor in single precision: 1 - |b| / 255 below 0,
// 1 + 10 b / 255 above (b = 255 multiplies by 11).
float brightnessFactor(int brightness);

// One sample through the brightness factor, clamped to 0..maximum.
inline int brightenSample(int sample, float factor, int maximum) {
  const float product = static_cast<float>(sample) * factor;
  if (!(product < static_cast<float>(maximum))) return maximum;  // also catches NaN
  const int value = static_cast<int>(product);
  return value < 0 ? 0 : value;
}

}  // namespace pelnik
