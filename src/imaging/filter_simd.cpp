#include "imaging/filter_simd.h"

#include <cstring>

#include "imaging/filter_tables.h"
#include "imaging/vector_path.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PELNIK_X86 1
#endif

namespace pelnik::simd {

namespace {

// --- scalar forms ----------------------------------------------------------

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

#ifdef PELNIK_X86

// --- AVX2 forms --------------------------------------------------------------

__attribute__((target("avx2"))) __m256i hueWords(__m256i word, const HueRow &hue) {
  const __m256i byteMask = _mm256_set1_epi32(0xFF);
  const __m256i red = _mm256_and_si256(_mm256_srli_epi32(word, 16), byteMask);
  const __m256i green = _mm256_and_si256(_mm256_srli_epi32(word, 8), byteMask);
  const __m256i blue = _mm256_and_si256(word, byteMask);
  // Red wins ties over green and blue, green wins over blue.
  const __m256i greenAboveRed = _mm256_cmpgt_epi32(green, red);
  const __m256i blueAboveRed = _mm256_cmpgt_epi32(blue, red);
  const __m256i blueAboveGreen = _mm256_cmpgt_epi32(blue, green);
  const __m256i redMax =
      _mm256_andnot_si256(_mm256_or_si256(greenAboveRed, blueAboveRed), _mm256_set1_epi32(-1));
  const __m256i greenMax =
      _mm256_andnot_si256(_mm256_or_si256(redMax, blueAboveGreen), _mm256_set1_epi32(-1));
  const __m256i maximum = _mm256_max_epi32(red, _mm256_max_epi32(green, blue));
  const __m256i minimum = _mm256_min_epi32(red, _mm256_min_epi32(green, blue));
  __m256i code = _mm256_blendv_epi8(_mm256_set1_epi32(5), _mm256_set1_epi32(3), greenMax);
  code = _mm256_blendv_epi8(code, _mm256_set1_epi32(1), redMax);
  __m256i d =
      _mm256_blendv_epi8(_mm256_sub_epi32(red, green), _mm256_sub_epi32(blue, red), greenMax);
  d = _mm256_blendv_epi8(d, _mm256_sub_epi32(green, blue), redMax);

  const __m256i chroma = _mm256_sub_epi32(maximum, minimum);
  const __m256i lightness = _mm256_add_epi32(maximum, minimum);
  const __m256i factor = _mm256_set1_epi32((hue.scale->saturation() + 256) * 256);
  const __m256i scaled = _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_mullo_epi32(chroma, factor), _mm256_set1_epi32(0x8000)), 16);
  const __m256i limit =
      _mm256_min_epi32(lightness, _mm256_sub_epi32(_mm256_set1_epi32(511), lightness));
  const __m256i newChroma = _mm256_min_epi32(scaled, limit);
  const __m256i low = _mm256_srai_epi32(_mm256_sub_epi32(lightness, newChroma), 1);
  const __m256i span =
      _mm256_sub_epi32(_mm256_srai_epi32(_mm256_add_epi32(newChroma, lightness), 1), low);
  const __m256i greyFactor = _mm256_set1_epi32(0x010101);
  __m256i result = _mm256_mullo_epi32(low, greyFactor);

  const __m256i negative = _mm256_cmpgt_epi32(_mm256_setzero_si256(), d);
  __m256i index =
      _mm256_add_epi32(_mm256_add_epi32(code, negative), _mm256_set1_epi32(hue.shift / 255));
  // 0xFF0000 / C exactly: for every C of 1..255 the correctly rounded
  // single-precision quotient truncates to the integer division (the tests
  // try each); C = 0 is masked to 0.
  const __m256 quotient =
      _mm256_div_ps(_mm256_set1_ps(static_cast<float>(0xFF0000)), _mm256_cvtepi32_ps(chroma));
  const __m256i reciprocal = _mm256_andnot_si256(_mm256_cmpeq_epi32(chroma, _mm256_setzero_si256()),
                                                 _mm256_cvttps_epi32(quotient));
  const __m256i offset = _mm256_add_epi32(d, _mm256_and_si256(negative, chroma));
  __m256i frac = _mm256_add_epi32(
      _mm256_srai_epi32(
          _mm256_add_epi32(_mm256_mullo_epi32(reciprocal, offset), _mm256_set1_epi32(0x8000)), 16),
      _mm256_set1_epi32(hue.shift % 255));
  const __m256i wraps = _mm256_cmpgt_epi32(frac, _mm256_set1_epi32(254));
  frac = _mm256_sub_epi32(frac, _mm256_and_si256(wraps, _mm256_set1_epi32(255)));
  index = _mm256_sub_epi32(index, wraps);
  const __m256i pastSix = _mm256_cmpgt_epi32(index, _mm256_set1_epi32(5));
  index = _mm256_sub_epi32(index, _mm256_and_si256(pastSix, _mm256_set1_epi32(6)));

