// Production forms of the conversion kernels other than the demosaic: row
// pointers computed once per row, fixed pixel steps known at compile time,
// and straight loops the compiler vectorises.
#include "imaging/conversion_kernels.h"

#include <algorithm>
#include <cstring>

#include "imaging/conversion_vector.h"
#include "imaging/kernel_call.h"
#include "imaging/sample_access.h"

namespace pelnik::kernels {

namespace {

// fn(destination row, source row, width) for every row of the rectangle.
template <class RowFn>
int eachRow(const KernelCall &c, bool flipped, RowFn fn) {
  const int width = c.width();
  for (int i = 0; i < c.height(); ++i) {
    fn(c.destPixel(c.dstX, c.dstRow + i), c.sourcePixel(c.rect.left, c.sourceRow(i, flipped)),
       width);
  }
  return 1;
}

// Per-pixel map with both pixel steps fixed: out[0..] from in[0..].
template <int DstStep, int SrcStep, class PixelFn>
int eachPixel(const KernelCall &c, bool flipped, PixelFn fn) {
  // A buffer of another depth would be walked past its rows' ends.
  if (c.dstBpp != DstStep || c.srcBpp != SrcStep) return 0;
  return eachRow(c, flipped, [&](std::uint8_t *out, const std::uint8_t *in, int width) {
    for (int x = 0; x < width; ++x) fn(out + x * DstStep, in + x * SrcStep);
  });
}

// The same with the source step taken from the call (48 or 64-bit sources).
template <int DstStep, class PixelFn>
int eachPixelAnySource(const KernelCall &c, bool flipped, PixelFn fn) {
  if (c.srcBpp == 8) return eachPixel<DstStep, 8>(c, flipped, fn);
  return eachPixel<DstStep, 6>(c, flipped, fn);
}

bool blitFlip(const KernelCall &c) { return c.params && kernelBlock<BlitBlock>(c.params).flip; }

int restride(const KernelCall &c, int bpp) {
  const std::size_t packedRow = static_cast<std::size_t>(c.width()) * bpp;
  if (packedRow == static_cast<std::size_t>(c.dstStride)) return 1;
  // Last row first: every row moves to a higher address, and rows not yet
  // moved lie below the ones being written.
  for (int row = c.height() - 1; row > 0; --row) {
    std::memmove(c.dst + static_cast<std::size_t>(row) * c.dstStride, c.dst + row * packedRow,
                 packedRow);
  }
  return 1;
}

int sixteenTo8(const KernelCall &c, bool flipped, int shift) {
  return eachPixel<1, 2>(c, flipped, [shift](std::uint8_t *out, const std::uint8_t *in) {
    *out = static_cast<std::uint8_t>(load16(in) >> shift);
  });
}

int sixteenShifted(const KernelCall &c, int shift) {
  return eachPixel<2, 2>(c, false, [shift](std::uint8_t *out, const std::uint8_t *in) {
    store16(out, static_cast<std::uint32_t>(load16(in)) << shift);
  });
}

int threeSamplesTo8(const KernelCall &c, bool flipped) {
  return eachPixelAnySource<3>(c, flipped, [](std::uint8_t *out, const std::uint8_t *in) {
    out[0] = static_cast<std::uint8_t>(load16(in) >> 2);
    out[1] = static_cast<std::uint8_t>(load16(in + 2) >> 2);
    out[2] = static_cast<std::uint8_t>(load16(in + 4) >> 2);
  });
}

// Whole pixels of equal size: one block copy per row.
int copyRows(const KernelCall &c, bool flipped) {
  if (c.dstBpp != c.srcBpp) return 0;  // rows of different widths
  return eachRow(c, flipped, [&](std::uint8_t *out, const std::uint8_t *in, int width) {
    std::memmove(out, in, static_cast<std::size_t>(width) * c.srcBpp);
  });
}

int firstThreeBytes(const KernelCall &c, bool flipped) {
  if (c.srcBpp == 3) return copyRows(c, flipped);
  return eachPixel<3, 4>(c, flipped, [](std::uint8_t *out, const std::uint8_t *in) {
    out[0] = in[0];
    out[1] = in[1];
    out[2] = in[2];
  });
}

template <int Shift, bool Swapped, bool Opaque>
int shiftSamples(const KernelCall &c) {
  constexpr int dstStep = Opaque ? 8 : 6;
  return eachPixelAnySource<dstStep>(c, false, [](std::uint8_t *out, const std::uint8_t *in) {
    const std::uint32_t first = load16(in), second = load16(in + 2), third = load16(in + 4);
    store16(out, (Swapped ? third : first) << Shift);
    store16(out + 2, second << Shift);
    store16(out + 4, (Swapped ? first : third) << Shift);
    if (Opaque) store16(out + 6, 0xFFFF);
  });
}

template <int Bytes>
int scale(std::uint8_t *dst, const std::uint8_t *src, const KernelRect &d, const KernelRect &s,
          int dstWidth, int dstHeight, int srcWidth, int srcHeight, int dstStride, int srcStride) {
  const float yRatio = static_cast<float>(s.height()) / static_cast<float>(d.height());
  const float xRatio = static_cast<float>(s.width()) / static_cast<float>(d.width());
  // Source columns are the same for every row: worked out once per call
  // (in chunks, to stay off the heap), for the destination columns that lie
  // inside the destination buffer.
  const int firstColumn = std::max(0, -d.left);
  const int endColumn = std::min(d.width(), dstWidth - d.left);
  constexpr int chunk = 1024;
  int columns[chunk];
  for (int j0 = firstColumn; j0 < endColumn; j0 += chunk) {
    const int n = std::min(chunk, endColumn - j0);
    for (int k = 0; k < n; ++k) {
      const int rx = static_cast<int>(xRatio * static_cast<float>(j0 + k));
      columns[k] = std::clamp(rx, 0, srcWidth - 1) * Bytes;
    }
    for (int i = 0; i < d.height(); ++i) {
      const int dy = d.top + i;
      if (dy < 0 || dy >= dstHeight) continue;
      const int ry = std::clamp(static_cast<int>(yRatio * static_cast<float>(i)), 0, srcHeight - 1);
      const int row = std::clamp(s.bottom - ry - 1, 0, srcHeight - 1);
      const std::uint8_t *in = src + static_cast<std::ptrdiff_t>(row) * srcStride;
      std::uint8_t *out = dst + static_cast<std::ptrdiff_t>(dy) * dstStride +
                          static_cast<std::ptrdiff_t>(d.left + j0) * Bytes;
      for (int k = 0; k < n; ++k) {
        for (int b = 0; b < Bytes; ++b) out[k * Bytes + b] = in[columns[k] + b];
      }
    }
  }
  return 1;
}

}  // namespace

int restride8(KERNEL_ARGS) { return restride(KernelCall::of(KERNEL_CALL), 1); }
int restride16(KERNEL_ARGS) { return restride(KernelCall::of(KERNEL_CALL), 2); }

int luminance(KERNEL_ARGS) {
  return eachRow(KernelCall::of(KERNEL_CALL), false,
                 [](std::uint8_t *out, const std::uint8_t *in, int width) {
                   for (int x = conversion_vector::luminanceRow(in, out, width); x < width; ++x) {
                     const std::uint8_t *p = in + x * 3;
                     // sum / 100 as a multiply and shift, exact for sums up to 25500.
                     const std::uint32_t sum = 11u * p[0] + 59u * p[1] + 30u * p[2];
                     out[x] = static_cast<std::uint8_t>((sum * 41944u) >> 22);
                   }
                 });
}

int reduce16To8(KERNEL_ARGS) { return sixteenTo8(KernelCall::of(KERNEL_CALL), false, 2); }
int reduce48To24(KERNEL_ARGS) { return threeSamplesTo8(KernelCall::of(KERNEL_CALL), false); }
int reduce32To24(KERNEL_ARGS) { return firstThreeBytes(KernelCall::of(KERNEL_CALL), false); }

int tenBitTo8Flipped(KERNEL_ARGS) { return sixteenTo8(KernelCall::of(KERNEL_CALL), true, 2); }
int twelveBitTo8Flipped(KERNEL_ARGS) { return sixteenTo8(KernelCall::of(KERNEL_CALL), true, 4); }
int twelveBitTo16(KERNEL_ARGS) { return sixteenShifted(KernelCall::of(KERNEL_CALL), 4); }
int tenBitTo16(KERNEL_ARGS) { return sixteenShifted(KernelCall::of(KERNEL_CALL), 6); }
int reduce48To24Flipped(KERNEL_ARGS) { return threeSamplesTo8(KernelCall::of(KERNEL_CALL), true); }
int copy24Flipped(KERNEL_ARGS) { return copyRows(KernelCall::of(KERNEL_CALL), true); }

int rowCopyFlipped(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  const auto bytes = static_cast<std::size_t>(std::min(c.dstStride, c.srcStride));
  for (int i = 0; i < c.height(); ++i) {
    std::memmove(c.dst + static_cast<std::ptrdiff_t>(c.dstRow + i) * c.dstStride,
                 c.src + static_cast<std::ptrdiff_t>(c.sourceRow(i, true)) * c.srcStride, bytes);
  }
  return 1;
}

int swap24(KERNEL_ARGS) {
  return eachPixel<3, 3>(KernelCall::of(KERNEL_CALL), false,
                         [](std::uint8_t *out, const std::uint8_t *in) {
                           const std::uint8_t first = in[0], second = in[1], third = in[2];
                           out[0] = third;
                           out[1] = second;
                           out[2] = first;
                         });
}

int copy32WithAlpha(KERNEL_ARGS) {
  return eachPixel<4, 4>(KernelCall::of(KERNEL_CALL), false,
                         [](std::uint8_t *out, const std::uint8_t *in) {
                           const std::uint8_t alpha = static_cast<std::uint8_t>(255 - in[3]);
                           out[0] = in[0];
                           out[1] = in[1];
                           out[2] = in[2];
                           out[3] = alpha;
                         });
}

int shift48By4(KERNEL_ARGS) { return shiftSamples<4, false, false>(KernelCall::of(KERNEL_CALL)); }
int shift48By6(KERNEL_ARGS) { return shiftSamples<6, false, false>(KernelCall::of(KERNEL_CALL)); }
int shift48By4Swapped(KERNEL_ARGS) {
  return shiftSamples<4, true, false>(KernelCall::of(KERNEL_CALL));
}
int shift48By6Swapped(KERNEL_ARGS) {
  return shiftSamples<6, true, false>(KernelCall::of(KERNEL_CALL));
}
int to64Shift4(KERNEL_ARGS) { return shiftSamples<4, false, true>(KernelCall::of(KERNEL_CALL)); }
int to64Shift6(KERNEL_ARGS) { return shiftSamples<6, false, true>(KernelCall::of(KERNEL_CALL)); }
int to64Shift4Swapped(KERNEL_ARGS) {
  return shiftSamples<4, true, true>(KernelCall::of(KERNEL_CALL));
}
int to64Shift6Swapped(KERNEL_ARGS) {
  return shiftSamples<6, true, true>(KernelCall::of(KERNEL_CALL));
}

int blitSameDepth(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  return copyRows(c, blitFlip(c));
}

int blit8To24(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  const std::uint8_t *given = c.params ? kernelBlock<BlitBlock>(c.params).colourTable : nullptr;
  // Three bytes per entry, packed, so each pixel is one short copy.
  std::uint8_t table[256 * 3];
  for (int i = 0; i < 256; ++i) {
    for (int b = 0; b < 3; ++b) {
      table[i * 3 + b] = given ? given[i * 4 + b] : static_cast<std::uint8_t>(i);
    }
  }
  return eachPixel<3, 1>(c, blitFlip(c), [&table](std::uint8_t *out, const std::uint8_t *in) {
    std::memcpy(out, table + *in * 3, 3);
  });
}

int blit32To24(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  return firstThreeBytes(c, blitFlip(c));
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

}  // namespace pelnik::kernels
