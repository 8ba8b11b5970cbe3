#include "imaging/filter_vector.h"

#include <cstring>

#include "imaging/filter_tables.h"
#include "imaging/vector_path.h"

// PELNIK_X86_FORMS (set by CMakeLists.txt on x86 targets): the vector forms
// of x86/ are compiled in and the rows below hand them what they can do.
#ifndef PELNIK_X86_FORMS
#define PELNIK_X86_FORMS 0
#endif
#if PELNIK_X86_FORMS
#include "imaging/filter_vector_forms.h"
#endif

namespace pelnik::filter_vector {

namespace {

// The scalar forms: the whole row where no vector form runs, the tail of
// it where one does.

void hueRowScalar(std::uint8_t *dst, const std::uint8_t *src, int from, int pixels, int bpp,
                  const HueRow &hue) {
  for (int x = from; x < pixels; ++x) {
    const std::uint8_t *in = src + x * bpp;
    int blue = in[0], green = in[1], red = in[2];
    hueSaturatePixel(red, green, blue, *hue.scale, hue.shift);
    std::uint8_t *out = dst + x * bpp;
    out[0] = static_cast<std::uint8_t>(blue);
    out[1] = static_cast<std::uint8_t>(green);
    out[2] = static_cast<std::uint8_t>(red);
  }
}

// Samples of a pixel the colour filters touch: all of a gray pixel, the
// first three of a colour pixel.
int filteredSamples(int samplesPerPixel) { return samplesPerPixel >= 3 ? 3 : 1; }

void tableScalar8(std::uint8_t *dst, const std::uint8_t *src, int from, int pixels, int bpp,
                  const std::uint8_t *table) {
  const int samples = filteredSamples(bpp);
  for (int x = from; x < pixels; ++x) {
    for (int s = 0; s < samples; ++s) dst[x * bpp + s] = table[src[x * bpp + s]];
  }
}

void brightenScalar8(std::uint8_t *dst, const std::uint8_t *src, int from, int pixels, int bpp,
                     float factor) {
  const int samples = filteredSamples(bpp);
  for (int x = from; x < pixels; ++x) {
    for (int s = 0; s < samples; ++s) {
      dst[x * bpp + s] = static_cast<std::uint8_t>(brightenSample(src[x * bpp + s], factor, 255));
    }
  }
}

void brightenScalar16(std::uint8_t *dst, const std::uint8_t *src, int from, int pixels, int bpp,
                      float factor, int maximum) {
  const int samples = filteredSamples(bpp / 2);
  for (int x = from; x < pixels; ++x) {
    for (int s = 0; s < samples; ++s) {
      std::uint16_t v;
      std::memcpy(&v, src + x * bpp + 2 * s, 2);
      const auto out = static_cast<std::uint16_t>(brightenSample(v, factor, maximum));
      std::memcpy(dst + x * bpp + 2 * s, &out, 2);
    }
  }
}

void slideScalar8(std::uint16_t *sums, const std::uint8_t *add, const std::uint8_t *sub, int from,
                  int count) {
  for (int k = from; k < count; ++k) {
    sums[k] = static_cast<std::uint16_t>(sums[k] + add[k] - sub[k]);
  }
}

void sharpenScalar8(std::uint8_t *dst, const std::uint8_t *orig, const std::uint16_t *sums,
                    int from, int last, int bpp, int sharpness) {
  for (int k = from; k < last; ++k) {
    if (bpp == 4 && (k & 3) == 3) continue;
    const int blur = (sums[k - 2 * bpp] + sums[k - bpp] + sums[k] + sums[k + bpp]) >> 4;
    const int value = orig[k] + (sharpness * (orig[k] - blur)) / 10;
    dst[k] = static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
  }
}

template <class T>
void loadClampedScalar16(T *dst, const std::uint8_t *src, int from, int count, int maximum) {
  for (int k = from; k < count; ++k) {
    std::uint16_t v;
    std::memcpy(&v, src + 2 * k, 2);
    dst[k] = static_cast<T>(v > maximum ? maximum : v);
  }
}

template <class T>
void slideScalar(T *sums, const T *add, const T *sub, int from, int count) {
  for (int k = from; k < count; ++k) sums[k] = static_cast<T>(sums[k] + add[k] - sub[k]);
}

template <class T>
void sharpenScalar16(std::uint8_t *dst, const T *orig, const T *sums, int from, int last,
                     int samplesPerPixel, int sharpness, int maximum) {
  const int p = samplesPerPixel;
  for (int k = from; k < last; ++k) {
    if (p == 4 && (k & 3) == 3) continue;
    const int blur = (sums[k - 2 * p] + sums[k - p] + sums[k] + sums[k + p]) >> 4;
    const int value = orig[k] + (sharpness * (orig[k] - blur)) / 10;
    const auto out = static_cast<std::uint16_t>(value < 0 ? 0 : value > maximum ? maximum : value);
    std::memcpy(dst + 2 * k, &out, 2);
  }
}

void toHueViewScalar16(std::uint8_t *view, const std::uint8_t *src, int from, int pixels, int bpp,
                       int down) {
  for (int x = from; x < pixels; ++x) {
    const std::uint8_t *in = src + x * bpp;
    for (int c = 0; c < 3; ++c) {
      std::uint16_t v;
      std::memcpy(&v, in + 2 * c, 2);
      view[4 * x + c] = static_cast<std::uint8_t>(v >> down > 255 ? 255 : v >> down);
    }
  }
}

#if PELNIK_X86_FORMS
bool useAvx2() { return vector_path::avx2(); }

x86::HueSetting hueSetting(const HueRow &hue) {
  return {hue.shift / 255, hue.shift % 255, (hue.scale->saturation() + 256) * 256};
}
#endif

}  // namespace

void hueRow8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, const HueRow &hue) {
  int done = 0;
#if PELNIK_X86_FORMS
  const int saturation = hue.scale->saturation();
  if (vector_path::avx512Vbmi() && saturation >= -256 && saturation <= 255) {
    done = x86::hueRowAvx512(dst, src, pixels, bpp, hueSetting(hue));
  } else if (useAvx2()) {
    done = x86::hueRowAvx2(dst, src, pixels, bpp, hueSetting(hue));
  }
#endif
  hueRowScalar(dst, src, done, pixels, bpp, hue);
}