  const __m256i masks =
      _mm256_setr_epi32(kHueSectorMask[0], kHueSectorMask[1], kHueSectorMask[2], kHueSectorMask[3],
                        kHueSectorMask[4], kHueSectorMask[5], 0, 0);
  const __m256i steps =
      _mm256_setr_epi32(kHueSectorStep[0], kHueSectorStep[1], kHueSectorStep[2], kHueSectorStep[3],
                        kHueSectorStep[4], kHueSectorStep[5], 0, 0);
  const __m256i mask = _mm256_permutevar8x32_epi32(masks, index);
  const __m256i step = _mm256_permutevar8x32_epi32(steps, index);
  const __m256i moved = _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_mullo_epi32(span, frac), _mm256_set1_epi32(128)), 8);
  const __m256i colour =
      _mm256_add_epi32(_mm256_and_si256(_mm256_mullo_epi32(span, greyFactor), mask),
                       _mm256_mullo_epi32(moved, step));
  const __m256i grey = _mm256_cmpeq_epi32(chroma, _mm256_setzero_si256());
  result = _mm256_add_epi32(result, _mm256_andnot_si256(grey, colour));
  return result;
}

__attribute__((target("avx2"))) int hueRowAvx2(std::uint8_t *dst, const std::uint8_t *src,
                                               int pixels, int bpp, const HueRow &hue) {
  int x = 0;
  if (bpp == 3) {
    const __m256i unpack = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                            1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                          1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    // Each step reads 28 bytes and writes 24.
    for (; x + 10 <= pixels; x += 8) {
      const std::uint8_t *in = src + 3 * x;
      const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
      const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 12));
      const __m256i words =
          _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1), unpack);
      const __m256i out = _mm256_shuffle_epi8(hueWords(words, hue), pack);
      std::uint8_t *o = dst + 3 * x;
      _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm256_castsi256_si128(out));
      const __m128i upper = _mm256_extracti128_si256(out, 1);
      _mm_storel_epi64(reinterpret_cast<__m128i *>(o + 12), upper);
      const int last = _mm_extract_epi32(upper, 2);
      std::memcpy(o + 20, &last, 4);
    }
  } else {
    const __m256i colourBytes = _mm256_set1_epi32(0xFFFFFF);
    for (; x + 8 <= pixels; x += 8) {
      const __m256i words = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 4 * x));
      const __m256i out = hueWords(_mm256_and_si256(words, colourBytes), hue);
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + 4 * x),
                          _mm256_or_si256(_mm256_and_si256(out, colourBytes),
                                          _mm256_andnot_si256(colourBytes, words)));
    }
  }
  return x;
}

#define PELNIK_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))
// GCC 12's 512-bit intrinsics pass an undefined register as the unused
// merge source, which its own uninitialised-use check flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// hueWords in sixteen lanes: the same steps, with mask registers for the
// choices.
// The setting, read once per row: stores through the byte pointers could
// alias a HueRow read in the loop.
struct HueSetting {
  int sectors, fraction, factor;
  explicit HueSetting(const HueRow &hue)
      : sectors(hue.shift / 255),
        fraction(hue.shift % 255),
        factor((hue.scale->saturation() + 256) * 256) {}
};

