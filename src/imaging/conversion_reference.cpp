// Reference forms of the conversion kernels: the arithmetic written out
// pixel by pixel, with no care for speed. Only the tests and benchmarks run
// them; the library runs the forms of conversion_kernels.cpp and demosaic.cpp.
#include <algorithm>
#include <cstring>

#include "imaging/conversion_kernels.h"
#include "imaging/demosaic_geometry.h"
#include "imaging/kernel_call.h"

namespace pelnik::reference {

namespace {

int get8(const std::uint8_t *memory, int stride, int bpp, int x, int y, int sample) {
  return memory[y * stride + x * bpp + sample];
}
void put8(std::uint8_t *memory, int stride, int bpp, int x, int y, int sample, int value) {
  memory[y * stride + x * bpp + sample] = static_cast<std::uint8_t>(value);
}
int get16(const std::uint8_t *memory, int stride, int bpp, int x, int y, int sample) {
  std::uint16_t value;
  std::memcpy(&value, memory + y * stride + x * bpp + sample * 2, 2);
  return value;
}
void put16(std::uint8_t *memory, int stride, int bpp, int x, int y, int sample, int value) {
  const auto stored = static_cast<std::uint16_t>(value);
  std::memcpy(memory + y * stride + x * bpp + sample * 2, &stored, 2);
}

// Sample readers and writers of one kernel call.
struct Pixels {
  const KernelCall &c;
  int in8(int x, int y, int s) const { return get8(c.src, c.srcStride, c.srcBpp, x, y, s); }
  int in16(int x, int y, int s) const { return get16(c.src, c.srcStride, c.srcBpp, x, y, s); }
  void out8(int x, int y, int s, int v) const { put8(c.dst, c.dstStride, c.dstBpp, x, y, s, v); }
  void out16(int x, int y, int s, int v) const { put16(c.dst, c.dstStride, c.dstBpp, x, y, s, v); }
};

// fn(pixels, sx, sy, dx, dy) for every pixel of the rectangle.
template <class Fn>
int eachPixel(const KernelCall &c, bool flipped, Fn fn) {
  const Pixels p{c};
  for (int i = 0; i < c.height(); ++i) {
    for (int j = 0; j < c.width(); ++j) {
      fn(p, c.rect.left + j, c.sourceRow(i, flipped), c.dstX + j, c.dstRow + i);
    }
  }
  return 1;
}

bool blitFlip(const KernelCall &c) { return c.params && kernelBlock<BlitBlock>(c.params).flip; }

int restride(const KernelCall &c, int bpp) {
  const int width = c.width();
  for (int row = c.height() - 1; row >= 0; --row) {
    for (int column = width - 1; column >= 0; --column) {
      for (int b = bpp - 1; b >= 0; --b) {
        c.dst[row * c.dstStride + column * bpp + b] = c.dst[(row * width + column) * bpp + b];
      }
    }
  }
  return 1;
}

// One demosaiced pixel from the table of the four flag combinations.
// `at(dx, dy)` reads the raw sample at (x + dx, y + dy).
template <class At>
void demosaicPixel(At at, int rowFlag, int columnFlag, int redFactor, int blueFactor, int maximum,
                   int out[3]) {
  long long red, blue;
  int green;
  if (rowFlag == 0 && columnFlag == 0) {
    red = 9 * at(0, -1) + 3 * at(-2, -1) + 3 * at(0, 1) + at(-2, 1);
    blue = 9 * at(-1, 0) + 3 * at(1, 0) + 3 * at(-1, -2) + at(1, -2);
    green = (at(0, 0) + at(-1, -1)) >> 1;
  } else if (rowFlag == 0) {
    red = 9 * at(-1, -1) + 3 * at(1, -1) + 3 * at(-1, 1) + at(1, 1);
    blue = 9 * at(0, 0) + 3 * at(-2, 0) + 3 * at(0, -2) + at(-2, -2);
    green = (at(-1, 0) + at(0, -1)) >> 1;
  } else if (columnFlag == 0) {
    red = 9 * at(0, 0) + 3 * at(-2, 0) + 3 * at(0, -2) + at(-2, -2);
    blue = 9 * at(-1, -1) + 3 * at(1, -1) + 3 * at(-1, 1) + at(1, 1);
    green = (at(-1, 0) + at(0, -1)) >> 1;
  } else {
    red = 9 * at(-1, 0) + 3 * at(1, 0) + 3 * at(-1, -2) + at(1, -2);
    blue = 9 * at(0, -1) + 3 * at(-2, -1) + 3 * at(0, 1) + at(-2, 1);
    green = (at(0, 0) + at(-1, -1)) >> 1;
  }
  out[0] = static_cast<int>(std::min<long long>((blue * blueFactor) >> 11, maximum));
  out[1] = std::min(green, maximum);
  out[2] = static_cast<int>(std::min<long long>((red * redFactor) >> 11, maximum));
}

// Picture coordinates are rectangle-relative. The border form folds
// neighbours that fall outside back inside; the interior form needs not.
template <int SampleBytes, bool Border>
int demosaic(const KernelCall &c) {
  const DemosaicBlock &block = kernelBlock<DemosaicBlock>(c.params);
  const int width = c.width(), height = c.height();
  const int maximum = SampleBytes == 1 ? 255 : 1023;
  const int redFactor = demosaicGainFactor(block.redGain);
  const int blueFactor = demosaicGainFactor(block.blueGain);
  const Pixels p{c};
  const auto pixel = [&](int x, int y) {
    const auto at = [&](int dx, int dy) -> long long {
      int sx = x + dx, sy = y + dy;
      if (Border) {
        sx = demosaic_geometry::fold(sx, width);
        sy = demosaic_geometry::fold(sy, height);
      }
      return SampleBytes == 1 ? p.in8(c.rect.left + sx, c.rect.top + sy, 0)
                              : p.in16(c.rect.left + sx, c.rect.top + sy, 0);
    };
    int out[3];
    demosaicPixel(at, bayer::rowFlag(block.bayerMode, y), bayer::columnFlag(block.bayerMode, x),
                  redFactor, blueFactor, maximum, out);
    for (int s = 0; s < 3; ++s) {
      if (SampleBytes == 1) {
        p.out8(c.dstX + x, c.dstRow + y, s, out[s]);
      } else {
        p.out16(c.dstX + x, c.dstRow + y, s, out[s]);
      }
    }
  };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (demosaic_geometry::onBorder(x, y, width, height) == Border) pixel(x, y);
    }
  }
  return 1;
}

