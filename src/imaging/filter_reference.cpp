#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/filter_kernels.h"
#include "imaging/filter_params.h"

namespace pelnik::reference {

namespace {

template <class Block>
const Block &blockOf(void *params) {
  return **static_cast<Block **>(params);
}

int depthOf(int bitDepth) { return bitDepth < 8 ? 8 : bitDepth > 16 ? 16 : bitDepth; }

int read8(const std::uint8_t *memory, int stride, int bpp, int x, int y, int sample) {
  return memory[y * stride + x * bpp + sample];
}
void write8(std::uint8_t *memory, int stride, int bpp, int x, int y, int sample, int value) {
  memory[y * stride + x * bpp + sample] = static_cast<std::uint8_t>(value);
}
int read16(const std::uint8_t *memory, int stride, int bpp, int x, int y, int sample) {
  std::uint16_t value;
  std::memcpy(&value, memory + y * stride + x * bpp + sample * 2, 2);
  return value;
}
void write16(std::uint8_t *memory, int stride, int bpp, int x, int y, int sample, int value) {
  const auto stored = static_cast<std::uint16_t>(value);
  std::memcpy(memory + y * stride + x * bpp + sample * 2, &stored, 2);
}

int clampTo(int value, int low, int high) {
  return value < low ? low : value > high ? high : value;
}

// Colour pixels carry three samples (the fourth of 32/64-bit is spare).
int samplesOf(int bpp, int sampleBytes) { return bpp / sampleBytes >= 3 ? 3 : 1; }

// Visits every pixel of the rectangle: fn(sx, sy, dx, dy).
template <class Fn>
void eachPixel(const KernelRect &r, int dstX, int dstRow, Fn fn) {
  for (int i = 0; i < r.bottom - r.top; ++i) {
    for (int j = 0; j < r.right - r.left; ++j) fn(r.left + j, r.top + i, dstX + j, dstRow + i);
  }
}

// Gray site of a pixel: 0 = R, 1 = G1, 2 = G2, 3 = B (block order).
int graySite(int mode, int x, int y) {
  const int row = bayer::rowFlag(mode, y);
  const int column = bayer::columnFlag(mode, x);
  if (row == 0 && column == 0) return 1;
  if (row == 0) return 0;
  if (column == 0) return 3;
  return 2;
}

void grayGains(const GrayBlock &b, int gains[4], int offsets[4]) {
  gains[0] = b.gainR, gains[1] = b.gainG1, gains[2] = b.gainG2, gains[3] = b.gainB;
  offsets[0] = b.offsetR, offsets[1] = b.offsetG1, offsets[2] = b.offsetG2, offsets[3] = b.offsetB;
}

template <int SampleBytes>
int grayGain(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
             std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
             void *params) {
  const GrayBlock &b = blockOf<GrayBlock>(params);
  int gains[4], offsets[4];
  grayGains(b, gains, offsets);
  const int maximum = SampleBytes == 1 ? 255 : (1 << depthOf(b.bitDepth)) - 1;
  eachPixel(*rect, dstX, dstRow, [&](int sx, int sy, int dx, int dy) {
    const int site = graySite(b.bayerMode, sx, sy);
    if (SampleBytes == 1) {
      const int v = read8(src, srcStride, srcBpp, sx, sy, 0);
      const long long out = offsets[site] + (static_cast<long long>(gains[site]) * v) / 128;
      write8(dst, dstStride, dstBpp, dx, dy, 0,
             static_cast<int>(out < 0         ? 0
                              : out > maximum ? maximum
                                              : out));
    } else {
      const int v = read16(src, srcStride, srcBpp, sx, sy, 0);
      const long long out = offsets[site] + (static_cast<long long>(gains[site]) * v) / 128;
      write16(dst, dstStride, dstBpp, dx, dy, 0,
              static_cast<int>(out < 0         ? 0
                               : out > maximum ? maximum
                                               : out));
    }
  });
  return 1;
}

template <class Kernel16, class Kernel8>
int bySampleWidth(int bpp, Kernel8 eight, Kernel16 sixteen) {
  return bpp == 1 || bpp == 3 || bpp == 4 ? eight() : sixteen();
}

// The plain hue-and-saturation arithmetic on one pixel of 8-bit values.
struct HueArithmetic {
  int grey[256];
  int recip[256];
  int scale[256];
  int lim[512];
  int shift;

