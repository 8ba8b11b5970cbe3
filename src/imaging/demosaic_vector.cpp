// Vector path of the 8-bit demosaic rows, 32 pixels a step (AVX2, when
// vector_path says so; otherwise the scalar rows run). Each 16-bit lane holds a
// pair of neighbouring columns, split into its even and odd byte, so every
// colour sits at a fixed parity: the colour of the even columns is 3 V(k)
// plus V(k - 1) or V(k + 1) of its vertical sums V (3 x near + far), the
// colour of the odd columns 3 V(k - 1) + V(k) or 3 V(k) + V(k - 1), and
// green the mean of a fixed even and a shifted odd sample. The gain is one
// high-half multiply by factor x 32, equal to (sum x factor) >> 11 while
// factor x 32 fits 16 bits.
#include "imaging/demosaic_rows.h"
#include "imaging/vector_path.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <array>

#define PELNIK_AVX2 __attribute__((target("avx2")))
#define PELNIK_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace pelnik::demosaic_rows {

namespace {

using ShuffleMask = std::array<std::uint8_t, 16>;

// Byte shuffles that spread 16 blue, green and red bytes over 48 bytes of
// blue-green-red pixels: mask [register][channel].
constexpr std::array<std::array<ShuffleMask, 3>, 3> interleaveMasks() {
  std::array<std::array<ShuffleMask, 3>, 3> masks{};
  for (int reg = 0; reg < 3; ++reg) {
    for (int channel = 0; channel < 3; ++channel) {
      for (int i = 0; i < 16; ++i) {
        const int p = reg * 16 + i;
        masks[reg][channel][i] = p % 3 == channel ? static_cast<std::uint8_t>(p / 3) : 0x80;
      }
    }
  }
  return masks;
}
constexpr auto kInterleave = interleaveMasks();

constexpr int kLargestVectorFactor = 2047;  // factor x 32 must fit 16 bits
constexpr int kStep = 32;                   // pixels per step

PELNIK_AVX2_INLINE __m256i load32(const std::uint8_t *p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}
PELNIK_AVX2_INLINE __m256i evenBytes(__m256i v) {
  return _mm256_and_si256(v, _mm256_set1_epi16(0x00FF));
}
PELNIK_AVX2_INLINE __m256i oddBytes(__m256i v) { return _mm256_srli_epi16(v, 8); }
// 3 x near + far.
PELNIK_AVX2_INLINE __m256i threePlus(__m256i nearValue, __m256i farValue) {
  return _mm256_add_epi16(_mm256_add_epi16(nearValue, _mm256_slli_epi16(nearValue, 1)), farValue);
}
// Lane k - 1 and lane k + 1 of a sequence of registers.
PELNIK_AVX2_INLINE __m256i previousLane(__m256i current, __m256i before) {
  return _mm256_alignr_epi8(current, _mm256_permute2x128_si256(before, current, 0x21), 14);
}
PELNIK_AVX2_INLINE __m256i nextLane(__m256i after, __m256i current) {
  return _mm256_alignr_epi8(_mm256_permute2x128_si256(current, after, 0x21), current, 2);
}
// Lane 0 moved to lane 15 (the rest zero), and lane 15 to lane 0.
PELNIK_AVX2_INLINE __m256i firstToLast(__m256i v) {
  return _mm256_slli_si256(_mm256_permute2x128_si256(v, v, 0x08), 14);
}
PELNIK_AVX2_INLINE __m256i lastToFirst(__m256i v) {
  return _mm256_srli_si256(_mm256_permute2x128_si256(v, v, 0x81), 14);
}

// Sixteen column pairs starting at one even-phase column.
struct Pairs {
  __m256i evenSum;       // vertical sums of the colour on even columns
  __m256i oddSum;        // and of the colour on odd columns
  __m256i greenFixed;    // green sample used at lane k
  __m256i greenShifted;  // green sample used at lanes k - 1 and k
};

struct VectorRow {
  const std::uint8_t *evenNear, *evenFar, *oddNear, *oddFar, *greenFixed, *greenShifted;
  int evenFactor32, oddFactor32;
  bool redIsEven;

