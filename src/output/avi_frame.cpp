#include "output/avi_frame.h"

#include "imaging/conversion_kernels.h"

namespace pelnik::output {

bool AviFrameMaker::prepare(int width, int height) {
  if (frame_.Width() == width && frame_.Height() == height && !frame_.IsEmpty()) return true;
  grey_.Release();
  return frame_.Create(width, height, 24) != 0;
}

const CImageBuffer *AviFrameMaker::convert(CImageBuffer &picture) {
  if (picture.IsEmpty() || picture.Width() != frame_.Width() || picture.Height() != frame_.Height())
    return nullptr;
  switch (picture.BitCount()) {
    case 8:
    case 24:
    case 32:
      // Through the colour table for 8 bits; a 32-bit pixel loses its fourth byte.
      return frame_.BlitFrom(picture, nullptr, 0, 0, true) ? &frame_ : nullptr;
    case 16:
      if (grey_.IsEmpty() && !grey_.Create(picture.Width(), picture.Height(), 8)) return nullptr;
      if (!grey_.ApplyKernel(kernels::tenBitTo8Flipped, picture, nullptr, 0, 0)) return nullptr;
      return frame_.BlitFrom(grey_, nullptr, 0, 0) ? &frame_ : nullptr;
    case 48:
    case 64:
      return frame_.ApplyKernel(kernels::reduce48To24Flipped, picture, nullptr, 0, 0) ? &frame_
                                                                                      : nullptr;
    default:
      return nullptr;
  }
}

}  // namespace pelnik::output
