#pragma once
// The recording's own 24-bit bottom-up frame made from a finished picture of
// any bit count, through the pipeline's conversion kernels. The conversion
// runs under the frame lock; the frame is then written without it.
#include <cstdint>

#include "imaging/image_buffer.h"

namespace pelnik::output {

class AviFrameMaker {
 public:
  // Makes the temporary pictures for frames of this size; false when the
  // memory cannot be had.
  bool prepare(int width, int height);

  // Converts `picture` (8, 16 with 10 significant bits, 24, 32, 48 or 64
  // bits, the size prepared) into the frame: the picture's top line becomes
  // the frame's last row, 8-bit pictures go through their colour table, 16-
  // and 48/64-bit samples keep bits 2-9, a fourth byte or sample is dropped.
  // Null for another size or bit count.
  const CImageBuffer *convert(CImageBuffer &picture);

  // The last frame made: height rows of the padded 24-bit stride.
  const std::uint8_t *frame() const { return frame_.Pixels(); }

 private:
  CImageBuffer frame_;  // 24-bit, the frame written
  CImageBuffer grey_;   // 8-bit grey ramp, for 16-bit pictures
};

}  // namespace pelnik::output