PELNIK_AVX512 __attribute__((always_inline)) inline __m512i hueWords512(__m512i word,
                                                                        const HueSetting hue) {
  const __m512i byteMask = _mm512_set1_epi32(0xFF);
  const __m512i red = _mm512_and_si512(_mm512_srli_epi32(word, 16), byteMask);
  const __m512i green = _mm512_and_si512(_mm512_srli_epi32(word, 8), byteMask);
  const __m512i blue = _mm512_and_si512(word, byteMask);
  // Red wins ties over green and blue, green wins over blue.
  const __mmask16 redMax = static_cast<__mmask16>(
      ~(_mm512_cmpgt_epi32_mask(green, red) | _mm512_cmpgt_epi32_mask(blue, red)));
  const __mmask16 greenMax =
      static_cast<__mmask16>(~(redMax | _mm512_cmpgt_epi32_mask(blue, green)));
  const __m512i maximum = _mm512_max_epi32(red, _mm512_max_epi32(green, blue));
  const __m512i minimum = _mm512_min_epi32(red, _mm512_min_epi32(green, blue));
  __m512i code = _mm512_mask_blend_epi32(greenMax, _mm512_set1_epi32(5), _mm512_set1_epi32(3));
  code = _mm512_mask_blend_epi32(redMax, code, _mm512_set1_epi32(1));
  __m512i d =
      _mm512_mask_blend_epi32(greenMax, _mm512_sub_epi32(red, green), _mm512_sub_epi32(blue, red));
  d = _mm512_mask_blend_epi32(redMax, d, _mm512_sub_epi32(green, blue));

  const __m512i chroma = _mm512_sub_epi32(maximum, minimum);
  const __m512i lightness = _mm512_add_epi32(maximum, minimum);
  const __m512i factor = _mm512_set1_epi32(hue.factor);
  const __m512i scaled = _mm512_srai_epi32(
      _mm512_add_epi32(_mm512_mullo_epi32(chroma, factor), _mm512_set1_epi32(0x8000)), 16);
  const __m512i limit =
      _mm512_min_epi32(lightness, _mm512_sub_epi32(_mm512_set1_epi32(511), lightness));
  const __m512i newChroma = _mm512_min_epi32(scaled, limit);
  const __m512i low = _mm512_srai_epi32(_mm512_sub_epi32(lightness, newChroma), 1);
  const __m512i span =
      _mm512_sub_epi32(_mm512_srai_epi32(_mm512_add_epi32(newChroma, lightness), 1), low);
  // low and span lie in 0..255 (saturation -256..255): grey words by
  // copying byte 0 to bytes 1 and 2.
  const __m512i toGrey = _mm512_set4_epi32(0x800C0C0C, 0x80080808, 0x80040404, 0x80000000);
  const __m512i result = _mm512_shuffle_epi8(low, toGrey);

  const __mmask16 negative = _mm512_cmpgt_epi32_mask(_mm512_setzero_si512(), d);
  const __mmask16 coloured = _mm512_test_epi32_mask(chroma, chroma);
  const __m512i base = _mm512_add_epi32(code, _mm512_set1_epi32(hue.sectors));
  __m512i index = _mm512_mask_sub_epi32(base, negative, base, _mm512_set1_epi32(1));
  // The same exact quotient as the AVX2 form.
  const __m512 quotient =
      _mm512_div_ps(_mm512_set1_ps(static_cast<float>(0xFF0000)), _mm512_cvtepi32_ps(chroma));
  const __m512i reciprocal = _mm512_maskz_mov_epi32(coloured, _mm512_cvttps_epi32(quotient));
  const __m512i offset = _mm512_mask_add_epi32(d, negative, d, chroma);
  __m512i frac = _mm512_add_epi32(
      _mm512_srai_epi32(
          _mm512_add_epi32(_mm512_mullo_epi32(reciprocal, offset), _mm512_set1_epi32(0x8000)), 16),
      _mm512_set1_epi32(hue.fraction));
  const __mmask16 wraps = _mm512_cmpgt_epi32_mask(frac, _mm512_set1_epi32(254));
  frac = _mm512_mask_sub_epi32(frac, wraps, frac, _mm512_set1_epi32(255));
  index = _mm512_mask_add_epi32(index, wraps, index, _mm512_set1_epi32(1));
  const __mmask16 pastSix = _mm512_cmpgt_epi32_mask(index, _mm512_set1_epi32(5));
  index = _mm512_mask_sub_epi32(index, pastSix, index, _mm512_set1_epi32(6));

  const __m512i masks =
      _mm512_setr_epi32(kHueSectorMask[0], kHueSectorMask[1], kHueSectorMask[2], kHueSectorMask[3],
                        kHueSectorMask[4], kHueSectorMask[5], 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  // kHueSectorStep as shifts: falling (negative) in the even sectors.
  static_assert(kHueSectorStep[0] == -1 && kHueSectorStep[1] == 256 &&
                kHueSectorStep[2] == -65536 && kHueSectorStep[3] == 1 &&
                kHueSectorStep[4] == -256 && kHueSectorStep[5] == 65536);
  const __m512i shifts = _mm512_setr_epi32(0, 8, 16, 0, 8, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m512i mask = _mm512_permutexvar_epi32(index, masks);
  // span x frac (both 0..255) as a 16-bit multiply-add; the step, a power
  // of 256 with its sign, as a shift and a subtraction.
  const __m512i moved =
      _mm512_srai_epi32(_mm512_add_epi32(_mm512_madd_epi16(span, frac), _mm512_set1_epi32(128)), 8);
  const __m512i shifted = _mm512_sllv_epi32(moved, _mm512_permutexvar_epi32(index, shifts));
  const __mmask16 falling = _mm512_testn_epi32_mask(index, _mm512_set1_epi32(1));
  const __m512i withSign = _mm512_mask_sub_epi32(shifted, falling, _mm512_setzero_si512(), shifted);
  const __m512i colour =
      _mm512_add_epi32(_mm512_and_si512(_mm512_shuffle_epi8(span, toGrey), mask), withSign);
  return _mm512_mask_add_epi32(result, coloured, result, colour);
}

// Sixteen pixels a step. 3-byte pixels are spread to words and packed back
// with byte permutes; each step reads 64 bytes and writes 48 as a 32- and a
// 16-byte store (a masked store, or a store the next load overlaps, stalls
// the next step's load on some processors).
// Sixteen 3-byte pixels from 64 bytes read to 48 written.
PELNIK_AVX512 __attribute__((always_inline)) inline void hueStep3(const std::uint8_t *in,
                                                                  std::uint8_t *out, __m512i spread,
                                                                  __m512i pack,
                                                                  const HueSetting hue) {
  const __m512i words = _mm512_permutexvar_epi8(spread, _mm512_loadu_si512(in));
  const __m512i packed = _mm512_permutexvar_epi8(pack, hueWords512(words, hue));
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm512_castsi512_si256(packed));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 32), _mm512_extracti32x4_epi32(packed, 2));
}

