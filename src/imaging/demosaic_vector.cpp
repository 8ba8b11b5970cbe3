// Vector path of the 8-bit demosaic rows, 16 pixels a step. Each 16-bit
// lane holds a pair of neighbouring columns, split into its even and odd
// byte, so every colour sits at a fixed parity: the colour of the even
// columns is 3 V(k) plus V(k - 1) or V(k + 1) of its vertical sums V
// (3 x near + far), the colour of the odd columns 3 V(k - 1) + V(k) or
// 3 V(k) + V(k - 1), and green the mean of a fixed even and a shifted odd
// sample. The gain is one high-half multiply by factor x 32, equal to
// (sum x factor) >> 11 while factor x 32 fits 16 bits.
#include "imaging/demosaic_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <array>

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

__attribute__((target("ssse3"))) inline __m128i load16(const std::uint8_t *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}
__attribute__((target("ssse3"))) inline __m128i evenBytes(__m128i v) {
  return _mm_and_si128(v, _mm_set1_epi16(0x00FF));
}
__attribute__((target("ssse3"))) inline __m128i oddBytes(__m128i v) {
  return _mm_srli_epi16(v, 8);
}
// 3 x near + far.
__attribute__((target("ssse3"))) inline __m128i threePlus(__m128i nearValue, __m128i farValue) {
  return _mm_add_epi16(_mm_add_epi16(nearValue, _mm_slli_epi16(nearValue, 1)), farValue);
}
// Lane k - 1 and k + 1 of a sequence of registers.
__attribute__((target("ssse3"))) inline __m128i previousLane(__m128i current, __m128i before) {
  return _mm_alignr_epi8(current, before, 14);
}
__attribute__((target("ssse3"))) inline __m128i nextLane(__m128i after, __m128i current) {
  return _mm_alignr_epi8(after, current, 2);
}

// Eight column pairs starting at one even-phase column.
struct Pairs {
  __m128i evenSum;  // vertical sums of the colour on even columns
  __m128i oddSum;   // and of the colour on odd columns
  __m128i greenFixed;    // green sample used at lane k
  __m128i greenShifted;  // green sample used at lanes k - 1 and k
};

struct VectorRow {
  const std::uint8_t *evenNear, *evenFar, *oddNear, *oddFar, *greenFixed, *greenShifted;
  __m128i evenFactor32, oddFactor32;
  bool redIsEven;

  __attribute__((target("ssse3"))) Pairs at(int x) const {
    return Pairs{threePlus(evenBytes(load16(evenNear + x)), evenBytes(load16(evenFar + x))),
                 threePlus(oddBytes(load16(oddNear + x)), oddBytes(load16(oddFar + x))),
                 evenBytes(load16(greenFixed + x)), oddBytes(load16(greenShifted + x))};
  }
};

__attribute__((target("ssse3"))) inline __m128i interleavePairs(__m128i evenValues,
                                                                __m128i oddValues) {
  const __m128i top = _mm_set1_epi16(255);
  return _mm_or_si128(_mm_min_epi16(evenValues, top),
                      _mm_slli_epi16(_mm_min_epi16(oddValues, top), 8));
}

__attribute__((target("ssse3"))) inline __m128i shuffleMask(int reg, int channel) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(kInterleave[reg][channel].data()));
}

__attribute__((target("ssse3"))) void store24(std::uint8_t *out, __m128i b, __m128i g,
                                              __m128i r) {
  for (int reg = 0; reg < 3; ++reg) {
    const __m128i bytes = _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(b, shuffleMask(reg, 0)), _mm_shuffle_epi8(g, shuffleMask(reg, 1))),
        _mm_shuffle_epi8(r, shuffleMask(reg, 2)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + reg * 16), bytes);
  }
}

