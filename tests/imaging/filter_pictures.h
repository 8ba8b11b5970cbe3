#pragma once
// Pictures for the filter tests: plain byte arrays with the image buffer's
// stride rule, filled from a seeded generator, and a way to run a kernel
// over the whole of one with the contract's arguments.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/kernel.h"

namespace pelnik::test {

struct Picture {
  int width = 0;
  int height = 0;
  int bpp = 1;  // bytes per pixel
  int stride = 0;
  std::vector<std::uint8_t> bytes;

  Picture() = default;
  Picture(int w, int h, int bytesPerPixel)
      : width(w),
        height(h),
        bpp(bytesPerPixel),
        stride((w * bytesPerPixel + 3) / 4 * 4),
        bytes(static_cast<std::size_t>(stride) * h) {}

  bool sixteen() const { return bpp == 2 || bpp == 6 || bpp == 8; }

  int sample(int x, int y, int s = 0) const {
    const std::uint8_t *p = bytes.data() + y * stride + x * bpp;
    if (!sixteen()) return p[s];
    std::uint16_t v;
    std::memcpy(&v, p + 2 * s, 2);
    return v;
  }
  void setSample(int x, int y, int s, int value) {
    std::uint8_t *p = bytes.data() + y * stride + x * bpp;
    if (!sixteen()) {
      p[s] = static_cast<std::uint8_t>(value);
      return;
    }
    const auto v = static_cast<std::uint16_t>(value);
    std::memcpy(p + 2 * s, &v, 2);
  }
  int samplesPerPixel() const { return sixteen() ? bpp / 2 : bpp; }

  // Every sample (spare ones and row padding included) set to `value`.
  void fill(int value) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int s = 0; s < samplesPerPixel(); ++s) setSample(x, y, s, value);
  }

  // Random samples in 0..maximum; padding bytes random too.
  void randomise(std::mt19937 &random, int maximum) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto &b : bytes) b = static_cast<std::uint8_t>(byte(random));
    std::uniform_int_distribution<int> value(0, maximum);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int s = 0; s < samplesPerPixel(); ++s) setSample(x, y, s, value(random));
  }
};

// Runs a kernel over the whole source into dst at (0, 0) in memory rows,
// with `block` behind the contract's extra indirection.
inline int runKernel(Kernel kernel, Picture &dst, Picture &src, void *block) {
  KernelRect rect{0, 0, src.width, src.height};
  void *indirection = block;
  return kernel(dst.bytes.data(), src.bytes.data(), &rect, 0, 0,
                static_cast<std::uint16_t>(dst.bpp), static_cast<std::uint16_t>(src.bpp),
                dst.stride, src.stride, &indirection, 0);
}

inline int runInPlace(Kernel kernel, Picture &picture, void *block) {
  return runKernel(kernel, picture, picture, block);
}

// A seeded generator per test, so a failure repeats.
inline std::mt19937 seeded(unsigned seed) { return std::mt19937(seed); }

}  // namespace pelnik::test