PELNIK_AVX512 int hueRowAvx512(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
                               const HueRow &row) {
  const HueSetting hue(row);
  int x = 0;
  if (bpp == 3) {
    alignas(64) std::uint8_t spreadAt[64], packAt[64] = {};
    for (int j = 0; j < 16; ++j) {
      for (int c = 0; c < 4; ++c) {
        spreadAt[4 * j + c] = static_cast<std::uint8_t>(3 * j + (c < 3 ? c : 0));
      }
      for (int c = 0; c < 3; ++c) packAt[3 * j + c] = static_cast<std::uint8_t>(4 * j + c);
    }
    const __m512i spread = _mm512_load_si512(spreadAt);
    const __m512i pack = _mm512_load_si512(packAt);
    for (; x + 22 <= pixels; x += 16) hueStep3(src + 3 * x, dst + 3 * x, spread, pack, hue);
    // The last pixels of the row through a 64-byte copy.
    alignas(64) std::uint8_t in[64] = {}, out[64];
    for (; x < pixels; x += 16) {
      const int n = pixels - x < 16 ? pixels - x : 16;
      std::memcpy(in, src + 3 * x, static_cast<std::size_t>(3 * n));
      hueStep3(in, out, spread, pack, hue);
      std::memcpy(dst + 3 * x, out, static_cast<std::size_t>(3 * n));
    }
    return pixels;
  }
  const __m512i colourBytes = _mm512_set1_epi32(0xFFFFFF);
  // The fourth byte of dst keeps its value.
  const __mmask64 colourOnly = 0x7777777777777777ull;
  for (; x + 16 <= pixels; x += 16) {
    const __m512i words = _mm512_loadu_si512(src + 4 * x);
    const __m512i out = hueWords512(_mm512_and_si512(words, colourBytes), hue);
    const __m512i before = _mm512_loadu_si512(dst + 4 * x);
    _mm512_storeu_si512(dst + 4 * x, _mm512_mask_blend_epi8(colourOnly, before, out));
  }
  return x;
}

// 64 bytes a step: two two-register byte permutes cover the table's lower
// and upper 128 entries, the index's top bit picks between them.
PELNIK_AVX512 int tableAvx512_8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
                                const std::uint8_t *table) {
  const int bytes = pixels * bpp;
  const __m512i t0 = _mm512_loadu_si512(table);
  const __m512i t1 = _mm512_loadu_si512(table + 64);
  const __m512i t2 = _mm512_loadu_si512(table + 128);
  const __m512i t3 = _mm512_loadu_si512(table + 192);
  // Every fourth byte of a 4-byte pixel keeps its value.
  const __mmask64 keep = bpp == 4 ? 0x7777777777777777ull : ~0ull;
  int i = 0;
  for (; i + 64 <= bytes; i += 64) {
    const __m512i in = _mm512_loadu_si512(src + i);
    const __m512i lower = _mm512_permutex2var_epi8(t0, in, t1);
    const __m512i upper = _mm512_permutex2var_epi8(t2, in, t3);
    const __m512i out = _mm512_mask_blend_epi8(_mm512_movepi8_mask(in), lower, upper);
    if (bpp == 4) {
      // A blend with what dst holds, then a whole store: cheaper than a
      // masked store.
      _mm512_storeu_si512(dst + i, _mm512_mask_blend_epi8(keep, _mm512_loadu_si512(dst + i), out));
    } else {
      _mm512_storeu_si512(dst + i, out);
    }
  }
  return i;  // bytes done, a multiple of 64 (and of 4)
}

PELNIK_AVX512 int slideAvx512_8(std::uint16_t *sums, const std::uint8_t *add,
                                const std::uint8_t *sub, int count) {
  int k = 0;
  for (; k + 32 <= count; k += 32) {
    const __m512i a =
        _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(add + k)));
    const __m512i b =
        _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(sub + k)));
    _mm512_storeu_si512(sums + k,
                        _mm512_sub_epi16(_mm512_add_epi16(_mm512_loadu_si512(sums + k), a), b));
  }
  return k;
}