void tableRow8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
               const std::uint8_t *table) {
  int bytesDone = 0;
#if PELNIK_X86_FORMS
  if (vector_path::avx512Vbmi()) bytesDone = x86::tableAvx512_8(dst, src, pixels, bpp, table);
#endif
  if (bpp == 4) {
    tableScalar8(dst, src, bytesDone / 4, pixels, 4, table);
  } else {
    // Gray and 3-byte pixels are runs of samples: finish sample by sample.
    tableScalar8(dst, src, bytesDone, pixels * bpp, 1, table);
  }
}

void toHueView16(std::uint8_t *view, const std::uint8_t *src, int pixels, int bpp, int down) {
  int done = 0;
#if PELNIK_X86_FORMS
  if (useAvx2()) done = x86::toHueViewAvx2_16(view, src, pixels, bpp, down);
#endif
  toHueViewScalar16(view, src, done, pixels, bpp, down);
}

void brightenRow8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, float factor) {
  int bytesDone = 0;
#if PELNIK_X86_FORMS
  if (useAvx2()) bytesDone = x86::brightenAvx2_8(dst, src, pixels, bpp, factor);
#endif
  if (bpp == 4) {
    brightenScalar8(dst, src, bytesDone / 4, pixels, 4, factor);
  } else {
    // Gray and 3-byte pixels are runs of samples: finish sample by sample.
    brightenScalar8(dst, src, bytesDone, pixels * bpp, 1, factor);
  }
}

void brightenRow16(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, float factor,
                   int maximum) {
  int bytesDone = 0;
#if PELNIK_X86_FORMS
  if (useAvx2()) bytesDone = x86::brightenAvx2_16(dst, src, pixels, bpp, factor, maximum);
#endif
  if (bpp == 8) {
    brightenScalar16(dst, src, bytesDone / 8, pixels, 8, factor, maximum);
  } else {
    brightenScalar16(dst, src, bytesDone / 2, pixels * bpp / 2, 2, factor, maximum);
  }
}

