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
#include <cstring>

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

// --- 16-bit samples ------------------------------------------------------------
// Sixteen pixels a step in 16-bit lanes, every colour computed at every
// lane from shifted loads and the one of the lane's column flag kept.
// Exact while the samples hold 10 bits (a sum is at most 16 x 1023); a
// step that finds a larger sample leaves the rest of the row to the
// scalar code.

constexpr int kWideStep = 16;

struct WideRows {
  const std::uint8_t *redNear, *redFar, *blueNear, *blueFar, *row, *above;
};

PELNIK_AVX2_INLINE __m256i load16At(const std::uint8_t *row, int x) {
  return _mm256_loadu_si256(
      reinterpret_cast<const __m256i *>(row + 2 * static_cast<std::ptrdiff_t>(x)));
}

PELNIK_AVX2_INLINE __m256i lowHalf(__m256i v) {
  return _mm256_cvtepu16_epi32(_mm256_castsi256_si128(v));
}
PELNIK_AVX2_INLINE __m256i highHalf(__m256i v) {
  return _mm256_cvtepu16_epi32(_mm256_extracti128_si256(v, 1));
}

// Eight pixels of blue, green and red in 32-bit lanes as 6- or 8-byte
// pixels; the fourth sample of an 8-byte pixel keeps what it held.
PELNIK_AVX2_INLINE void storeWide(std::uint8_t *out, int dstBpp, __m256i b, __m256i g, __m256i r) {
  const __m256i low = _mm256_or_si256(b, _mm256_slli_epi32(g, 16));
  const __m256i pairsLow = _mm256_unpacklo_epi32(low, r);   // pixels 0, 1 | 4, 5
  const __m256i pairsHigh = _mm256_unpackhi_epi32(low, r);  // pixels 2, 3 | 6, 7
  const __m256i first = _mm256_permute2x128_si256(pairsLow, pairsHigh, 0x20);
  const __m256i second = _mm256_permute2x128_si256(pairsLow, pairsHigh, 0x31);
  if (dstBpp == 8) {
    const __m256i keep = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull));
    for (int half = 0; half < 2; ++half) {
      auto *at = reinterpret_cast<__m256i *>(out + half * 32);
      const __m256i old = _mm256_loadu_si256(at);
      _mm256_storeu_si256(at, _mm256_or_si256(_mm256_and_si256(old, keep), half ? second : first));
    }
    return;
  }
  // Two pixels of each 16 bytes squeezed to 12.
  const __m256i squeeze = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1,
                                           0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1);
  const __m256i a = _mm256_shuffle_epi8(first, squeeze);
  const __m256i c = _mm256_shuffle_epi8(second, squeeze);
  const __m128i parts[4] = {_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1),
                            _mm256_castsi256_si128(c), _mm256_extracti128_si256(c, 1)};
  // Each 16-byte store's last four bytes are overwritten by the next; the
  // last part is stored as 8 + 4 bytes to stay inside the eight pixels.
  for (int i = 0; i < 3; ++i) _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 12 * i), parts[i]);
  _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 36), parts[3]);
  const int lastWord = _mm_extract_epi32(parts[3], 2);
  std::memcpy(out + 44, &lastWord, 4);
}