// The fourth byte of each pixel keeps what it held.
__attribute__((target("ssse3"))) void store32(std::uint8_t *out, __m128i b, __m128i g,
                                              __m128i r) {
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

__attribute__((target("ssse3"))) void step(const VectorRow &v, const RowJob &j, int x,
                                           const Pairs &previous, const Pairs &current,
                                           const Pairs &next) {
  const __m128i evenTriple = _mm_add_epi16(current.evenSum, _mm_slli_epi16(current.evenSum, 1));
  const __m128i evenOnEven =
      _mm_add_epi16(evenTriple, previousLane(current.evenSum, previous.evenSum));
  const __m128i evenOnOdd = _mm_add_epi16(evenTriple, nextLane(next.evenSum, current.evenSum));
  const __m128i oddBefore = previousLane(current.oddSum, previous.oddSum);
  const __m128i oddOnEven = threePlus(oddBefore, current.oddSum);
  const __m128i oddOnOdd = threePlus(current.oddSum, oddBefore);
  const __m128i greenBefore = previousLane(current.greenShifted, previous.greenShifted);
  const __m128i greenOnEven = _mm_srli_epi16(_mm_add_epi16(current.greenFixed, greenBefore), 1);
  const __m128i greenOnOdd =
      _mm_srli_epi16(_mm_add_epi16(current.greenFixed, current.greenShifted), 1);

  const __m128i evenColour = interleavePairs(_mm_mulhi_epu16(evenOnEven, v.evenFactor32),
                                             _mm_mulhi_epu16(evenOnOdd, v.evenFactor32));
  const __m128i oddColour = interleavePairs(_mm_mulhi_epu16(oddOnEven, v.oddFactor32),
                                            _mm_mulhi_epu16(oddOnOdd, v.oddFactor32));
  const __m128i green = _mm_or_si128(greenOnEven, _mm_slli_epi16(greenOnOdd, 8));
  const __m128i red = v.redIsEven ? evenColour : oddColour;
  const __m128i blue = v.redIsEven ? oddColour : evenColour;
  std::uint8_t *out = j.out + static_cast<std::ptrdiff_t>(x) * j.dstBpp;
  if (j.dstBpp == 3) {
    store24(out, blue, green, red);
  } else {
    store32(out, blue, green, red);
  }
}

__attribute__((target("ssse3"))) int runSsse3(const RowJob &j) {
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
  const int evenFactor = v.redIsEven ? j.redFactor : j.blueFactor;
  const int oddFactor = v.redIsEven ? j.blueFactor : j.redFactor;
  v.evenFactor32 = _mm_set1_epi16(static_cast<short>(evenFactor * 32));
  v.oddFactor32 = _mm_set1_epi16(static_cast<short>(oddFactor * 32));

  // The pair before x is needed only in the top lane, the pair after the
  // step only in the bottom lane; both are taken from loads that stay
  // inside the span's columns x - 2 .. x + 17.
  const auto before = [&](int x) {
    const Pairs p = v.at(x - 2);
    return Pairs{_mm_slli_si128(p.evenSum, 14), _mm_slli_si128(p.oddSum, 14),
                 _mm_slli_si128(p.greenFixed, 14), _mm_slli_si128(p.greenShifted, 14)};
  };
  const auto after = [&](int x) {
    const Pairs p = v.at(x + 2);
    return Pairs{_mm_srli_si128(p.evenSum, 14), _mm_srli_si128(p.oddSum, 14),
                 _mm_srli_si128(p.greenFixed, 14), _mm_srli_si128(p.greenShifted, 14)};
  };
  int x = j.xBegin;
  if (x + 16 > j.xEnd) return x;
  Pairs previous = before(x);
  Pairs current = v.at(x);
  for (; x + 32 <= j.xEnd; x += 16) {
    const Pairs next = v.at(x + 16);
    step(v, j, x, previous, current, next);
    previous = current;
    current = next;
  }
  if (x + 16 <= j.xEnd) {
    step(v, j, x, previous, current, after(x));
    x += 16;
  }
  // The last step, moved back to end at the span's end (by an even number
  // of columns, to keep the lane parity) and rewriting some pixels with the
  // same values; at most one column is left to the scalar code.
  const int last = j.xEnd - 16 - ((j.xEnd - 16 - j.xBegin) & 1);
  if (x < j.xEnd && last > j.xBegin) {
    step(v, j, last, before(last), v.at(last), after(last));
    x = last + 16;
  }
  return x;
}

bool hasSsse3() {
  static const bool supported = __builtin_cpu_supports("ssse3");
  return supported;
}

}  // namespace

int runVector8(const RowJob &j) {
  if (!hasSsse3() || (j.dstBpp != 3 && j.dstBpp != 4) || j.redFactor > kLargestVectorFactor ||
      j.blueFactor > kLargestVectorFactor) {
    return j.xBegin;
  }
  return runSsse3(j);
}

}  // namespace pelnik::demosaic_rows

#else

namespace pelnik::demosaic_rows {
int runVector8(const RowJob &j) { return j.xBegin; }
}  // namespace pelnik::demosaic_rows

#endif
