// Production form of the Bayer demosaic. The 9-3-3-1 weights are the outer
// product of 3-1 with itself, so each output row first combines two raw rows
// per colour (3 x near + far) and then two columns, from four row pointers
// fixed per row. The border reuses the same row routine with its rows folded
// back inside and treats only its outer columns pixel by pixel.
#include <algorithm>

#include "imaging/conversion_kernels.h"
#include "imaging/demosaic_geometry.h"
#include "imaging/demosaic_rows.h"
#include "imaging/kernel_call.h"

namespace pelnik::kernels {

namespace {

using demosaic_rows::RawRows;
using demosaic_rows::RowJob;

template <int SampleBytes>
struct Demosaic {
  const KernelCall &c;
  int mode;
  int redFactor;
  int blueFactor;

  const std::uint8_t *rawRow(int y) const { return c.sourcePixel(c.rect.left, c.rect.top + y); }
  std::uint8_t *outRow(int y) const { return c.destPixel(c.dstX, c.dstRow + y); }

  RawRows rowsAround(int y, bool fold) const {
    const int height = c.height();
    const auto at = [&](int dy) {
      return rawRow(fold ? demosaic_geometry::fold(y + dy, height) : y + dy);
    };
    return RawRows{at(-2), at(-1), at(0), at(1)};
  }

  RowJob job(int y, bool foldRows, int xBegin, int xEnd) const {
    return RowJob{rowsAround(y, foldRows),
                  outRow(y),
                  bayer::rowFlag(mode, y),
                  bayer::columnFlag(mode, xBegin),
                  xBegin,
                  xEnd,
                  c.dstBpp,
                  redFactor,
                  blueFactor};
  }

  void span(const RowJob &j) const { demosaic_rows::run<SampleBytes>(j); }

  // One pixel with rows and columns folded: the border's outer columns.
  void foldedPixel(int x, int y) const {
    const int width = c.width();
    const RawRows rows = rowsAround(y, true);
    const auto sample = [&](const std::uint8_t *row, int dx) {
      return demosaic_rows::sample<SampleBytes>(row, demosaic_geometry::fold(x + dx, width));
    };
    const auto colourRows = demosaic_rows::ColourRows::of(rows, bayer::rowFlag(mode, y));
    demosaic_rows::writePixel<SampleBytes>(
        demosaic_rows::pixelFrom<SampleBytes>(sample, colourRows, bayer::columnFlag(mode, x),
                                              redFactor, blueFactor),
        outRow(y) + static_cast<std::ptrdiff_t>(x) * c.dstBpp);
  }

  int interior() const {
    const int width = c.width();
    for (int y = 2; y < c.height() - 2; ++y) span(job(y, false, 2, width - 2));
    return 1;
  }

  int border() const {
    const int width = c.width(), height = c.height();
    const auto outerColumns = [&](int y) {
      for (int x : {0, 1, width - 2, width - 1}) {
        if (x >= 0 && x < width) foldedPixel(x, y);
      }
    };
    for (int y : {0, 1, height - 2, height - 1}) {
      if (y < 0 || y >= height) continue;
      span(job(y, true, 2, width - 2));
      outerColumns(y);
    }
    for (int y = 2; y < height - 2; ++y) outerColumns(y);
    return 1;
  }
};

template <int SampleBytes>
Demosaic<SampleBytes> demosaicOf(const KernelCall &c) {
  const DemosaicBlock &block = kernelBlock<DemosaicBlock>(c.params);
  return Demosaic<SampleBytes>{c, block.bayerMode & 3, demosaicGainFactor(block.redGain),
                               demosaicGainFactor(block.blueGain)};
}

}  // namespace

int demosaic8Interior(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  return demosaicOf<1>(c).interior();
}
int demosaic8Border(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  return demosaicOf<1>(c).border();
}
int demosaic16Interior(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  return demosaicOf<2>(c).interior();
}
int demosaic16Border(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  return demosaicOf<2>(c).border();
}

}  // namespace pelnik::kernels