// One step at x; false (nothing written) when a sample exceeds 10 bits.
PELNIK_AVX2_INLINE bool wideStep(const WideRows &w, const RowJob &j, int x, __m256i flagOne,
                                 __m256i greenAgrees) {
  const __m256i redNear[4] = {load16At(w.redNear, x - 2), load16At(w.redNear, x - 1),
                              load16At(w.redNear, x), load16At(w.redNear, x + 1)};
  const __m256i redFar[4] = {load16At(w.redFar, x - 2), load16At(w.redFar, x - 1),
                             load16At(w.redFar, x), load16At(w.redFar, x + 1)};
  const __m256i blueNear[4] = {load16At(w.blueNear, x - 2), load16At(w.blueNear, x - 1),
                               load16At(w.blueNear, x), load16At(w.blueNear, x + 1)};
  const __m256i blueFar[4] = {load16At(w.blueFar, x - 2), load16At(w.blueFar, x - 1),
                              load16At(w.blueFar, x), load16At(w.blueFar, x + 1)};
  // The four rows at x - 2 .. x + 1 hold every sample read, green included.
  __m256i any = _mm256_setzero_si256();
  for (int k = 0; k < 4; ++k) {
    any = _mm256_or_si256(any, _mm256_or_si256(_mm256_or_si256(redNear[k], redFar[k]),
                                               _mm256_or_si256(blueNear[k], blueFar[k])));
  }
  if (!_mm256_testz_si256(any, _mm256_set1_epi16(static_cast<short>(0xFC00)))) return false;

  __m256i red[4], blue[4];  // vertical sums at x - 2 .. x + 1
  for (int k = 0; k < 4; ++k) {
    red[k] = threePlus(redNear[k], redFar[k]);
    blue[k] = threePlus(blueNear[k], blueFar[k]);
  }
  // Column flag 0: red 3 V(0) + V(-2), blue 3 V(-1) + V(1); flag 1 the other way round.
  const __m256i redSum =
      _mm256_blendv_epi8(threePlus(red[2], red[0]), threePlus(red[1], red[3]), flagOne);
  const __m256i blueSum =
      _mm256_blendv_epi8(threePlus(blue[1], blue[3]), threePlus(blue[2], blue[0]), flagOne);
  // The row and the one above are among the four loaded rows.
  const __m256i rowHere = load16At(w.row, x), rowBefore = load16At(w.row, x - 1);
  const __m256i aboveHere = load16At(w.above, x), aboveBefore = load16At(w.above, x - 1);
  const __m256i green =
      _mm256_srli_epi16(_mm256_blendv_epi8(_mm256_add_epi16(rowBefore, aboveHere),
                                           _mm256_add_epi16(rowHere, aboveBefore), greenAgrees),
                        1);
  const __m256i top = _mm256_set1_epi16(1023);
  const __m256i redOut = _mm256_min_epu16(
      _mm256_mulhi_epu16(redSum, _mm256_set1_epi16(static_cast<short>(j.redFactor * 32))), top);
  const __m256i blueOut = _mm256_min_epu16(
      _mm256_mulhi_epu16(blueSum, _mm256_set1_epi16(static_cast<short>(j.blueFactor * 32))), top);

  std::uint8_t *out = j.out + static_cast<std::ptrdiff_t>(x) * j.dstBpp;
  storeWide(out, j.dstBpp, lowHalf(blueOut), lowHalf(green), lowHalf(redOut));
  storeWide(out + 8 * j.dstBpp, j.dstBpp, highHalf(blueOut), highHalf(green), highHalf(redOut));
  return true;
}

PELNIK_AVX2 int runAvx2Wide(const RowJob &j) {
  const ColourRows r = ColourRows::of(j.rows, j.rowFlag);
  const WideRows w{r.redNear, r.redFar, r.blueNear, r.blueFar, r.row, r.above};
  // Lanes whose column flag is 1 (steps move by an even number of columns),
  // and those where green pairs (x, y) with (x - 1, y - 1).
  const __m256i oddLanes = _mm256_set1_epi32(static_cast<int>(0xFFFF0000u));
  const __m256i flagOne =
      j.firstColumnFlag ? _mm256_xor_si256(oddLanes, _mm256_set1_epi32(-1)) : oddLanes;
  const __m256i greenAgrees =
      j.rowFlag ? flagOne : _mm256_xor_si256(flagOne, _mm256_set1_epi32(-1));
  int x = j.xBegin;
  for (; x + kWideStep <= j.xEnd; x += kWideStep) {
    if (!wideStep(w, j, x, flagOne, greenAgrees)) return x;
  }
  // The last step moved back to end at the span's end by an even number of
  // columns, rewriting some pixels with the same values.
  const int last = j.xEnd - kWideStep - ((j.xEnd - kWideStep - j.xBegin) & 1);
  if (x < j.xEnd && last > j.xBegin && wideStep(w, j, last, flagOne, greenAgrees)) {
    x = last + kWideStep;
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

int runVector16(const RowJob &j) {
  if (!vector_path::avx2() || (j.dstBpp != 6 && j.dstBpp != 8) ||
      j.redFactor > kLargestVectorFactor || j.blueFactor > kLargestVectorFactor) {
    return j.xBegin;
  }
  return runAvx2Wide(j);
}

}  // namespace pelnik::demosaic_rows

#else

namespace pelnik::demosaic_rows {
int runVector8(const RowJob &j) { return j.xBegin; }
int runVector16(const RowJob &j) { return j.xBegin; }
}  // namespace pelnik::demosaic_rows

#endif
