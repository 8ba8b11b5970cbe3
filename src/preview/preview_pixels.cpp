#include "preview/preview_pixels.h"

#include <bit>
#include <cstddef>
#include <cstring>

namespace pelnik {

namespace {

struct Channel {
  int shift = 0;  // of the mask's lowest bit
  int bits = 0;   // width of the mask
};

Channel channelOf(std::uint32_t mask) {
  if (mask == 0) return {};
  return {std::countr_zero(mask), std::popcount(mask)};
}

bool contiguous(std::uint32_t mask) {
  if (mask == 0) return false;
  const std::uint32_t low = mask >> std::countr_zero(mask);
  return (low & (low + 1)) == 0;
}

std::uint32_t place(int value, Channel c) {
  const auto v = static_cast<std::uint32_t>(value);
  const std::uint32_t scaled = c.bits >= 8 ? v << (c.bits - 8) : v >> (8 - c.bits);
  return scaled << c.shift;
}

// The common layout (blue, green, red, spare in memory): bytes copied.
bool isLittleBgrx(const WindowPixelFormat &f) {
  return std::endian::native == std::endian::little && f.bitsPerPixel == 32 && !f.bigEndian &&
         f.redMask == 0xFF0000u && f.greenMask == 0xFF00u && f.blueMask == 0xFFu;
}

void storePixel(std::uint8_t *out, std::uint32_t pixel, int bytes, bool bigEndian) {
  for (int b = 0; b < bytes; ++b) {
    const int shift = bigEndian ? (bytes - 1 - b) * 8 : b * 8;
    out[b] = static_cast<std::uint8_t>(pixel >> shift);
  }
}

}  // namespace

bool canWritePixels(const WindowPixelFormat &format) {
  if (format.bitsPerPixel != 16 && format.bitsPerPixel != 32) return false;
  return contiguous(format.redMask) && contiguous(format.greenMask) && contiguous(format.blueMask);
}

bool writeWindowPixels(const WindowPixelFormat &format, std::uint8_t *dst, int dstStride,
                       const std::uint8_t *src, int srcStride, int srcBits, int width, int height,
                       bool flip) {
  if (!canWritePixels(format) || (srcBits != 8 && srcBits != 24)) return false;
  const Channel red = channelOf(format.redMask);
  const Channel green = channelOf(format.greenMask);
  const Channel blue = channelOf(format.blueMask);
  const int outBytes = format.bitsPerPixel / 8;
  const bool fast = isLittleBgrx(format);
  for (int y = 0; y < height; ++y) {
    const int sourceRow = flip ? height - 1 - y : y;
    const std::uint8_t *in = src + static_cast<std::ptrdiff_t>(sourceRow) * srcStride;
    std::uint8_t *out = dst + static_cast<std::ptrdiff_t>(y) * dstStride;
    if (fast && srcBits == 24) {
      for (int x = 0; x < width; ++x) {
        out[x * 4] = in[x * 3];
        out[x * 4 + 1] = in[x * 3 + 1];
        out[x * 4 + 2] = in[x * 3 + 2];
        out[x * 4 + 3] = 0;
      }
    } else if (fast) {
      for (int x = 0; x < width; ++x) {
        const std::uint32_t g = in[x];
        const std::uint32_t pixel = g | g << 8 | g << 16;
        std::memcpy(out + x * 4, &pixel, 4);
      }
    } else {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t *p = in + x * (srcBits / 8);
        const int b = p[0];
        const int g = srcBits == 24 ? p[1] : b;
        const int r = srcBits == 24 ? p[2] : b;
        storePixel(out + x * outBytes, place(r, red) | place(g, green) | place(b, blue), outBytes,
                   format.bigEndian);
      }
    }
  }
  return true;
}

}  // namespace pelnik
