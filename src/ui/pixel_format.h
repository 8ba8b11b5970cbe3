#pragma once
// How a window's image lays out one pixel in memory: what the preview's
// pixel writer needs to know of a window, whatever system drew it.
#include <cstdint>

namespace pelnik::ui {

struct PixelFormat {
  int bitsPerPixel = 0;  // 0: a visual the preview cannot paint
  std::uint32_t redMask = 0;
  std::uint32_t greenMask = 0;
  std::uint32_t blueMask = 0;
  bool bigEndian = false;
};

}  // namespace pelnik::ui
