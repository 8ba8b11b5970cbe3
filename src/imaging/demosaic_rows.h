#pragma once
// One output row of the demosaic over a span of columns that needs no
// column folding: 2 <= xBegin and xEnd <= width - 2, as in every caller (the
// vector path reads up to column xEnd + 1). Shared by the interior kernel,
// the border kernel's top and bottom strips, and the vector path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "imaging/sample_access.h"

namespace pelnik::demosaic_rows {

// Raw rows y - 2, y - 1, y and y + 1, each at the picture's column 0.
struct RawRows {
  const std::uint8_t *above2;
  const std::uint8_t *above1;
  const std::uint8_t *row;
  const std::uint8_t *below1;
};

struct RowJob {
  RawRows rows;
  std::uint8_t *out;  // destination row at the picture's column 0
  int rowFlag;
  int firstColumnFlag;  // column flag of xBegin
  int xBegin;
  int xEnd;
  int dstBpp;
  int redFactor;
  int blueFactor;
};

template <int SampleBytes>
inline int sample(const std::uint8_t *row, int x) {
  if constexpr (SampleBytes == 1) {
    return row[x];
  } else {
    return load16(row + static_cast<std::ptrdiff_t>(x) * 2);
  }
}

struct Bgr {
  int blue, green, red;
};

// 8-bit sums stay below 2^12 and factors below 2^19, so 32 bits hold the
// product; 16-bit samples may carry any value and need 64.
template <int SampleBytes>
using Product = std::conditional_t<SampleBytes == 1, std::int32_t, std::int64_t>;

// `sample(row, dx)` reads the raw sample dx columns from x in a row.
template <int SampleBytes, class Sample>
inline Bgr pixelFrom(Sample sample, const RawRows &rows, int rowFlag, int columnFlag,
                     int redFactor, int blueFactor) {
  constexpr int maximum = SampleBytes == 1 ? 255 : 1023;
  const std::uint8_t *redNear = rowFlag ? rows.row : rows.above1;
  const std::uint8_t *redFar = rowFlag ? rows.above2 : rows.below1;
  const std::uint8_t *blueNear = rowFlag ? rows.above1 : rows.row;
  const std::uint8_t *blueFar = rowFlag ? rows.below1 : rows.above2;
  const auto vertical = [&](const std::uint8_t *nearRow, const std::uint8_t *farRow, int dx) {
    return Product<SampleBytes>{3} * sample(nearRow, dx) + sample(farRow, dx);
  };
  Product<SampleBytes> red, blue;
  if (columnFlag == 0) {
    red = 3 * vertical(redNear, redFar, 0) + vertical(redNear, redFar, -2);
    blue = 3 * vertical(blueNear, blueFar, -1) + vertical(blueNear, blueFar, 1);
  } else {
    red = 3 * vertical(redNear, redFar, -1) + vertical(redNear, redFar, 1);
    blue = 3 * vertical(blueNear, blueFar, 0) + vertical(blueNear, blueFar, -2);
  }
  const int green = rowFlag == columnFlag ? (sample(rows.row, 0) + sample(rows.above1, -1)) >> 1
                                          : (sample(rows.row, -1) + sample(rows.above1, 0)) >> 1;
  return Bgr{static_cast<int>(std::min<Product<SampleBytes>>((blue * blueFactor) >> 11, maximum)),
             std::min(green, maximum),
             static_cast<int>(std::min<Product<SampleBytes>>((red * redFactor) >> 11, maximum))};
}

template <int SampleBytes>
inline void writePixel(const Bgr &p, std::uint8_t *out) {
  if constexpr (SampleBytes == 1) {
    out[0] = static_cast<std::uint8_t>(p.blue);
    out[1] = static_cast<std::uint8_t>(p.green);
    out[2] = static_cast<std::uint8_t>(p.red);
  } else {
    store16(out, static_cast<std::uint32_t>(p.blue));
    store16(out + 2, static_cast<std::uint32_t>(p.green));
    store16(out + 4, static_cast<std::uint32_t>(p.red));
  }
}

// Scalar span; DstStep 0 takes the step from the job.
template <int SampleBytes, int DstStep>
void runScalar(const RowJob &j, int xBegin) {
  const int step = DstStep ? DstStep : j.dstBpp;
  int flag = j.firstColumnFlag ^ ((xBegin - j.xBegin) & 1);
  for (int x = xBegin; x < j.xEnd; ++x, flag ^= 1) {
    const auto at = [x](const std::uint8_t *row, int dx) { return sample<SampleBytes>(row, x + dx); };
    writePixel<SampleBytes>(
        pixelFrom<SampleBytes>(at, j.rows, j.rowFlag, flag, j.redFactor, j.blueFactor),
        j.out + static_cast<std::ptrdiff_t>(x) * step);
  }
}

// Vector spans for 8-bit samples; each returns the first column it left to
// the scalar code (xBegin when the processor or the factors do not suit).
int runVector8(const RowJob &j);

template <int SampleBytes>
void run(const RowJob &j) {
  if (j.xEnd <= j.xBegin) return;
  if constexpr (SampleBytes == 1) {
    const int rest = runVector8(j);
    if (j.dstBpp == 3) return runScalar<1, 3>(j, rest);
    if (j.dstBpp == 4) return runScalar<1, 4>(j, rest);
    return runScalar<1, 0>(j, rest);
  } else {
    if (j.dstBpp == 6) return runScalar<2, 6>(j, j.xBegin);
    if (j.dstBpp == 8) return runScalar<2, 8>(j, j.xBegin);
    return runScalar<2, 0>(j, j.xBegin);
  }
}

}  // namespace pelnik::demosaic_rows
