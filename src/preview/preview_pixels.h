#pragma once
// Rows of an 8-bit grey or 24-bit (blue, green, red) picture written into a
// window image of the display's pixel format.
#include <cstdint>

#include "ui/pixel_format.h"

namespace pelnik {

using WindowPixelFormat = ui::PixelFormat;

// TrueColor images of 16 or 32 bits per pixel with contiguous masks.
bool canWritePixels(const WindowPixelFormat &format);

// Writes `height` rows of `width` pixels; `flip` takes the source rows from
// the bottom up. False for a format canWritePixels refuses or a source depth
// other than 8 or 24.
bool writeWindowPixels(const WindowPixelFormat &format, std::uint8_t *dst, int dstStride,
                       const std::uint8_t *src, int srcStride, int srcBits, int width, int height,
                       bool flip);

}  // namespace pelnik
