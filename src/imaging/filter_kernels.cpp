// Production forms of the filter kernels: offsets once per call, tables
// built per call, and the hot row loops of filter_vector.
#include "imaging/filter_kernels.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory_resource>
#include <new>
#include <vector>

#include "imaging/filter_params.h"
#include "imaging/filter_rows.h"
#include "imaging/filter_tables.h"
#include "imaging/filter_vector.h"
#include "imaging/hue_tables.h"
#include "imaging/vector_path.h"

namespace pelnik::kernels {

namespace {

KernelRows rowsOf(std::uint8_t *dst, std::uint8_t *src, const KernelRect *rect, int dstX,
                  int dstRow, int dstBpp, int srcBpp, int dstStride, int srcStride) {
  return kernelRows(dst, src, *rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
}

std::uint16_t load16(const std::uint8_t *p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
void store16(std::uint8_t *p, int v) {
  const auto stored = static_cast<std::uint16_t>(v);
  std::memcpy(p, &stored, 2);
}

// Per-call tables of the 16-bit kernels come from the default memory
// resource, so a failing allocation can be shown in tests; a stage whose
// table cannot be had leaves the picture as it was and returns 0.
template <class T>
using Table = std::pmr::vector<T>;

template <class T>
bool allocate(Table<T> &table, std::size_t size) {
  try {
    table.resize(size);
    return true;
  } catch (const std::bad_alloc &) {
    return false;
  }
}

// --- gray gains ---------------------------------------------------------------

struct GraySites {
  int gain[4];  // R, G1, G2, B
  int offset[4];
};

GraySites sitesOf(const GrayBlock &b) {
  return {{b.gainR, b.gainG1, b.gainG2, b.gainB}, {b.offsetR, b.offsetG1, b.offsetG2, b.offsetB}};
}

// Block index of the site at flags (row, column): G1, R / B, G2.
int siteIndex(int rowFlag, int columnFlag) {
  static constexpr int kSites[2][2] = {{1, 0}, {3, 2}};
  return kSites[rowFlag][columnFlag];
}

int grayValue(const GraySites &sites, int site, int v, int maximum) {
  const long long out = sites.offset[site] + (static_cast<long long>(sites.gain[site]) * v) / 128;
  return static_cast<int>(out < 0 ? 0 : out > maximum ? maximum : out);
}

}  // namespace

int grayGain8(KERNEL_ARGS) {
  (void)extra;
  const GrayBlock &block = kernelBlock<GrayBlock>(params);
  const GraySites sites = sitesOf(block);
  std::uint8_t tables[4][256];
  for (int site = 0; site < 4; ++site) {
    for (int v = 0; v < 256; ++v)
      tables[site][v] = static_cast<std::uint8_t>(grayValue(sites, site, v, 255));
  }
  const KernelRows rows =
      rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  for (int i = 0; i < rows.height; ++i) {
    const int rowFlag = bayer::rowFlag(block.bayerMode, rows.srcTop + i);
    const int firstColumn = bayer::columnFlag(block.bayerMode, rows.srcLeft);
    const std::uint8_t *even = tables[siteIndex(rowFlag, firstColumn)];
    const std::uint8_t *odd = tables[siteIndex(rowFlag, firstColumn ^ 1)];
    const std::uint8_t *in = rows.srcRow(i);
    std::uint8_t *out = rows.dstRow(i);
    int x = 0;
    for (; x + 1 < rows.width; x += 2) {
      out[x * rows.dstBpp] = even[in[x * rows.srcBpp]];
      out[(x + 1) * rows.dstBpp] = odd[in[(x + 1) * rows.srcBpp]];
    }
    if (x < rows.width) out[x * rows.dstBpp] = even[in[x * rows.srcBpp]];
  }
  return 1;
}

int grayGain16(KERNEL_ARGS) {
  (void)extra;
  const GrayBlock &block = kernelBlock<GrayBlock>(params);
  const GraySites sites = sitesOf(block);
  const int maximum = fullScale(clampBitDepth(block.bitDepth));
  // The camera's samples hold ten bits: those are looked up, larger ones
  // computed.
  constexpr int kLooked = 1024;
  std::uint16_t tables[4][kLooked];
  for (int site = 0; site < 4; ++site) {
    for (int v = 0; v < kLooked; ++v)
      tables[site][v] = static_cast<std::uint16_t>(grayValue(sites, site, v, maximum));
  }
  const KernelRows rows =
      rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  for (int i = 0; i < rows.height; ++i) {
    const int rowFlag = bayer::rowFlag(block.bayerMode, rows.srcTop + i);
    const int firstColumn = bayer::columnFlag(block.bayerMode, rows.srcLeft);
    const int site[2] = {siteIndex(rowFlag, firstColumn), siteIndex(rowFlag, firstColumn ^ 1)};
    const std::uint8_t *in = rows.srcRow(i);
    std::uint8_t *out = rows.dstRow(i);
    const auto one = [&](int x, int s) {
      const int v = load16(in + x * rows.srcBpp);
      store16(out + x * rows.dstBpp, v < kLooked ? tables[s][v] : grayValue(sites, s, v, maximum));
    };
    int x = 0;
    for (; x + 1 < rows.width; x += 2) {
      one(x, site[0]);
      one(x + 1, site[1]);
    }
    if (x < rows.width) one(x, site[0]);
  }
  return 1;
}

int grayCalibration(KERNEL_ARGS) {
  (void)extra;
  GrayBlock &block = kernelBlock<GrayBlock>(params);
  const int full = calibrationFullScale(block.bitDepth);
  const KernelRows rows =
      rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  std::uint64_t sums[4] = {};
  std::uint64_t counts[4] = {};
  for (int i = 0; i < rows.height; ++i) {
    const int rowFlag = bayer::rowFlag(block.bayerMode, rows.srcTop + i);
    const int firstColumn = bayer::columnFlag(block.bayerMode, rows.srcLeft);
    const int site[2] = {siteIndex(rowFlag, firstColumn), siteIndex(rowFlag, firstColumn ^ 1)};
    const std::uint8_t *in = rows.srcRow(i);
    for (int x = 0; x < rows.width; ++x) {
      const int v = rows.srcBpp == 1 ? in[x] : load16(in + x * rows.srcBpp);
      const bool counted = v != 0 && v != full;
      sums[site[x & 1]] += counted ? static_cast<unsigned>(v) : 0u;
      counts[site[x & 1]] += counted ? 1 : 0;
    }
  }
  if (std::find(std::begin(counts), std::end(counts), 0u) != std::end(counts)) return 1;
  double means[4];
  for (int s = 0; s < 4; ++s)
    means[s] = static_cast<double>(sums[s]) / static_cast<double>(counts[s]);
  const double brightest = *std::max_element(std::begin(means), std::end(means));
  std::int32_t *gains[4] = {&block.gainR, &block.gainG1, &block.gainG2, &block.gainB};
  for (int s = 0; s < 4; ++s) *gains[s] = static_cast<std::int32_t>(brightest / means[s] * 128);
  return 1;
}

// --- hue and saturation ----------------------------------------------------------

namespace {

// One row of 8-bit hue and saturation. The row loops need matching pixel
// sizes; a 3 <-> 4 byte call goes pixel by pixel.
void hueRowOf8(const KernelRows &rows, int i, const filter_vector::HueRow &hue) {
  if (rows.srcBpp == rows.dstBpp) {
    filter_vector::hueRow8(rows.dstRow(i), rows.srcRow(i), rows.width, rows.srcBpp, hue);
    return;
  }
  for (int x = 0; x < rows.width; ++x) {
    const std::uint8_t *in = rows.srcRow(i) + x * rows.srcBpp;
    int blue = in[0], green = in[1], red = in[2];
    hueSaturatePixel(red, green, blue, *hue.scale, hue.shift);
    std::uint8_t *out = rows.dstRow(i) + x * rows.dstBpp;
    out[0] = static_cast<std::uint8_t>(blue);
    out[1] = static_cast<std::uint8_t>(green);
    out[2] = static_cast<std::uint8_t>(red);
  }
}

}  // namespace

int hueSaturation8(KERNEL_ARGS) {
  (void)extra;
  const HueBlock &block = kernelBlock<HueBlock>(params);
  const SaturationScale scale(block.saturation);
  const filter_vector::HueRow hue{hueShift(block.hue), &scale};
  const KernelRows rows =
      rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  for (int i = 0; i < rows.height; ++i) hueRowOf8(rows, i, hue);
  return 1;
}

namespace {

// One row through the 8-bit row loop as 4-byte pixels in `view`.
void hueRowOf16(const KernelRows &rows, int i, const filter_vector::HueRow &hue, int down,
                const std::uint16_t *back, std::uint8_t *view) {
  const std::uint8_t *in = rows.srcRow(i);
  if (rows.srcBpp == 6 || rows.srcBpp == 8) {
    filter_vector::toHueView16(view, in, rows.width, rows.srcBpp, down);
  } else {
    for (int x = 0; x < rows.width; ++x, in += rows.srcBpp) {
      for (int c = 0; c < 3; ++c) {
        view[4 * x + c] = static_cast<std::uint8_t>(std::min(load16(in + 2 * c) >> down, 255));
      }
    }
  }
  filter_vector::hueRow8(view, view, rows.width, 4, hue);
  std::uint8_t *out = rows.dstRow(i);
  for (int x = 0; x < rows.width; ++x, out += rows.dstBpp) {
    for (int c = 0; c < 3; ++c) store16(out + 2 * c, back[view[4 * x + c]]);
  }
}

// The 256-entry map from view byte back to stored sample, through `table`
// (2^bit depth entries) when given.
void backFromView(int down, const std::uint16_t *table, std::uint16_t (&back)[256]) {
  for (int v = 0; v < 256; ++v) {
    back[v] = table ? table[v << down] : static_cast<std::uint16_t>(v << down);
  }
}

}  // namespace

// Each row goes through the 8-bit row loop as 4-byte pixels, a sample
// beyond the bit depth held at the top of the 8-bit view, and back shifted
// left.
int hueSaturation16(KERNEL_ARGS) {
  (void)extra;
  const HueBlock &block = kernelBlock<HueBlock>(params);
  const KernelRows rows =
      rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  const SaturationScale scale(block.saturation);
  const filter_vector::HueRow hue{hueShift(block.hue), &scale};
  const int down = clampBitDepth(block.bitDepth) - 8;
  std::uint16_t back[256];
  backFromView(down, nullptr, back);
  Table<std::uint8_t> view;
  if (!allocate(view, static_cast<std::size_t>(rows.width) * 4)) return 0;
  for (int i = 0; i < rows.height; ++i) hueRowOf16(rows, i, hue, down, back, view.data());
  return 1;
}

// --- per-sample tables: gamma and contrast --------------------------------------

namespace {

// Applies a 256-entry table to the filtered samples of every pixel.
void applyTable8(const KernelRows &rows, const std::uint8_t *table) {
  const int samples = rows.srcBpp >= 3 ? 3 : 1;
  for (int i = 0; i < rows.height; ++i) {
    const std::uint8_t *in = rows.srcRow(i);
    std::uint8_t *out = rows.dstRow(i);
    if (rows.srcBpp == rows.dstBpp) {
      filter_vector::tableRow8(out, in, rows.width, rows.srcBpp, table);
      continue;
    }
    for (int x = 0; x < rows.width; ++x) {
      for (int s = 0; s < samples; ++s) out[x * rows.dstBpp + s] = table[in[x * rows.srcBpp + s]];
    }
  }
}

// Applies a table over 0..maximum; samples above maximum become `above`.
void applyTable16(const KernelRows &rows, const std::uint16_t *table, int maximum, int above) {
  const int samples = rows.srcBpp >= 6 ? 3 : 1;
  for (int i = 0; i < rows.height; ++i) {
    const std::uint8_t *in = rows.srcRow(i);
    std::uint8_t *out = rows.dstRow(i);
    if (rows.srcBpp == rows.dstBpp && rows.srcBpp != 8) {
      // Gray and 6-byte rows are runs of samples.
      for (int k = 0; k < rows.width * rows.srcBpp / 2; ++k) {
        const int v = load16(in + 2 * k);
        const int looked = table[std::min(v, maximum)];
        store16(out + 2 * k, v > maximum ? above : looked);
      }
      continue;
    }
    for (int x = 0; x < rows.width; ++x) {
      for (int s = 0; s < samples; ++s) {
        const int v = load16(in + x * rows.srcBpp + 2 * s);
        const int looked = table[std::min(v, maximum)];
        store16(out + x * rows.dstBpp + 2 * s, v > maximum ? above : looked);
      }
    }
  }
}

int gamma8(KERNEL_ARGS, bool limited) {
  (void)extra;
  double exponent = gammaExponent(kernelBlock<ValueBlock>(params).value);
  if (limited) exponent = limitGammaExponent(exponent);
  std::array<std::uint8_t, 256> table;
  buildGammaTable8(exponent, table);
  applyTable8(rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride),
              table.data());
  return 1;
}

}  // namespace

int gammaGray8(KERNEL_ARGS) {
  return gamma8(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params, extra,
                false);
}

int gammaColour8(KERNEL_ARGS) {
  return gamma8(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params, extra,
                true);
}

int gamma16(KERNEL_ARGS) {
  (void)extra;
  const ValueBlock &block = kernelBlock<ValueBlock>(params);
  const int bits = clampBitDepth(block.bitDepth);
  Table<std::uint16_t> table;
  if (!allocate(table, std::size_t{1} << bits)) return 0;
  buildGammaTable16(gammaExponent(block.value), bits, table);
  const int maximum = fullScale(bits);
  applyTable16(rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride),
               table.data(), maximum, table[maximum]);
  return 1;
}

int contrast8(KERNEL_ARGS) {
  (void)extra;
  std::array<std::uint8_t, 256> table;
  buildContrastTable8(kernelBlock<ValueBlock>(params).value, table);
  applyTable8(rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride),
              table.data());
  return 1;
}