  HueArithmetic(int hue, int saturation) {
    for (int i = 0; i < 256; ++i) grey[i] = i * 0x010101;
    recip[0] = 0;
    for (int i = 1; i < 256; ++i) recip[i] = 0xFF0000 / i;
    for (int c = 0; c < 256; ++c) scale[c] = (c * (saturation + 256) * 256 + 0x8000) >> 16;
    for (int l = 0; l < 512; ++l) lim[l] = l <= 255 ? l : 511 - l;
    const int u = ((hue * 65536 / 360) & 0xFFFF) * 6 >> 8;
    int r = u & 0x1FF;
    if (r >= 256) r = r - 512;
    const int t = ((u + 256) >> 9) % 3;
    shift = t * 510 + r;
    if (shift < 0) shift += 1530;
    if (shift > 1529) shift -= 1530;
  }

  void apply(int &r, int &g, int &b) const {
    static const int mask[6] = {0xFF00FF, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF};
    static const int step[6] = {-1, 256, -65536, 1, -256, 65536};
    int maxv = r, minv = r, code = 1, d = g - b;
    if (g > maxv) maxv = g;
    if (b > maxv) maxv = b;
    if (g < minv) minv = g;
    if (b < minv) minv = b;
    if (r == maxv) {
      code = 1, d = g - b;
    } else if (g == maxv) {
      code = 3, d = b - r;
    } else {
      code = 5, d = r - g;
    }
    const int c = maxv - minv;
    const int l = maxv + minv;
    const int c2 = scale[c] < lim[l] ? scale[c] : lim[l];
    const int m2 = (l - c2) >> 1;
    const int span = ((c2 + l) >> 1) - m2;
    int p = grey[m2];
    if (c != 0) {
      int index = code - (d < 0 ? 1 : 0) + shift / 255;
      int frac = ((recip[c] * (d + (d < 0 ? c : 0)) + 0x8000) >> 16) + shift % 255;
      if (frac > 254) {
        frac = frac - 255;
        index = index + 1;
      }
      p = p + (grey[span] & mask[index % 6]) + ((span * frac + 128) >> 8) * step[index % 6];
    }
    r = (p >> 16) & 0xFF;
    g = (p >> 8) & 0xFF;
    b = p & 0xFF;
  }
};

}  // namespace

int grayGain8(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
              std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
              void *params, int) {
  return grayGain<1>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params);
}

int grayGain16(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
               std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
               void *params, int) {
  return grayGain<2>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params);
}

int grayCalibration(std::uint8_t *, std::uint8_t *src, KernelRect *rect, int, int, std::uint16_t,
                    std::uint16_t srcBpp, int, int srcStride, void *params, int) {
  GrayBlock &b = **static_cast<GrayBlock **>(params);
  const int full = calibrationFullScale(b.bitDepth);
  unsigned long long sums[4] = {0, 0, 0, 0};
  long long counts[4] = {0, 0, 0, 0};
  for (int y = rect->top; y < rect->bottom; ++y) {
    for (int x = rect->left; x < rect->right; ++x) {
      const int v =
          srcBpp == 1 ? read8(src, srcStride, 1, x, y, 0) : read16(src, srcStride, srcBpp, x, y, 0);
      if (v == 0 || v == full) continue;
      const int site = graySite(b.bayerMode, x, y);
      sums[site] += static_cast<unsigned>(v);
      counts[site] += 1;
    }
  }
  for (long long count : counts) {
    if (count == 0) return 1;
  }
  double means[4];
  double brightest = 0.0;
  for (int s = 0; s < 4; ++s) {
    means[s] = static_cast<double>(sums[s]) / static_cast<double>(counts[s]);
    if (means[s] > brightest) brightest = means[s];
  }
  b.gainR = static_cast<int>(brightest / means[0] * 128);
  b.gainG1 = static_cast<int>(brightest / means[1] * 128);
  b.gainG2 = static_cast<int>(brightest / means[2] * 128);
  b.gainB = static_cast<int>(brightest / means[3] * 128);
  return 1;
}

