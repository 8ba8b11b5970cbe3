#include "imaging/filter_tables.h"

#include <algorithm>
#include <cmath>

namespace pelnik {

namespace {

// A table entry from a real value: truncated, and saturated so that a
// setting outside its range can never make an out-of-range conversion.
int truncateInto(double value, int maximum) {
  if (!(value > 0.0)) return 0;  // also NaN
  if (value >= static_cast<double>(maximum)) return maximum;
  return static_cast<int>(value);
}

}  // namespace

int clampBitDepth(int bitDepth) { return std::clamp(bitDepth, 8, 16); }

double gammaExponent(int gamma) {
  if (gamma > 100) return (gamma - 100) / 10.0 + 1.0;
  return gamma / 100.0;
}

double limitGammaExponent(double exponent) { return std::clamp(exponent, 0.001, 99.999); }

void buildGammaTable8(double exponent, std::span<std::uint8_t, 256> table) {
  for (int i = 0; i < 256; ++i) {
    table[i] = static_cast<std::uint8_t>(truncateInto(std::pow(i / 255.0, exponent) * 255.0, 255));
  }
}

void buildGammaTable16(double exponent, int bitDepth, std::span<std::uint16_t> table) {
  const int n = 1 << bitDepth;
  const double size = n;
  for (int i = 0; i < n; ++i) {
    table[i] =
        static_cast<std::uint16_t>(truncateInto(std::pow(i / size, exponent) * (n - 1), n - 1));
  }
}

void buildContrastTable8(int contrast, std::span<std::uint8_t, 256> table) {
  const int k = contrast;
  for (int i = 0; i < 256; ++i) {
    int entry = 0;
    if (k < 128) {
      if (i < k) {
        entry = 0;
      } else if (i > 255 - k) {
        entry = 255;
      } else {
        entry = truncateInto(256.0 / (256 - 2 * k) * (i - k), 255);
      }
    }
    table[i] = static_cast<std::uint8_t>(entry);
  }
}

void buildContrastTable16(int contrast, int bitDepth, std::span<std::uint16_t> table) {
  const int n = 1 << bitDepth;
  const int k = contrast * (1 << (bitDepth - 8));
  const bool usable = k <= (1 << (bitDepth - 1)) - 1;
  for (int i = 0; i < n; ++i) {
    int entry = 0;
    if (usable && i >= k) {
      entry = i > n - k - 1 ? n - 1
                            : truncateInto(static_cast<double>(n) / (n - 2 * k) * (i - k), n - 1);
    }
    table[i] = static_cast<std::uint16_t>(entry);
  }
}

float brightnessFactor(int brightness) {
  double factor = 1.0;
  if (brightness < 0) factor = 1.0 - std::abs(brightness) / 255.0;
  if (brightness > 0) factor = 1.0 + 10.0 * brightness / 255.0;
  return static_cast<float>(factor);
}

}  // namespace pelnik