// sharpenAvx2_8 on 32 samples a step; the sign goes back on by a masked
// subtraction and the bytes are packed with one permute.
PELNIK_AVX512 int sharpenAvx512_8(std::uint8_t *dst, const std::uint8_t *orig,
                                  const std::uint16_t *sums, int first, int last, int bpp,
                                  int sharpness) {
  const __m512i s = _mm512_set1_epi16(static_cast<short>(sharpness));
  const __m512i tenth = _mm512_set1_epi16(6554);
  const __m512i lanes = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
  const __m256i spare =
      bpp == 4 ? _mm256_set1_epi32(static_cast<int>(0xFF000000u)) : _mm256_setzero_si256();
  int k = first;
  for (; k + 32 <= last; k += 32) {
    const __m512i box = _mm512_add_epi16(
        _mm512_add_epi16(_mm512_loadu_si512(sums + k - 2 * bpp),
                         _mm512_loadu_si512(sums + k - bpp)),
        _mm512_add_epi16(_mm512_loadu_si512(sums + k), _mm512_loadu_si512(sums + k + bpp)));
    const __m512i blur = _mm512_srli_epi16(box, 4);
    const __m512i original =
        _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(orig + k)));
    const __m512i t = _mm512_mullo_epi16(_mm512_sub_epi16(original, blur), s);
    const __m512i size = _mm512_mulhi_epu16(_mm512_abs_epi16(t), tenth);
    const __mmask32 negative = _mm512_movepi16_mask(t);
    const __m512i correction = _mm512_mask_sub_epi16(size, negative, _mm512_setzero_si512(), size);
    const __m512i value = _mm512_add_epi16(original, correction);
    const __m512i packed = _mm512_permutexvar_epi64(lanes, _mm512_packus_epi16(value, value));
    const __m256i out = _mm512_castsi512_si256(packed);
    __m256i *target = reinterpret_cast<__m256i *>(dst + k);
    _mm256_storeu_si256(target, _mm256_blendv_epi8(out, _mm256_loadu_si256(target), spare));
  }
  return k;
}

#pragma GCC diagnostic pop

// Four pixels a step: two 128-bit halves of two pixels each, shifted,
// held at 255 and packed to bytes.
__attribute__((target("avx2"))) int toHueViewAvx2_16(std::uint8_t *view, const std::uint8_t *src,
                                                     int pixels, int bpp, int down) {
  const __m128i count = _mm_cvtsi32_si128(down);
  const __m128i top = _mm_set1_epi16(255);
  // Two 6-byte pixels spread to 8 bytes each (the fourth sample zero).
  const __m128i spread = _mm_setr_epi8(0, 1, 2, 3, 4, 5, -1, -1, 6, 7, 8, 9, 10, 11, -1, -1);
  int x = 0;
  if (bpp == 8) {
    for (; x + 4 <= pixels; x += 4) {
      const std::uint8_t *at = src + 8 * x;
      const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
      const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 16));
      const __m128i bytes = _mm_packus_epi16(_mm_min_epu16(_mm_srl_epi16(first, count), top),
                                             _mm_min_epu16(_mm_srl_epi16(second, count), top));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(view + 4 * x), bytes);
    }
  } else if (bpp == 6) {
    // The second load reads four bytes past the fourth pixel.
    for (; x + 5 <= pixels; x += 4) {
      const std::uint8_t *at = src + 6 * x;
      const __m128i first =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)), spread);
      const __m128i second =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 12)), spread);
      const __m128i bytes = _mm_packus_epi16(_mm_min_epu16(_mm_srl_epi16(first, count), top),
                                             _mm_min_epu16(_mm_srl_epi16(second, count), top));
      _mm_storeu_si128(reinterpret_cast<__m128i *>(view + 4 * x), bytes);
    }
  }
  return x;
}

__attribute__((target("avx2"))) __m256i brighten8(__m128i bytes, __m256 factor) {
  const __m256 ceiling = _mm256_set1_ps(255.0f);
  const __m256i lo = _mm256_cvttps_epi32(_mm256_min_ps(
      _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes)), factor), ceiling));
  const __m256i hi = _mm256_cvttps_epi32(_mm256_min_ps(
      _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8))), factor),
      ceiling));
  return _mm256_permute4x64_epi64(_mm256_packus_epi32(lo, hi), 0xD8);
}

__attribute__((target("avx2"))) int brightenAvx2_8(std::uint8_t *dst, const std::uint8_t *src,
                                                   int pixels, int bpp, float factor) {
  const int bytes = pixels * bpp;
  const __m256 k = _mm256_set1_ps(factor);
  const __m128i spare =
      bpp == 4 ? _mm_set1_epi32(static_cast<int>(0xFF000000u)) : _mm_setzero_si128();
  int i = 0;
  for (; i + 16 <= bytes; i += 16) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
    const __m256i words = brighten8(in, k);
    const __m128i out =
        _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_blendv_epi8(out, in, spare));
  }
  return i;  // bytes done, a multiple of 16
}