void slideColumnSums8(std::uint16_t *sums, const std::uint8_t *add, const std::uint8_t *sub,
                      int count) {
  int done = 0;
#if PELNIK_X86_FORMS
  if (vector_path::avx512Vbmi()) {
    done = x86::slideAvx512_8(sums, add, sub, count);
  } else if (useAvx2()) {
    done = x86::slideAvx2_8(sums, add, sub, count);
  }
#endif
  slideScalar8(sums, add, sub, done, count);
}

void sharpenRow8(std::uint8_t *dst, const std::uint8_t *orig, const std::uint16_t *sums, int first,
                 int last, int bpp, int sharpness) {
  int done = first;
#if PELNIK_X86_FORMS
  // The 16-bit lanes hold s x 255 and its tenth only up to s = 64; the
  // chain's range is 0..30.
  if (vector_path::avx512Vbmi() && sharpness >= 0 && sharpness <= 64) {
    done = x86::sharpenAvx512_8(dst, orig, sums, first, last, bpp, sharpness);
  } else if (useAvx2() && sharpness >= 0 && sharpness <= 64) {
    done = x86::sharpenAvx2_8(dst, orig, sums, first, last, bpp, sharpness);
  }
#endif
  sharpenScalar8(dst, orig, sums, done, last, bpp, sharpness);
}

void loadClampedRow16(std::int16_t *dst, const std::uint8_t *src, int count, int maximum) {
  int done = 0;
#if PELNIK_X86_FORMS
  if (useAvx2()) done = x86::loadClampedAvx2_16Narrow(dst, src, count, maximum);
#endif
  loadClampedScalar16(dst, src, done, count, maximum);
}

void slideColumnSums16(std::int16_t *sums, const std::int16_t *add, const std::int16_t *sub,
                       int count) {
  int done = 0;
#if PELNIK_X86_FORMS
  if (useAvx2()) done = x86::slideAvx2_16(sums, add, sub, count);
#endif
  slideScalar(sums, add, sub, done, count);
}

void sharpenRow16(std::uint8_t *dst, const std::int16_t *orig, const std::int16_t *sums, int first,
                  int last, int samplesPerPixel, int sharpness, int maximum) {
  int done = first;
#if PELNIK_X86_FORMS
  if (useAvx2() && sharpness >= 0 && sharpness <= 30 && maximum <= 1023) {
    done = x86::sharpenAvx2_16Narrow(dst, orig, sums, first, last, samplesPerPixel, sharpness,
                                     maximum);
  }
#endif
  sharpenScalar16(dst, orig, sums, done, last, samplesPerPixel, sharpness, maximum);
}

void loadClampedRow16(std::int32_t *dst, const std::uint8_t *src, int count, int maximum) {
  int done = 0;
#if PELNIK_X86_FORMS
  if (useAvx2()) done = x86::loadClampedAvx2_16(dst, src, count, maximum);
#endif
  loadClampedScalar16(dst, src, done, count, maximum);
}

void slideColumnSums32(std::int32_t *sums, const std::int32_t *add, const std::int32_t *sub,
                       int count) {
  int done = 0;
#if PELNIK_X86_FORMS
  if (useAvx2()) done = x86::slideAvx2_32(sums, add, sub, count);
#endif
  slideScalar(sums, add, sub, done, count);
}

void sharpenRow16(std::uint8_t *dst, const std::int32_t *orig, const std::int32_t *sums, int first,
                  int last, int samplesPerPixel, int sharpness, int maximum) {
  int done = first;
#if PELNIK_X86_FORMS
  // Exact while |s x (orig - blur)| stays below 2^21: s up to 30 at 16 bits.
  if (useAvx2() && sharpness >= 0 && sharpness <= 30) {
    done = x86::sharpenAvx2_16(dst, orig, sums, first, last, samplesPerPixel, sharpness, maximum);
  }
#endif
  sharpenScalar16(dst, orig, sums, done, last, samplesPerPixel, sharpness, maximum);
}

}  // namespace pelnik::filter_vector
