#pragma once
// The eleven kernel arguments as one value, so that kernel bodies can be
// plain functions of it: `return body(KernelCall::of(KERNEL_CALL));`.
#include <cstddef>
#include <cstdint>

#include "imaging/kernel.h"

namespace pelnik {

#define KERNEL_CALL \
  dst, src, rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params, extra

struct KernelCall {
  std::uint8_t *dst;
  const std::uint8_t *src;
  KernelRect rect;  // source rectangle, memory rows
  int dstX;
  int dstRow;
  int dstBpp;
  int srcBpp;
  int dstStride;
  int srcStride;
  void *params;

  static KernelCall of(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
                       std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
                       void *params, int /*extra, always 0*/) {
    return KernelCall{dst, src, *rect, dstX, dstRow, dstBpp, srcBpp, dstStride, srcStride, params};
  }

  int width() const { return rect.width(); }
  int height() const { return rect.height(); }
  // Row i of the rectangle in the source, counted from the top or, for the
  // flipped conversions, from the bottom.
  int sourceRow(int i, bool flipped) const { return flipped ? rect.bottom - i - 1 : rect.top + i; }
  const std::uint8_t *sourcePixel(int x, int row) const {
    return src + static_cast<std::ptrdiff_t>(row) * srcStride +
           static_cast<std::ptrdiff_t>(x) * srcBpp;
  }
  std::uint8_t *destPixel(int x, int row) const {
    return dst + static_cast<std::ptrdiff_t>(row) * dstStride +
           static_cast<std::ptrdiff_t>(x) * dstBpp;
  }
};

}  // namespace pelnik