__attribute__((target("avx2"))) int brightenAvx2_16(std::uint8_t *dst, const std::uint8_t *src,
                                                    int pixels, int bpp, float factor,
                                                    int maximum) {
  const int bytes = pixels * bpp;
  const __m256 k = _mm256_set1_ps(factor);
  const __m256 ceiling = _mm256_set1_ps(static_cast<float>(maximum));
  const __m128i spare = bpp == 8 ? _mm_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull))
                                 : _mm_setzero_si128();
  int i = 0;
  for (; i + 16 <= bytes; i += 16) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
    const __m256i values = _mm256_cvttps_epi32(
        _mm256_min_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(in)), k), ceiling));
    const __m128i out =
        _mm_packus_epi32(_mm256_castsi256_si128(values), _mm256_extracti128_si256(values, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_blendv_epi8(out, in, spare));
  }
  return i;  // bytes done, a multiple of 16
}

__attribute__((target("avx2"))) int slideAvx2_8(std::uint16_t *sums, const std::uint8_t *add,
                                                const std::uint8_t *sub, int count) {
  int k = 0;
  for (; k + 16 <= count; k += 16) {
    const __m256i a =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(add + k)));
    const __m256i s =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(sub + k)));
    __m256i *target = reinterpret_cast<__m256i *>(sums + k);
    _mm256_storeu_si256(target,
                        _mm256_sub_epi16(_mm256_add_epi16(_mm256_loadu_si256(target), a), s));
  }
  return k;
}

__attribute__((target("avx2"))) int sharpenAvx2_8(std::uint8_t *dst, const std::uint8_t *orig,
                                                  const std::uint16_t *sums, int first, int last,
                                                  int bpp, int sharpness) {
  const __m256i s = _mm256_set1_epi16(static_cast<short>(sharpness));
  // (|t| x 6554) >> 16 is |t| / 10 for every |t| <= 16388 (64 x 255).
  const __m256i tenth = _mm256_set1_epi16(6554);
  // The spare byte of a 4-byte pixel sits at every fourth byte; `first` is
  // a multiple of 4 (2 x bpp) so the pattern holds in every step.
  const __m128i spare =
      bpp == 4 ? _mm_set1_epi32(static_cast<int>(0xFF000000u)) : _mm_setzero_si128();
  int k = first;
  for (; k + 16 <= last; k += 16) {
    const __m256i *column = reinterpret_cast<const __m256i *>(sums + k);
    const __m256i farLeft =
        _mm256_loadu_si256(reinterpret_cast<const __m256i *>(sums + k - 2 * bpp));
    const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(sums + k - bpp));
    const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(sums + k + bpp));
    const __m256i box = _mm256_add_epi16(_mm256_add_epi16(farLeft, left),
                                         _mm256_add_epi16(_mm256_loadu_si256(column), right));
    const __m256i blur = _mm256_srli_epi16(box, 4);
    const __m256i original =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(orig + k)));
    const __m256i t = _mm256_mullo_epi16(_mm256_sub_epi16(original, blur), s);
    const __m256i correction = _mm256_sign_epi16(_mm256_mulhi_epu16(_mm256_abs_epi16(t), tenth), t);
    const __m256i value = _mm256_add_epi16(original, correction);
    const __m128i out =
        _mm_packus_epi16(_mm256_castsi256_si128(value), _mm256_extracti128_si256(value, 1));
    __m128i *target = reinterpret_cast<__m128i *>(dst + k);
    _mm_storeu_si128(target, _mm_blendv_epi8(out, _mm_loadu_si128(target), spare));
  }
  return k;
}

__attribute__((target("avx2"))) int loadClampedAvx2_16(std::int32_t *dst, const std::uint8_t *src,
                                                       int count, int maximum) {
  const __m256i top = _mm256_set1_epi32(maximum);
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256i v =
        _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 2 * k)));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + k), _mm256_min_epi32(v, top));
  }
  return k;
}

__attribute__((target("avx2"))) int slideAvx2_32(std::int32_t *sums, const std::int32_t *add,
                                                 const std::int32_t *sub, int count) {
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    __m256i *target = reinterpret_cast<__m256i *>(sums + k);
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(add + k));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(sub + k));
    _mm256_storeu_si256(target,
                        _mm256_add_epi32(_mm256_loadu_si256(target), _mm256_sub_epi32(a, b)));
  }
  return k;
}