  PELNIK_AVX2_INLINE Pairs at(int x) const {
    return Pairs{threePlus(evenBytes(load32(evenNear + x)), evenBytes(load32(evenFar + x))),
                 threePlus(oddBytes(load32(oddNear + x)), oddBytes(load32(oddFar + x))),
                 evenBytes(load32(greenFixed + x)), oddBytes(load32(greenShifted + x))};
  }
  // Of the pairs before x only the top lane is used, of those after the
  // step only the bottom one; both come from loads inside x - 2 .. x + 33.
  PELNIK_AVX2_INLINE Pairs before(int x) const {
    const Pairs p = at(x - 2);
    return Pairs{firstToLast(p.evenSum), firstToLast(p.oddSum), firstToLast(p.greenFixed),
                 firstToLast(p.greenShifted)};
  }
  PELNIK_AVX2_INLINE Pairs after(int x) const {
    const Pairs p = at(x + 2);
    return Pairs{lastToFirst(p.evenSum), lastToFirst(p.oddSum), lastToFirst(p.greenFixed),
                 lastToFirst(p.greenShifted)};
  }
};

PELNIK_AVX2_INLINE __m256i interleavePairs(__m256i evenValues, __m256i oddValues) {
  const __m256i top = _mm256_set1_epi16(255);
  return _mm256_or_si256(_mm256_min_epi16(evenValues, top),
                         _mm256_slli_epi16(_mm256_min_epi16(oddValues, top), 8));
}

PELNIK_AVX2_INLINE __m128i shuffleMask(int reg, int channel) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(kInterleave[reg][channel].data()));
}

// Sixteen pixels of blue, green and red bytes as 48 bytes.
PELNIK_AVX2_INLINE void store24(std::uint8_t *out, __m128i b, __m128i g, __m128i r) {
  for (int reg = 0; reg < 3; ++reg) {
    const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, shuffleMask(reg, 0)),
                                                    _mm_shuffle_epi8(g, shuffleMask(reg, 1))),
                                       _mm_shuffle_epi8(r, shuffleMask(reg, 2)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + reg * 16), bytes);
  }
}

// Sixteen pixels as 64 bytes; the fourth byte of each keeps what it held.
PELNIK_AVX2_INLINE void store32(std::uint8_t *out, __m128i b, __m128i g, __m128i r) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i blueGreenLow = _mm_unpacklo_epi8(b, g), blueGreenHigh = _mm_unpackhi_epi8(b, g);
  const __m128i redLow = _mm_unpacklo_epi8(r, zero), redHigh = _mm_unpackhi_epi8(r, zero);
  const __m128i pixels[4] = {
      _mm_unpacklo_epi16(blueGreenLow, redLow), _mm_unpackhi_epi16(blueGreenLow, redLow),
      _mm_unpacklo_epi16(blueGreenHigh, redHigh), _mm_unpackhi_epi16(blueGreenHigh, redHigh)};
  for (int i = 0; i < 4; ++i) {
    auto *at = reinterpret_cast<__m128i *>(out + i * 16);
    const __m128i old = _mm_loadu_si128(at);
    _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(old, keep), pixels[i]));
  }
}

PELNIK_AVX2_INLINE void step(const VectorRow &v, const RowJob &j, int x, const Pairs &previous,
                             const Pairs &current, const Pairs &next) {
  const __m256i evenTriple =
      _mm256_add_epi16(current.evenSum, _mm256_slli_epi16(current.evenSum, 1));
  const __m256i evenOnEven =
      _mm256_add_epi16(evenTriple, previousLane(current.evenSum, previous.evenSum));
  const __m256i evenOnOdd = _mm256_add_epi16(evenTriple, nextLane(next.evenSum, current.evenSum));
  const __m256i oddBefore = previousLane(current.oddSum, previous.oddSum);
  const __m256i oddOnEven = threePlus(oddBefore, current.oddSum);
  const __m256i oddOnOdd = threePlus(current.oddSum, oddBefore);
  const __m256i greenBefore = previousLane(current.greenShifted, previous.greenShifted);
  const __m256i greenOnEven =
      _mm256_srli_epi16(_mm256_add_epi16(current.greenFixed, greenBefore), 1);
  const __m256i greenOnOdd =
      _mm256_srli_epi16(_mm256_add_epi16(current.greenFixed, current.greenShifted), 1);

  const __m256i evenFactor = _mm256_set1_epi16(static_cast<short>(v.evenFactor32));
  const __m256i oddFactor = _mm256_set1_epi16(static_cast<short>(v.oddFactor32));
  const __m256i evenColour = interleavePairs(_mm256_mulhi_epu16(evenOnEven, evenFactor),
                                             _mm256_mulhi_epu16(evenOnOdd, evenFactor));
  const __m256i oddColour = interleavePairs(_mm256_mulhi_epu16(oddOnEven, oddFactor),
                                            _mm256_mulhi_epu16(oddOnOdd, oddFactor));
  const __m256i green = _mm256_or_si256(greenOnEven, _mm256_slli_epi16(greenOnOdd, 8));
  const __m256i red = v.redIsEven ? evenColour : oddColour;
  const __m256i blue = v.redIsEven ? oddColour : evenColour;
  std::uint8_t *out = j.out + static_cast<std::ptrdiff_t>(x) * j.dstBpp;
  for (int half = 0; half < 2; ++half) {
    const __m128i b = half ? _mm256_extracti128_si256(blue, 1) : _mm256_castsi256_si128(blue);
    const __m128i g = half ? _mm256_extracti128_si256(green, 1) : _mm256_castsi256_si128(green);
    const __m128i r = half ? _mm256_extracti128_si256(red, 1) : _mm256_castsi256_si128(red);
    std::uint8_t *at = out + half * 16 * j.dstBpp;
    if (j.dstBpp == 3) {
      store24(at, b, g, r);
    } else {
      store32(at, b, g, r);
    }
  }
}