int sixteenTo8(const KernelCall &c, bool flipped, int shift) {
  return eachPixel(c, flipped, [&](const Pixels &p, int sx, int sy, int dx, int dy) {
    p.out8(dx, dy, 0, (p.in16(sx, sy, 0) >> shift) & 0xFF);
  });
}

int sixteenShifted(const KernelCall &c, int shift) {
  return eachPixel(c, false, [&](const Pixels &p, int sx, int sy, int dx, int dy) {
    p.out16(dx, dy, 0, p.in16(sx, sy, 0) << shift);
  });
}

int threeSamplesTo8(const KernelCall &c, bool flipped) {
  return eachPixel(c, flipped, [&](const Pixels &p, int sx, int sy, int dx, int dy) {
    for (int s = 0; s < 3; ++s) p.out8(dx, dy, s, (p.in16(sx, sy, s) >> 2) & 0xFF);
  });
}

int copyBytes(const KernelCall &c, bool flipped, int bytes) {
  return eachPixel(c, flipped, [&](const Pixels &p, int sx, int sy, int dx, int dy) {
    for (int b = 0; b < bytes; ++b) p.out8(dx, dy, b, p.in8(sx, sy, b));
  });
}

int shiftSamples(const KernelCall &c, int shift, bool swapped, bool opaqueFourth) {
  return eachPixel(c, false, [&](const Pixels &p, int sx, int sy, int dx, int dy) {
    int s[3];
    for (int i = 0; i < 3; ++i) s[i] = p.in16(sx, sy, i) << shift;
    if (swapped) std::swap(s[0], s[2]);
    for (int i = 0; i < 3; ++i) p.out16(dx, dy, i, s[i]);
    if (opaqueFourth) p.out16(dx, dy, 3, 0xFFFF);
  });
}