__attribute__((target("avx2"))) int sharpenAvx2_16(std::uint8_t *dst, const std::int32_t *orig,
                                                   const std::int32_t *sums, int first, int last,
                                                   int samplesPerPixel, int sharpness,
                                                   int maximum) {
  const int p = samplesPerPixel;
  const __m256i s = _mm256_set1_epi32(sharpness);
  const __m256i top = _mm256_set1_epi32(maximum);
  // |s x (orig - blur)| < 2^21, so the single-precision quotient is never
  // within reach of the next integer: truncating it is the integer division.
  const __m256 ten = _mm256_set1_ps(10.0f);
  // Every fourth sample of a 4-sample pixel is spare; `first` is a multiple
  // of 4 (2 x p) so the pattern holds in every step.
  const __m128i spare =
      p == 4 ? _mm_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull)) : _mm_setzero_si128();
  int k = first;
  for (; k + 8 <= last; k += 8) {
    const __m256i farLeft = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(sums + k - 2 * p));
    const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(sums + k - p));
    const __m256i centre = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(sums + k));
    const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(sums + k + p));
    const __m256i blur = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_add_epi32(farLeft, left), _mm256_add_epi32(centre, right)), 4);
    const __m256i original = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(orig + k));
    const __m256i t = _mm256_mullo_epi32(_mm256_sub_epi32(original, blur), s);
    const __m256i correction = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(t), ten));
    const __m256i value = _mm256_min_epi32(
        _mm256_max_epi32(_mm256_add_epi32(original, correction), _mm256_setzero_si256()), top);
    const __m128i out =
        _mm_packus_epi32(_mm256_castsi256_si128(value), _mm256_extracti128_si256(value, 1));
    __m128i *target = reinterpret_cast<__m128i *>(dst + 2 * k);
    _mm_storeu_si128(target, _mm_blendv_epi8(out, _mm_loadu_si128(target), spare));
  }
  return k;
}

// 16-bit lanes, 16 samples a step; t / 10 (towards zero) for |t| < 2^15 is
// (t x 26215) >> 18 plus one for negative t.
__attribute__((target("avx2"))) int loadClampedAvx2_16Narrow(std::int16_t *dst,
                                                             const std::uint8_t *src, int count,
                                                             int maximum) {
  const __m256i top = _mm256_set1_epi16(static_cast<short>(maximum));
  int k = 0;
  for (; k + 16 <= count; k += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 2 * k));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + k), _mm256_min_epu16(v, top));
  }
  return k;
}

__attribute__((target("avx2"))) int slideAvx2_16(std::int16_t *sums, const std::int16_t *add,
                                                 const std::int16_t *sub, int count) {
  int k = 0;
  for (; k + 16 <= count; k += 16) {
    __m256i *target = reinterpret_cast<__m256i *>(sums + k);
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(add + k));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(sub + k));
    _mm256_storeu_si256(target,
                        _mm256_add_epi16(_mm256_loadu_si256(target), _mm256_sub_epi16(a, b)));
  }
  return k;
}

__attribute__((target("avx2"), always_inline)) inline __m256i at(const std::int16_t *base) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(base));
}

__attribute__((target("avx2"))) int sharpenAvx2_16Narrow(std::uint8_t *dst,
                                                         const std::int16_t *orig,
                                                         const std::int16_t *sums, int first,
                                                         int last, int samplesPerPixel,
                                                         int sharpness, int maximum) {
  const int p = samplesPerPixel;
  const __m256i s = _mm256_set1_epi16(static_cast<short>(sharpness));
  const __m256i top = _mm256_set1_epi16(static_cast<short>(maximum));
  const __m256i magic = _mm256_set1_epi16(26215);
  // Every fourth sample of a 4-sample pixel is spare; `first` (2 x p) keeps
  // the pattern in every step.
  const __m256i spare = p == 4 ? _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull))
                               : _mm256_setzero_si256();
  int k = first;
  for (; k + 16 <= last; k += 16) {
    const __m256i blur =
        _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(at(sums + k - 2 * p), at(sums + k - p)),
                                           _mm256_add_epi16(at(sums + k), at(sums + k + p))),
                          4);
    const __m256i original = at(orig + k);
    const __m256i t = _mm256_mullo_epi16(_mm256_sub_epi16(original, blur), s);
    const __m256i correction = _mm256_sub_epi16(_mm256_srai_epi16(_mm256_mulhi_epi16(t, magic), 2),
                                                _mm256_srai_epi16(t, 15));
    const __m256i value = _mm256_min_epi16(
        _mm256_max_epi16(_mm256_add_epi16(original, correction), _mm256_setzero_si256()), top);
    __m256i *target = reinterpret_cast<__m256i *>(dst + 2 * k);
    _mm256_storeu_si256(target, _mm256_blendv_epi8(value, _mm256_loadu_si256(target), spare));
  }
  return k;
}

#endif  // PELNIK_X86

bool useAvx2() { return vector_path::avx2(); }

}  // namespace