PELNIK_AVX2 int runAvx2(const RowJob &j) {
  const bool rowFlag = j.rowFlag != 0;
  const std::uint8_t *redNear = rowFlag ? j.rows.row : j.rows.above1;
  const std::uint8_t *redFar = rowFlag ? j.rows.above2 : j.rows.below1;
  const std::uint8_t *blueNear = rowFlag ? j.rows.above1 : j.rows.row;
  const std::uint8_t *blueFar = rowFlag ? j.rows.below1 : j.rows.above2;
  VectorRow v;
  // Red lies on the columns whose flag is 0.
  v.redIsEven = j.firstColumnFlag == 0;
  v.evenNear = v.redIsEven ? redNear : blueNear;
  v.evenFar = v.redIsEven ? redFar : blueFar;
  v.oddNear = v.redIsEven ? blueNear : redNear;
  v.oddFar = v.redIsEven ? blueFar : redFar;
  // Green pairs (x, y) with (x - 1, y - 1) where the flags agree, else
  // (x - 1, y) with (x, y - 1): the even one stays, the odd one shifts.
  const bool flagsAgreeOnEven = j.rowFlag == j.firstColumnFlag;
  v.greenFixed = flagsAgreeOnEven ? j.rows.row : j.rows.above1;
  v.greenShifted = flagsAgreeOnEven ? j.rows.above1 : j.rows.row;
  v.evenFactor32 = (v.redIsEven ? j.redFactor : j.blueFactor) * 32;
  v.oddFactor32 = (v.redIsEven ? j.blueFactor : j.redFactor) * 32;

  int x = j.xBegin;
  if (x + kStep > j.xEnd) return x;
  Pairs previous = v.before(x);
  Pairs current = v.at(x);
  for (; x + 2 * kStep <= j.xEnd; x += kStep) {
    const Pairs next = v.at(x + kStep);
    step(v, j, x, previous, current, next);
    previous = current;
    current = next;
  }
  step(v, j, x, previous, current, v.after(x));
  x += kStep;
  // The last step, moved back to end at the span's end (by an even number
  // of columns, to keep the lane parity) and rewriting some pixels with the
  // same values; at most one column is left to the scalar code.
  const int last = j.xEnd - kStep - ((j.xEnd - kStep - j.xBegin) & 1);
  if (x < j.xEnd && last > j.xBegin) {
    step(v, j, last, v.before(last), v.at(last), v.after(last));
    x = last + kStep;
  }
  return x;
}

}  // namespace

int runVector8(const RowJob &j) {
  if (!vector_path::avx2() || (j.dstBpp != 3 && j.dstBpp != 4) ||
      j.redFactor > kLargestVectorFactor || j.blueFactor > kLargestVectorFactor) {
    return j.xBegin;
  }
  return runAvx2(j);
}

}  // namespace pelnik::demosaic_rows

#else

namespace pelnik::demosaic_rows {
int runVector8(const RowJob &j) { return j.xBegin; }
}  // namespace pelnik::demosaic_rows

#endif