int contrast16(KERNEL_ARGS) {
  (void)extra;
  const ValueBlock &block = kernelBlock<ValueBlock>(params);
  const int bits = clampBitDepth(block.bitDepth);
  Table<std::uint16_t> table;
  if (!allocate(table, std::size_t{1} << bits)) return 0;
  buildContrastTable16(block.value, bits, table);
  const int maximum = fullScale(bits);
  applyTable16(rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride),
               table.data(), maximum, maximum);
  return 1;
}

int sampleTable8(KERNEL_ARGS) {
  (void)extra;
  const SampleTableBlock &block = kernelBlock<SampleTableBlock>(params);
  applyTable8(rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride),
              block.table8);
  return 1;
}

int sampleTable16(KERNEL_ARGS) {
  (void)extra;
  const SampleTableBlock &block = kernelBlock<SampleTableBlock>(params);
  applyTable16(rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride),
               block.table16, block.maximum, block.above);
  return 1;
}

// --- sharpness -----------------------------------------------------------------------

namespace {

// Brightness over the rows a sharpening pass has finished, while they are
// still in the cache (null: none).
struct Brighten {
  float factor;
  int maximum;
  const std::uint8_t *table8 = nullptr;  // the factor per 8-bit sample, or null
};

// Brightness of every 8-bit sample as a table, where table rows are byte
// permutes (else the float rows are faster): null when not built.
const std::uint8_t *brightnessTable8(float factor, std::array<std::uint8_t, 256> &table) {
  if (!vector_path::avx512Vbmi()) return nullptr;
  for (int v = 0; v < 256; ++v)
    table[v] = static_cast<std::uint8_t>(brightenSample(v, factor, 255));
  return table.data();
}

void slideSums(std::int16_t *sums, const std::int16_t *add, const std::int16_t *sub, int count) {
  filter_vector::slideColumnSums16(sums, add, sub, count);
}
void slideSums(std::int32_t *sums, const std::int32_t *add, const std::int32_t *sub, int count) {
  filter_vector::slideColumnSums32(sums, add, sub, count);
}

// `pre(r)` runs once on source row r before the pass reads it (the row
// stages before sharpness); sharpness 0 sharpens nothing.
template <class Pre>
int sharpen8(const KernelRows &rows, int s, const Brighten *brighten, Pre pre) {
  const auto finish = [&](int i) {
    if (brighten && brighten->table8) {
      filter_vector::tableRow8(rows.dstRow(i), rows.dstRow(i), rows.width, rows.dstBpp,
                               brighten->table8);
    } else if (brighten) {
      filter_vector::brightenRow8(rows.dstRow(i), rows.dstRow(i), rows.width, rows.dstBpp,
                                  brighten->factor);
    }
  };
  if (rows.width < 5 || rows.height < 5 || s == 0) {
    // No interior: the frame keeps its values.
    for (int i = 0; i < rows.height; ++i) {
      pre(i);
      finish(i);
    }
    return 1;
  }
  const int bpp = rows.srcBpp;
  const int count = rows.width * bpp;
  Table<std::uint16_t> sums;
  Table<std::uint8_t> window;  // the last five source rows, so dst may be src
  if (!allocate(sums, static_cast<std::size_t>(count)) ||
      !allocate(window, static_cast<std::size_t>(count) * 5)) {
    return 0;
  }
  auto windowRow = [&](int r) { return window.data() + static_cast<std::size_t>(r % 5) * count; };
  auto loadRow = [&](int r) {
    pre(r);
    std::memcpy(windowRow(r), rows.srcRow(r), static_cast<std::size_t>(count));
    return windowRow(r);
  };
  // Column sums over rows i - 2 .. i + 1, slid down one row per output row.
  for (int r = 0; r < 4; ++r) {
    const std::uint8_t *row = loadRow(r);
    for (int k = 0; k < count; ++k) sums[k] = static_cast<std::uint16_t>(sums[k] + row[k]);
  }
  finish(0);
  finish(1);
  const bool sameLayout = rows.dstBpp == bpp;
  for (int i = 2; i < rows.height - 2; ++i) {
    if (i > 2)
      filter_vector::slideColumnSums8(sums.data(), loadRow(i + 1), windowRow(i - 3), count);
    const std::uint8_t *orig = windowRow(i);
    if (sameLayout) {
      filter_vector::sharpenRow8(rows.dstRow(i), orig, sums.data(), 2 * bpp, (rows.width - 2) * bpp,
                                 bpp, s);
      finish(i);
      continue;
    }
    const int samples = bpp >= 3 ? 3 : 1;
    for (int x = 2; x < rows.width - 2; ++x) {
      for (int c = 0; c < samples; ++c) {
        const int k = x * bpp + c;
        const int blur = (sums[k - 2 * bpp] + sums[k - bpp] + sums[k] + sums[k + bpp]) >> 4;
        const int value = orig[k] + (s * (orig[k] - blur)) / 10;
        rows.dstRow(i)[x * rows.dstBpp + c] = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
      }
    }
    finish(i);
  }
  finish(rows.height - 2);
  pre(rows.height - 1);  // the one row the pass never reads
  finish(rows.height - 1);
  return 1;
}

// T is the window's sample type: 16 bits where every sum fits (see
// filter_vector::sharpenRow16), else 32.
template <class T, class Pre>
int sharpen16As(const KernelRows &rows, int s, int f, const Brighten *brighten, Pre pre) {
  const auto finish = [&](int i) {
    if (brighten) {
      filter_vector::brightenRow16(rows.dstRow(i), rows.dstRow(i), rows.width, rows.dstBpp,
                                   brighten->factor, brighten->maximum);
    }
  };
  if (rows.width < 5 || rows.height < 5 || s == 0) {
    for (int i = 0; i < rows.height; ++i) {
      pre(i);
      finish(i);
    }
    return 1;
  }
  const int p = rows.srcBpp / 2;  // samples per pixel
  const int count = rows.width * p;
  Table<T> sums;
  Table<T> window;  // the last five rows, samples held at full scale
  if (!allocate(sums, static_cast<std::size_t>(count)) ||
      !allocate(window, static_cast<std::size_t>(count) * 5)) {
    return 0;
  }
  // Samples beyond the bit depth read as full scale, so blur and difference
  // stay inside 0..F.
  auto windowRow = [&](int r) { return window.data() + static_cast<std::size_t>(r % 5) * count; };
  auto loadRow = [&](int r) {
    pre(r);
    filter_vector::loadClampedRow16(windowRow(r), rows.srcRow(r), count, f);
    return windowRow(r);
  };
  for (int r = 0; r < 4; ++r) {
    const T *row = loadRow(r);
    for (int k = 0; k < count; ++k) sums[k] = static_cast<T>(sums[k] + row[k]);
  }
  finish(0);
  finish(1);
  const int samples = p >= 3 ? 3 : 1;
  for (int i = 2; i < rows.height - 2; ++i) {
    if (i > 2) slideSums(sums.data(), loadRow(i + 1), windowRow(i - 3), count);
    const T *orig = windowRow(i);
    std::uint8_t *out = rows.dstRow(i);
    if (rows.dstBpp == rows.srcBpp) {
      filter_vector::sharpenRow16(out, orig, sums.data(), 2 * p, (rows.width - 2) * p, p, s, f);
      finish(i);
      continue;
    }
    for (int x = 2; x < rows.width - 2; ++x) {
      for (int c = 0; c < samples; ++c) {
        const int k = x * p + c;
        const int blur = (sums[k - 2 * p] + sums[k - p] + sums[k] + sums[k + p]) >> 4;
        const int value = orig[k] + (s * (orig[k] - blur)) / 10;
        store16(out + x * rows.dstBpp + 2 * c, std::clamp(value, 0, f));
      }
    }
    finish(i);
  }
  finish(rows.height - 2);
  pre(rows.height - 1);
  finish(rows.height - 1);
  return 1;
}

template <class Pre>
int sharpen16(const KernelRows &rows, int s, int f, const Brighten *brighten, Pre pre) {
  if (f <= 1023 && s >= 0 && s <= 30) return sharpen16As<std::int16_t>(rows, s, f, brighten, pre);
  return sharpen16As<std::int32_t>(rows, s, f, brighten, pre);
}

constexpr auto kNothingBefore = [](int) {};

}  // namespace