void hueRow8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, const HueRow &hue) {
  int done = 0;
#ifdef PELNIK_X86
  const int saturation = hue.scale->saturation();
  if (vector_path::avx512Vbmi() && saturation >= -256 && saturation <= 255) {
    done = hueRowAvx512(dst, src, pixels, bpp, hue);
  } else if (useAvx2()) {
    done = hueRowAvx2(dst, src, pixels, bpp, hue);
  }
#endif
  hueRowScalar(dst, src, done, pixels, bpp, hue);
}

void tableRow8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
               const std::uint8_t *table) {
  int bytesDone = 0;
#ifdef PELNIK_X86
  if (vector_path::avx512Vbmi()) bytesDone = tableAvx512_8(dst, src, pixels, bpp, table);
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
#ifdef PELNIK_X86
  if (useAvx2()) done = toHueViewAvx2_16(view, src, pixels, bpp, down);
#endif
  toHueViewScalar16(view, src, done, pixels, bpp, down);
}

void brightenRow8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, float factor) {
  int bytesDone = 0;
#ifdef PELNIK_X86
  if (useAvx2()) bytesDone = brightenAvx2_8(dst, src, pixels, bpp, factor);
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
#ifdef PELNIK_X86
  if (useAvx2()) bytesDone = brightenAvx2_16(dst, src, pixels, bpp, factor, maximum);
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
#ifdef PELNIK_X86
  if (vector_path::avx512Vbmi()) {
    done = slideAvx512_8(sums, add, sub, count);
  } else if (useAvx2()) {
    done = slideAvx2_8(sums, add, sub, count);
  }
#endif
  slideScalar8(sums, add, sub, done, count);
}

void sharpenRow8(std::uint8_t *dst, const std::uint8_t *orig, const std::uint16_t *sums, int first,
                 int last, int bpp, int sharpness) {
  int done = first;
#ifdef PELNIK_X86
  // The 16-bit lanes hold s x 255 and its tenth only up to s = 64; the
  // chain's range is 0..30.
  if (vector_path::avx512Vbmi() && sharpness >= 0 && sharpness <= 64) {
    done = sharpenAvx512_8(dst, orig, sums, first, last, bpp, sharpness);
  } else if (useAvx2() && sharpness >= 0 && sharpness <= 64) {
    done = sharpenAvx2_8(dst, orig, sums, first, last, bpp, sharpness);
  }
#endif
  sharpenScalar8(dst, orig, sums, done, last, bpp, sharpness);
}

void loadClampedRow16(std::int16_t *dst, const std::uint8_t *src, int count, int maximum) {
  int done = 0;
#ifdef PELNIK_X86
  if (useAvx2()) done = loadClampedAvx2_16Narrow(dst, src, count, maximum);
#endif
  loadClampedScalar16(dst, src, done, count, maximum);
}

void slideColumnSums16(std::int16_t *sums, const std::int16_t *add, const std::int16_t *sub,
                       int count) {
  int done = 0;
#ifdef PELNIK_X86
  if (useAvx2()) done = slideAvx2_16(sums, add, sub, count);
#endif
  slideScalar(sums, add, sub, done, count);
}

void sharpenRow16(std::uint8_t *dst, const std::int16_t *orig, const std::int16_t *sums, int first,
                  int last, int samplesPerPixel, int sharpness, int maximum) {
  int done = first;
#ifdef PELNIK_X86
  if (useAvx2() && sharpness >= 0 && sharpness <= 30 && maximum <= 1023) {
    done = sharpenAvx2_16Narrow(dst, orig, sums, first, last, samplesPerPixel, sharpness, maximum);
  }
#endif
  sharpenScalar16(dst, orig, sums, done, last, samplesPerPixel, sharpness, maximum);
}

void loadClampedRow16(std::int32_t *dst, const std::uint8_t *src, int count, int maximum) {
  int done = 0;
#ifdef PELNIK_X86
  if (useAvx2()) done = loadClampedAvx2_16(dst, src, count, maximum);
#endif
  loadClampedScalar16(dst, src, done, count, maximum);
}

void slideColumnSums32(std::int32_t *sums, const std::int32_t *add, const std::int32_t *sub,
                       int count) {
  int done = 0;
#ifdef PELNIK_X86
  if (useAvx2()) done = slideAvx2_32(sums, add, sub, count);
#endif
  slideScalar(sums, add, sub, done, count);
}

void sharpenRow16(std::uint8_t *dst, const std::int32_t *orig, const std::int32_t *sums, int first,
                  int last, int samplesPerPixel, int sharpness, int maximum) {
  int done = first;
#ifdef PELNIK_X86
  // Exact while |s x (orig - blur)| stays below 2^21: s up to 30 at 16 bits.
  if (useAvx2() && sharpness >= 0 && sharpness <= 30) {
    done = sharpenAvx2_16(dst, orig, sums, first, last, samplesPerPixel, sharpness, maximum);
  }
#endif
  sharpenScalar16(dst, orig, sums, done, last, samplesPerPixel, sharpness, maximum);
}

}  // namespace pelnik::simd