template <int Bytes>
int scale(std::uint8_t *dst, const std::uint8_t *src, const KernelRect &d, const KernelRect &s,
          int dstWidth, int dstHeight, int srcWidth, int srcHeight, int dstStride, int srcStride) {
  for (int i = 0; i < d.height(); ++i) {
    for (int j = 0; j < d.width(); ++j) {
      const float yRatio = static_cast<float>(s.height()) / static_cast<float>(d.height());
      const float xRatio = static_cast<float>(s.width()) / static_cast<float>(d.width());
      const int ry = std::clamp(static_cast<int>(yRatio * static_cast<float>(i)), 0, srcHeight - 1);
      const int rx = std::clamp(static_cast<int>(xRatio * static_cast<float>(j)), 0, srcWidth - 1);
      // Rectangles come unclipped: the source row is held inside the source
      // and pixels outside the destination are skipped.
      const int row = std::clamp(s.bottom - ry - 1, 0, srcHeight - 1);
      const int dx = d.left + j, dy = d.top + i;
      if (dx < 0 || dx >= dstWidth || dy < 0 || dy >= dstHeight) continue;
      for (int b = 0; b < Bytes; ++b) {
        put8(dst, dstStride, Bytes, dx, dy, b, get8(src, srcStride, Bytes, rx, row, b));
      }
    }
  }
  return 1;
}

}  // namespace

int restride8(KERNEL_ARGS) { return restride(KernelCall::of(KERNEL_CALL), 1); }
int restride16(KERNEL_ARGS) { return restride(KernelCall::of(KERNEL_CALL), 2); }

int demosaic8Interior(KERNEL_ARGS) { return demosaic<1, false>(KernelCall::of(KERNEL_CALL)); }
int demosaic8Border(KERNEL_ARGS) { return demosaic<1, true>(KernelCall::of(KERNEL_CALL)); }
int demosaic16Interior(KERNEL_ARGS) { return demosaic<2, false>(KernelCall::of(KERNEL_CALL)); }
int demosaic16Border(KERNEL_ARGS) { return demosaic<2, true>(KernelCall::of(KERNEL_CALL)); }

int luminance(KERNEL_ARGS) {
  return eachPixel(KernelCall::of(KERNEL_CALL), false,
                   [](const Pixels &p, int sx, int sy, int dx, int dy) {
                     const int blue = p.in8(sx, sy, 0), green = p.in8(sx, sy, 1);
                     const int red = p.in8(sx, sy, 2);
                     p.out8(dx, dy, 0, (59 * green + 30 * red + 11 * blue) / 100);
                   });
}

int reduce16To8(KERNEL_ARGS) { return sixteenTo8(KernelCall::of(KERNEL_CALL), false, 2); }
int reduce48To24(KERNEL_ARGS) { return threeSamplesTo8(KernelCall::of(KERNEL_CALL), false); }
int reduce32To24(KERNEL_ARGS) { return copyBytes(KernelCall::of(KERNEL_CALL), false, 3); }

int tenBitTo8Flipped(KERNEL_ARGS) { return sixteenTo8(KernelCall::of(KERNEL_CALL), true, 2); }
int twelveBitTo8Flipped(KERNEL_ARGS) { return sixteenTo8(KernelCall::of(KERNEL_CALL), true, 4); }
int twelveBitTo16(KERNEL_ARGS) { return sixteenShifted(KernelCall::of(KERNEL_CALL), 4); }
int tenBitTo16(KERNEL_ARGS) { return sixteenShifted(KernelCall::of(KERNEL_CALL), 6); }
int reduce48To24Flipped(KERNEL_ARGS) { return threeSamplesTo8(KernelCall::of(KERNEL_CALL), true); }
int copy24Flipped(KERNEL_ARGS) { return copyBytes(KernelCall::of(KERNEL_CALL), true, 3); }