int sharpness8(KERNEL_ARGS) {
  (void)extra;
  return sharpen8(rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride),
                  kernelBlock<ValueBlock>(params).value, nullptr, kNothingBefore);
}

int sharpness16(KERNEL_ARGS) {
  (void)extra;
  const ValueBlock &block = kernelBlock<ValueBlock>(params);
  return sharpen16(rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride),
                   block.value, fullScale(clampBitDepth(block.bitDepth)), nullptr, kNothingBefore);
}

// --- the stages after the demosaic in one pass -------------------------------------------

namespace {

// The picture the one pass works on in place: a source other than the
// destination is first copied row by row.
KernelRows inPlace(const KernelRows &given) {
  KernelRows rows = given;
  rows.src = rows.dst;
  rows.srcStride = rows.dstStride;
  rows.srcBpp = rows.dstBpp;
  return rows;
}

void copyRowIn(const KernelRows &given, int r) {
  if (given.src != given.dst) {
    std::memmove(given.dstRow(r), given.srcRow(r),
                 static_cast<std::size_t>(given.width) * given.dstBpp);
  }
}

// One row as a kernel call of its own, in place.
KernelRows oneRow(const KernelRows &rows, int r) {
  KernelRows row = rows;
  row.src = row.dst = rows.dstRow(r);
  row.height = 1;
  return row;
}

}  // namespace