int hueSaturation8(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
                   std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
                   void *params, int) {
  const HueBlock &block = blockOf<HueBlock>(params);
  const HueArithmetic hue(block.hue, block.saturation);
  eachPixel(*rect, dstX, dstRow, [&](int sx, int sy, int dx, int dy) {
    int b = read8(src, srcStride, srcBpp, sx, sy, 0);
    int g = read8(src, srcStride, srcBpp, sx, sy, 1);
    int r = read8(src, srcStride, srcBpp, sx, sy, 2);
    hue.apply(r, g, b);
    write8(dst, dstStride, dstBpp, dx, dy, 0, b);
    write8(dst, dstStride, dstBpp, dx, dy, 1, g);
    write8(dst, dstStride, dstBpp, dx, dy, 2, r);
  });
  return 1;
}

int hueSaturation16(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
                    std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
                    void *params, int) {
  const HueBlock &block = blockOf<HueBlock>(params);
  const HueArithmetic hue(block.hue, block.saturation);
  const int down = depthOf(block.bitDepth) - 8;
  eachPixel(*rect, dstX, dstRow, [&](int sx, int sy, int dx, int dy) {
    int c[3];
    for (int s = 0; s < 3; ++s) {
      c[s] = read16(src, srcStride, srcBpp, sx, sy, s) >> down;
      if (c[s] > 255) c[s] = 255;  // a sample beyond the bit depth
    }
    hue.apply(c[2], c[1], c[0]);
    for (int s = 0; s < 3; ++s) write16(dst, dstStride, dstBpp, dx, dy, s, c[s] << down);
  });
  return 1;
}

namespace {

// Per-sample stage: out = fn(sample), over the samples of every pixel.
template <int SampleBytes, class Fn>
int perSample(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
              std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride, Fn fn) {
  const int samples = samplesOf(srcBpp, SampleBytes);
  eachPixel(*rect, dstX, dstRow, [&](int sx, int sy, int dx, int dy) {
    for (int s = 0; s < samples; ++s) {
      if (SampleBytes == 1) {
        write8(dst, dstStride, dstBpp, dx, dy, s, fn(read8(src, srcStride, srcBpp, sx, sy, s)));
      } else {
        write16(dst, dstStride, dstBpp, dx, dy, s, fn(read16(src, srcStride, srcBpp, sx, sy, s)));
      }
    }
  });
  return 1;
}

int gamma8(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
           std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride, void *params,
           bool limited) {
  const int gamma = blockOf<ValueBlock>(params).value;
  double e = gamma > 100 ? (gamma - 100) / 10.0 + 1 : gamma / 100.0;
  if (limited) e = e < 0.001 ? 0.001 : e > 99.999 ? 99.999 : e;
  int table[256];
  for (int i = 0; i < 256; ++i) table[i] = static_cast<int>(std::pow(i / 255.0, e) * 255);
  return perSample<1>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride,
                      [&](int v) { return table[v]; });
}

}  // namespace

int gammaGray8(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
               std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
               void *params, int) {
  return gamma8(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params, false);
}

int gammaColour8(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
                 std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
                 void *params, int) {
  return gamma8(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params, true);
}

int gamma16(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
            std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride, void *params,
            int) {
  const ValueBlock &block = blockOf<ValueBlock>(params);
  const int gamma = block.value;
  const double e = gamma > 100 ? (gamma - 100) / 10.0 + 1 : gamma / 100.0;
  const int n = 1 << depthOf(block.bitDepth);
  std::vector<int> table(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    table[i] = static_cast<int>(std::pow(i / static_cast<double>(n), e) * (n - 1));
  }
  return perSample<2>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride,
                      [&](int v) { return table[v < n ? v : n - 1]; });
}