int rowCopyFlipped(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  const int bytes = std::min(c.dstStride, c.srcStride);
  for (int i = 0; i < c.height(); ++i) {
    for (int b = 0; b < bytes; ++b) {
      c.dst[(c.dstRow + i) * c.dstStride + b] = c.src[c.sourceRow(i, true) * c.srcStride + b];
    }
  }
  return 1;
}

int swap24(KERNEL_ARGS) {
  return eachPixel(KernelCall::of(KERNEL_CALL), false,
                   [](const Pixels &p, int sx, int sy, int dx, int dy) {
                     const int first = p.in8(sx, sy, 0), second = p.in8(sx, sy, 1);
                     const int third = p.in8(sx, sy, 2);
                     p.out8(dx, dy, 0, third);
                     p.out8(dx, dy, 1, second);
                     p.out8(dx, dy, 2, first);
                   });
}

int copy32WithAlpha(KERNEL_ARGS) {
  return eachPixel(KernelCall::of(KERNEL_CALL), false,
                   [](const Pixels &p, int sx, int sy, int dx, int dy) {
                     const int alpha = 255 - p.in8(sx, sy, 3);
                     for (int b = 0; b < 3; ++b) p.out8(dx, dy, b, p.in8(sx, sy, b));
                     p.out8(dx, dy, 3, alpha);
                   });
}

int shift48By4(KERNEL_ARGS) { return shiftSamples(KernelCall::of(KERNEL_CALL), 4, false, false); }
int shift48By6(KERNEL_ARGS) { return shiftSamples(KernelCall::of(KERNEL_CALL), 6, false, false); }
int shift48By4Swapped(KERNEL_ARGS) {
  return shiftSamples(KernelCall::of(KERNEL_CALL), 4, true, false);
}
int shift48By6Swapped(KERNEL_ARGS) {
  return shiftSamples(KernelCall::of(KERNEL_CALL), 6, true, false);
}
int to64Shift4(KERNEL_ARGS) { return shiftSamples(KernelCall::of(KERNEL_CALL), 4, false, true); }
int to64Shift6(KERNEL_ARGS) { return shiftSamples(KernelCall::of(KERNEL_CALL), 6, false, true); }
int to64Shift4Swapped(KERNEL_ARGS) {
  return shiftSamples(KernelCall::of(KERNEL_CALL), 4, true, true);
}
int to64Shift6Swapped(KERNEL_ARGS) {
  return shiftSamples(KernelCall::of(KERNEL_CALL), 6, true, true);
}

int blitSameDepth(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  return copyBytes(c, blitFlip(c), c.srcBpp);
}

int blit8To24(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  const std::uint8_t *table = c.params ? kernelBlock<BlitBlock>(c.params).colourTable : nullptr;
  return eachPixel(c, blitFlip(c), [&](const Pixels &p, int sx, int sy, int dx, int dy) {
    const int index = p.in8(sx, sy, 0);
    for (int b = 0; b < 3; ++b) p.out8(dx, dy, b, table ? table[index * 4 + b] : index);
  });
}

int blit32To24(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  return copyBytes(c, blitFlip(c), 3);
}

int scale8(SCALED_KERNEL_ARGS) {
  (void)dstBpp, (void)srcBpp, (void)extra1, (void)extra2;
  return scale<1>(dst, src, *dstRect, *srcRect, dstWidth, dstHeight, srcWidth, srcHeight, dstStride,
                  srcStride);
}

int scale24(SCALED_KERNEL_ARGS) {
  (void)dstBpp, (void)srcBpp, (void)extra1, (void)extra2;
  return scale<3>(dst, src, *dstRect, *srcRect, dstWidth, dstHeight, srcWidth, srcHeight, dstStride,
                  srcStride);
}

}  // namespace pelnik::reference
