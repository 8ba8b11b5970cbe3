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

// The rows that hold red and blue around a row of the given row flag: the
// near one inside the 2 x 2 cell (weight 3 vertically), the far one outside.
struct ColourRows {
  const std::uint8_t *redNear, *redFar, *blueNear, *blueFar, *row, *above;
  bool rowFlag;

  static ColourRows of(const RawRows &r, int rowFlag) {
    return rowFlag ? ColourRows{r.row, r.above2, r.above1, r.below1, r.row, r.above1, true}
                   : ColourRows{r.above1, r.below1, r.row, r.above2, r.row, r.above1, false};
  }
};

// 8-bit sums stay below 2^12 and factors below 2^19, and 16-bit sums below
// 2^20 with factors below 2^11, so 32 bits hold the product; larger 16-bit
// factors need 64.
template <int SampleBytes>
inline bool fitsInt32(int redFactor, int blueFactor) {
  return SampleBytes == 1 || (redFactor < 2048 && blueFactor < 2048);
}

// One pixel; `sample(row, dx)` reads the raw sample dx columns from it.
template <int SampleBytes, class Product, int ColumnFlag, class Sample>
inline Bgr pixelFrom(Sample sample, const ColourRows &r, int redFactor, int blueFactor) {
  constexpr int maximum = SampleBytes == 1 ? 255 : 1023;
  const auto vertical = [&](const std::uint8_t *nearRow, const std::uint8_t *farRow, int dx) {
    return Product{3} * sample(nearRow, dx) + sample(farRow, dx);
  };
  Product red, blue;
  if constexpr (ColumnFlag == 0) {
    red = 3 * vertical(r.redNear, r.redFar, 0) + vertical(r.redNear, r.redFar, -2);
    blue = 3 * vertical(r.blueNear, r.blueFar, -1) + vertical(r.blueNear, r.blueFar, 1);
  } else {
    red = 3 * vertical(r.redNear, r.redFar, -1) + vertical(r.redNear, r.redFar, 1);
    blue = 3 * vertical(r.blueNear, r.blueFar, 0) + vertical(r.blueNear, r.blueFar, -2);
  }
  const int green = r.rowFlag == (ColumnFlag != 0) ? (sample(r.row, 0) + sample(r.above, -1)) >> 1
                                                   : (sample(r.row, -1) + sample(r.above, 0)) >> 1;
  return Bgr{static_cast<int>(std::min<Product>((blue * blueFactor) >> 11, maximum)),
             std::min(green, maximum),
             static_cast<int>(std::min<Product>((red * redFactor) >> 11, maximum))};
}

// The same with the column flag known only at run time.
template <int SampleBytes, class Sample>
inline Bgr pixelFrom(Sample sample, const ColourRows &r, int columnFlag, int redFactor,
                     int blueFactor) {
  if (fitsInt32<SampleBytes>(redFactor, blueFactor)) {
    return columnFlag ? pixelFrom<SampleBytes, std::int32_t, 1>(sample, r, redFactor, blueFactor)
                      : pixelFrom<SampleBytes, std::int32_t, 0>(sample, r, redFactor, blueFactor);
  }
  return columnFlag ? pixelFrom<SampleBytes, std::int64_t, 1>(sample, r, redFactor, blueFactor)
                    : pixelFrom<SampleBytes, std::int64_t, 0>(sample, r, redFactor, blueFactor);
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

// Scalar span, a pair of columns (flags 0 and 1) at a time; DstStep 0 takes
// the step from the job.
template <int SampleBytes, int DstStep, class Product>
void runScalarAs(const RowJob &j, int xBegin) {
  const int step = DstStep ? DstStep : j.dstBpp;
  const ColourRows rows = ColourRows::of(j.rows, j.rowFlag);
  const auto pixel = [&](auto columnFlag, int x) {
    const auto at = [x](const std::uint8_t *row, int dx) {
      return sample<SampleBytes>(row, x + dx);
    };
    writePixel<SampleBytes>(pixelFrom<SampleBytes, Product, decltype(columnFlag)::value>(
                                at, rows, j.redFactor, j.blueFactor),
                            j.out + static_cast<std::ptrdiff_t>(x) * step);
  };
  int x = xBegin;
  if (x < j.xEnd && (j.firstColumnFlag ^ ((x - j.xBegin) & 1)))
    pixel(std::integral_constant<int, 1>{}, x++);
  for (; x + 1 < j.xEnd; x += 2) {
    pixel(std::integral_constant<int, 0>{}, x);
    pixel(std::integral_constant<int, 1>{}, x + 1);
  }
  if (x < j.xEnd) pixel(std::integral_constant<int, 0>{}, x);
}

template <int SampleBytes, int DstStep>
void runScalar(const RowJob &j, int xBegin) {
  if (fitsInt32<SampleBytes>(j.redFactor, j.blueFactor)) {
    runScalarAs<SampleBytes, DstStep, std::int32_t>(j, xBegin);
  } else {
    runScalarAs<SampleBytes, DstStep, std::int64_t>(j, xBegin);
  }
}

// Vector spans for 8-bit and 16-bit samples; each returns the first column
// it left to the scalar code (xBegin when the path, the pixel size or the
// factors do not suit).
int runVector8(const RowJob &j);
int runVector16(const RowJob &j);

template <int SampleBytes>
void run(const RowJob &j) {
  if (j.xEnd <= j.xBegin) return;
  if constexpr (SampleBytes == 1) {
    const int rest = runVector8(j);
    if (j.dstBpp == 3) return runScalar<1, 3>(j, rest);
    if (j.dstBpp == 4) return runScalar<1, 4>(j, rest);
    return runScalar<1, 0>(j, rest);
  } else {
    const int rest = runVector16(j);
    if (j.dstBpp == 6) return runScalar<2, 6>(j, rest);
    if (j.dstBpp == 8) return runScalar<2, 8>(j, rest);
    return runScalar<2, 0>(j, rest);
  }
}

}  // namespace pelnik::demosaic_rows