int contrast8(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
              std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
              void *params, int) {
  const int k = blockOf<ValueBlock>(params).value;
  int table[256];
  for (int i = 0; i < 256; ++i) {
    if (k >= 128) {
      table[i] = 0;
    } else if (i < k) {
      table[i] = 0;
    } else if (i > 255 - k) {
      table[i] = 255;
    } else {
      table[i] = static_cast<int>(256.0 / (256 - 2 * k) * (i - k));
    }
  }
  return perSample<1>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride,
                      [&](int v) { return table[v]; });
}

int contrast16(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
               std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
               void *params, int) {
  const ValueBlock &block = blockOf<ValueBlock>(params);
  const int bits = depthOf(block.bitDepth);
  const int big = 1 << bits;
  const int k = block.value * (1 << (bits - 8));
  std::vector<int> table(static_cast<std::size_t>(big));
  for (int i = 0; i < big; ++i) {
    table[i] = 0;
    if (k <= (1 << (bits - 1)) - 1 && i >= k) {
      if (i > big - k - 1) {
        table[i] = big - 1;
      } else {
        table[i] = static_cast<int>(static_cast<double>(big) / (big - 2 * k) * (i - k));
      }
    }
  }
  return perSample<2>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride,
                      [&](int v) { return v >= big ? big - 1 : table[v]; });
}

namespace {

template <int SampleBytes>
int sharpness(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
              std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
              void *params) {
  const ValueBlock &block = blockOf<ValueBlock>(params);
  const int f = SampleBytes == 1 ? 255 : (1 << depthOf(block.bitDepth)) - 1;
  std::vector<int> table(static_cast<std::size_t>(2 * f + 2));
  for (int j = 0; j <= 2 * f + 1; ++j) table[j] = (block.value * (j - f)) / 10;
  const int samples = samplesOf(srcBpp, SampleBytes);
  const int width = rect->right - rect->left;
  const int height = rect->bottom - rect->top;
  auto sample = [&](int x, int y, int s) {
    const int v = SampleBytes == 1 ? read8(src, srcStride, srcBpp, x, y, s)
                                   : read16(src, srcStride, srcBpp, x, y, s);
    return v > f ? f : v;  // a sample beyond the bit depth reads as full scale
  };
  for (int i = 2; i < height - 2; ++i) {
    for (int j = 2; j < width - 2; ++j) {
      const int x = rect->left + j;
      const int y = rect->top + i;
      for (int s = 0; s < samples; ++s) {
        int sum = 0;
        for (int by = y - 2; by <= y + 1; ++by) {
          for (int bx = x - 2; bx <= x + 1; ++bx) sum += sample(bx, by, s);
        }
        const int blur = sum >> 4;
        const int orig = sample(x, y, s);
        const int out = clampTo(orig + table[orig - blur + f], 0, f);
        if (SampleBytes == 1) {
          write8(dst, dstStride, dstBpp, dstX + j, dstRow + i, s, out);
        } else {
          write16(dst, dstStride, dstBpp, dstX + j, dstRow + i, s, out);
        }
      }
    }
  }
  return 1;
}

}  // namespace

int sharpness8(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
               std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
               void *params, int) {
  return sharpness<1>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params);
}

int sharpness16(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
                std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
                void *params, int) {
  return sharpness<2>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params);
}

namespace {

float factorOf(int b) {
  double k = 1.0;
  if (b < 0) k = 1 - std::abs(b) / 255.0;
  if (b > 0) k = 1 + 10.0 * b / 255.0;
  return static_cast<float>(k);
}

}  // namespace

int brightness8(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
                std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
                void *params, int) {
  const float k = factorOf(blockOf<ValueBlock>(params).value);
  return perSample<1>(dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride,
                      [&](int v) {
                        const float product = static_cast<float>(v) * k;
                        return product >= 255.0f ? 255 : static_cast<int>(product);
                      });
}

int brightness16(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
                 std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
                 void *params, int) {
  const ValueBlock &block = blockOf<ValueBlock>(params);
  const float k = factorOf(block.value);
  const int maximum = (1 << depthOf(block.bitDepth)) - 1;
  return perSample<2>(
      dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, [&](int v) {
        const float product = static_cast<float>(v) * k;
        return product >= static_cast<float>(maximum) ? maximum : static_cast<int>(product);
      });
}

}  // namespace pelnik::reference
