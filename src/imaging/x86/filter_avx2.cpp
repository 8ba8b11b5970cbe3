// The AVX2 forms of the filter rows; compiled with -mavx2 (CMakeLists.txt).
#include <immintrin.h>

#include <cstring>

#include "imaging/filter_vector_forms.h"

namespace pelnik::filter_vector::x86 {

static __m256i hueWords(__m256i word, const HueSetting &hue) {
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
  const __m256i factor = _mm256_set1_epi32(hue.factor);
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
      _mm256_add_epi32(_mm256_add_epi32(code, negative), _mm256_set1_epi32(hue.sectors));
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
      _mm256_set1_epi32(hue.fraction));
  const __m256i wraps = _mm256_cmpgt_epi32(frac, _mm256_set1_epi32(254));
  frac = _mm256_sub_epi32(frac, _mm256_and_si256(wraps, _mm256_set1_epi32(255)));
  index = _mm256_sub_epi32(index, wraps);
  const __m256i pastSix = _mm256_cmpgt_epi32(index, _mm256_set1_epi32(5));
  index = _mm256_sub_epi32(index, _mm256_and_si256(pastSix, _mm256_set1_epi32(6)));

  const __m256i masks = _mm256_setr_epi32(kSectorMask[0], kSectorMask[1], kSectorMask[2],
                                          kSectorMask[3], kSectorMask[4], kSectorMask[5], 0, 0);
  const __m256i steps = _mm256_setr_epi32(kSectorStep[0], kSectorStep[1], kSectorStep[2],
                                          kSectorStep[3], kSectorStep[4], kSectorStep[5], 0, 0);
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

int hueRowAvx2(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
               const HueSetting &hue) {
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

// Four pixels a step: two 128-bit halves of two pixels each, shifted,
// held at 255 and packed to bytes.
int toHueViewAvx2_16(std::uint8_t *view, const std::uint8_t *src, int pixels, int bpp, int down) {
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

static __m256i brighten8(__m128i bytes, __m256 factor) {
  const __m256 ceiling = _mm256_set1_ps(255.0f);
  const __m256i lo = _mm256_cvttps_epi32(_mm256_min_ps(
      _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes)), factor), ceiling));
  const __m256i hi = _mm256_cvttps_epi32(_mm256_min_ps(
      _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8))), factor),
      ceiling));
  return _mm256_permute4x64_epi64(_mm256_packus_epi32(lo, hi), 0xD8);
}

int brightenAvx2_8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, float factor) {
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

int brightenAvx2_16(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp, float factor,
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

int slideAvx2_8(std::uint16_t *sums, const std::uint8_t *add, const std::uint8_t *sub, int count) {
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

int sharpenAvx2_8(std::uint8_t *dst, const std::uint8_t *orig, const std::uint16_t *sums, int first,
                  int last, int bpp, int sharpness) {
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

int loadClampedAvx2_16(std::int32_t *dst, const std::uint8_t *src, int count, int maximum) {
  const __m256i top = _mm256_set1_epi32(maximum);
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256i v =
        _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 2 * k)));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + k), _mm256_min_epi32(v, top));
  }
  return k;
}

int slideAvx2_32(std::int32_t *sums, const std::int32_t *add, const std::int32_t *sub, int count) {
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

int sharpenAvx2_16(std::uint8_t *dst, const std::int32_t *orig, const std::int32_t *sums, int first,
                   int last, int samplesPerPixel, int sharpness, int maximum) {
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
int loadClampedAvx2_16Narrow(std::int16_t *dst, const std::uint8_t *src, int count, int maximum) {
  const __m256i top = _mm256_set1_epi16(static_cast<short>(maximum));
  int k = 0;
  for (; k + 16 <= count; k += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 2 * k));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + k), _mm256_min_epu16(v, top));
  }
  return k;
}

int slideAvx2_16(std::int16_t *sums, const std::int16_t *add, const std::int16_t *sub, int count) {
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

__attribute__((always_inline)) static inline __m256i at(const std::int16_t *base) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(base));
}

int sharpenAvx2_16Narrow(std::uint8_t *dst, const std::int16_t *orig, const std::int16_t *sums,
                         int first, int last, int samplesPerPixel, int sharpness, int maximum) {
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

}  // namespace pelnik::filter_vector::x86