int rowStages8(KERNEL_ARGS) {
  (void)extra;
  const RowStagesBlock &block = kernelBlock<RowStagesBlock>(params);
  const KernelRows given =
      rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  if (given.srcBpp != given.dstBpp) return 0;
  const KernelRows rows = inPlace(given);
  const SaturationScale scale(block.hue.saturation);
  const filter_vector::HueRow hue{hueShift(block.hue.hue), &scale};
  const bool hueOn = block.hueOn && rows.dstBpp >= 3;
  const auto pre = [&](int r) {
    copyRowIn(given, r);
    if (hueOn) hueRowOf8(rows, r, hue);
    if (block.table.table8) applyTable8(oneRow(rows, r), block.table.table8);
  };
  const float factor = brightnessFactor(block.brightness.value);
  std::array<std::uint8_t, 256> brightness{};
  const Brighten brighten{factor, 255, brightnessTable8(factor, brightness)};
  return sharpen8(rows, block.sharpness.value, block.brightness.value ? &brighten : nullptr, pre);
}

int rowStages16(KERNEL_ARGS) {
  (void)extra;
  const RowStagesBlock &block = kernelBlock<RowStagesBlock>(params);
  const KernelRows given =
      rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  if (given.srcBpp != given.dstBpp) return 0;
  const KernelRows rows = inPlace(given);
  const bool hueOn = block.hueOn && rows.dstBpp >= 6;
  const SaturationScale scale(block.hue.saturation);
  const filter_vector::HueRow hue{hueShift(block.hue.hue), &scale};
  const int down = clampBitDepth(block.hue.bitDepth) - 8;
  std::uint16_t back[256];
  backFromView(down, block.table.table16, back);
  Table<std::uint8_t> view;
  if (hueOn && !allocate(view, static_cast<std::size_t>(rows.width) * 4)) return 0;
  const auto pre = [&](int r) {
    copyRowIn(given, r);
    if (hueOn) {
      // After hue every sample lies inside the table: it rides on the way back.
      hueRowOf16(rows, r, hue, down, back, view.data());
    } else if (block.table.table16) {
      applyTable16(oneRow(rows, r), block.table.table16, block.table.maximum, block.table.above);
    }
  };
  const Brighten brighten{brightnessFactor(block.brightness.value),
                          fullScale(clampBitDepth(block.brightness.bitDepth))};
  return sharpen16(rows, block.sharpness.value, fullScale(clampBitDepth(block.sharpness.bitDepth)),
                   block.brightness.value ? &brighten : nullptr, pre);
}

