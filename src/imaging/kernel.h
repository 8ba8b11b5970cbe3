#pragma once
// The kernel contract: every pixel routine of the library has this argument
// list and is run by an image buffer's kernel application, which clips the
// rectangle and turns it into memory rows first.
#include <cstdint>

namespace pelnik {

// Left, top, right, bottom; right and bottom are exclusive. Inside a kernel
// top and bottom are memory rows (row 0 is the picture's top line).
struct KernelRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
};

// The eleven arguments, in contract order. `params` points to a pointer to
// the kernel's parameter block (or is null); `extra` is always 0 here.
#define KERNEL_ARGS                                                                           \
  std::uint8_t *dst, std::uint8_t *src, ::pelnik::KernelRect *rect, int dstX, int dstRow,     \
      std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride, void *params, \
      int extra

using Kernel = int (*)(std::uint8_t *dst, std::uint8_t *src, KernelRect *rect, int dstX, int dstRow,
                       std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
                       void *params, int extra);

// The scaled contract (preview scaling only): rectangles are whole-buffer
// coordinates in memory rows, nothing is clipped.
#define SCALED_KERNEL_ARGS                                                                     \
  std::uint8_t *dst, std::uint8_t *src, ::pelnik::KernelRect *dstRect,                         \
      ::pelnik::KernelRect *srcRect, int dstWidth, int dstHeight, int srcWidth, int srcHeight, \
      std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride, int extra1,    \
      int extra2

using ScaledKernel = int (*)(std::uint8_t *dst, std::uint8_t *src, KernelRect *dstRect,
                             KernelRect *srcRect, int dstWidth, int dstHeight, int srcWidth,
                             int srcHeight, std::uint16_t dstBpp, std::uint16_t srcBpp,
                             int dstStride, int srcStride, int extra1, int extra2);

// Reads a kernel's parameter block through its extra indirection.
template <class Block>
Block &kernelBlock(void *params) {
  return **static_cast<Block **>(params);
}

// Bayer geometry shared by every colour kernel.
namespace bayer {

// The Bayer mode as the pixels lie after mirroring: vertical mirroring swaps
// 0/1 and 2/3, then horizontal mirroring swaps 0/2 and 1/3.
inline int effectiveMode(int bayerMode, bool mirrorV, bool mirrorH) {
  int mode = bayerMode & 3;
  if (mirrorV) mode ^= 1;
  if (mirrorH) mode ^= 2;
  return mode;
}

// Flags of pixel (x, y) in memory rows; both alternate pixel to pixel.
inline int rowFlag(int mode, int y) { return (mode & 1) ^ (y & 1); }
inline int columnFlag(int mode, int x) { return ((mode >> 1) & 1) ^ (x & 1); }

enum class Colour { green, blue, red };

// Row flag 0: green, blue; row flag 1: red, green.
inline Colour colourAt(int mode, int x, int y) {
  const int row = rowFlag(mode, y);
  const int column = columnFlag(mode, x);
  if (row == column) return Colour::green;
  return row == 0 ? Colour::blue : Colour::red;
}

}  // namespace bayer

}  // namespace pelnik
