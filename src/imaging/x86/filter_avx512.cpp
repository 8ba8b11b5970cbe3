// The AVX-512 forms of the filter rows, on the 512-bit foundation, byte and
// word lanes and byte permutes; compiled with those flags (CMakeLists.txt).
#include <immintrin.h>

#include <cstring>

#include "imaging/filter_vector_forms.h"

namespace pelnik::filter_vector::x86 {

// GCC 12's 512-bit intrinsics pass an undefined register as the unused
// merge source, which its own uninitialised-use check flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// hueWords in sixteen lanes: the same steps, with mask registers for the
// choices.
__attribute__((always_inline)) static inline __m512i hueWords512(__m512i word,
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
      _mm512_setr_epi32(kSectorMask[0], kSectorMask[1], kSectorMask[2], kSectorMask[3],
                        kSectorMask[4], kSectorMask[5], 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
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
__attribute__((always_inline)) static inline void hueStep3(const std::uint8_t *in,
                                                           std::uint8_t *out, __m512i spread,
                                                           __m512i pack, const HueSetting hue) {
  const __m512i words = _mm512_permutexvar_epi8(spread, _mm512_loadu_si512(in));
  const __m512i packed = _mm512_permutexvar_epi8(pack, hueWords512(words, hue));
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm512_castsi512_si256(packed));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 32), _mm512_extracti32x4_epi32(packed, 2));
}

int hueRowAvx512(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
                 const HueSetting &setting) {
  // A copy: stores through the byte pointers could alias the caller's.
  const HueSetting hue = setting;
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
int tableAvx512_8(std::uint8_t *dst, const std::uint8_t *src, int pixels, int bpp,
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

int slideAvx512_8(std::uint16_t *sums, const std::uint8_t *add, const std::uint8_t *sub,
                  int count) {
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
int sharpenAvx512_8(std::uint8_t *dst, const std::uint8_t *orig, const std::uint16_t *sums,
                    int first, int last, int bpp, int sharpness) {
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

}  // namespace pelnik::filter_vector::x86