// --- brightness ------------------------------------------------------------------------

int brightness8(KERNEL_ARGS) {
  (void)extra;
  const float factor = brightnessFactor(kernelBlock<ValueBlock>(params).value);
  const KernelRows rows =
      rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  for (int i = 0; i < rows.height; ++i) {
    if (rows.srcBpp == rows.dstBpp) {
      filter_vector::brightenRow8(rows.dstRow(i), rows.srcRow(i), rows.width, rows.srcBpp, factor);
      continue;
    }
    const int samples = rows.srcBpp >= 3 ? 3 : 1;
    for (int x = 0; x < rows.width; ++x) {
      for (int s = 0; s < samples; ++s) {
        rows.dstRow(i)[x * rows.dstBpp + s] = static_cast<std::uint8_t>(
            brightenSample(rows.srcRow(i)[x * rows.srcBpp + s], factor, 255));
      }
    }
  }
  return 1;
}

int brightness16(KERNEL_ARGS) {
  (void)extra;
  const ValueBlock &block = kernelBlock<ValueBlock>(params);
  const float factor = brightnessFactor(block.value);
  const int maximum = fullScale(clampBitDepth(block.bitDepth));
  const KernelRows rows =
      rowsOf(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride);
  for (int i = 0; i < rows.height; ++i) {
    if (rows.srcBpp == rows.dstBpp) {
      filter_vector::brightenRow16(rows.dstRow(i), rows.srcRow(i), rows.width, rows.srcBpp, factor,
                                   maximum);
      continue;
    }
    const int samples = rows.srcBpp >= 6 ? 3 : 1;
    for (int x = 0; x < rows.width; ++x) {
      for (int s = 0; s < samples; ++s) {
        const int v = load16(rows.srcRow(i) + x * rows.srcBpp + 2 * s);
        store16(rows.dstRow(i) + x * rows.dstBpp + 2 * s, brightenSample(v, factor, maximum));
      }
    }
  }
  return 1;
}

}  // namespace pelnik::kernels
