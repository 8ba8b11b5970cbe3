#pragma once
// Row addressing of a kernel call, computed once: the first source and
// destination byte of every row of the clipped rectangle.
#include <cstdint>

#include "imaging/kernel.h"

namespace pelnik {

struct KernelRows {
  std::uint8_t *dst;
  const std::uint8_t *src;
  int width;   // pixels per row
  int height;  // rows
  int dstStride, srcStride;
  int dstBpp, srcBpp;
  int srcLeft, srcTop;  // source position of the first pixel, for Bayer flags

  std::uint8_t *dstRow(int i) const { return dst + static_cast<std::ptrdiff_t>(i) * dstStride; }
  const std::uint8_t *srcRow(int i) const {
    return src + static_cast<std::ptrdiff_t>(i) * srcStride;
  }
};

inline KernelRows kernelRows(std::uint8_t *dst, const std::uint8_t *src, const KernelRect &r,
                             int dstX, int dstRow, int dstBpp, int srcBpp, int dstStride,
                             int srcStride) {
  KernelRows rows{};
  rows.width = r.right - r.left;
  rows.height = r.bottom - r.top;
  rows.dstStride = dstStride;
  rows.srcStride = srcStride;
  rows.dstBpp = dstBpp;
  rows.srcBpp = srcBpp;
  rows.srcLeft = r.left;
  rows.srcTop = r.top;
  rows.dst = dst + static_cast<std::ptrdiff_t>(dstRow) * dstStride +
             static_cast<std::ptrdiff_t>(dstX) * dstBpp;
  rows.src = src + static_cast<std::ptrdiff_t>(r.top) * srcStride +
             static_cast<std::ptrdiff_t>(r.left) * srcBpp;
  return rows;
}

}  // namespace pelnik
