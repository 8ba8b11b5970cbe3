#pragma once
// Automatic white balance: the measurement kernels over a raw Bayer picture
// and the red and blue gains they derive from the three class means.
#include <cstdint>

#include "imaging/kernel.h"

namespace pelnik {

// Sums and counts of the green, blue and red sample sites of a picture.
struct BayerClassSums {
  std::uint64_t green = 0, blue = 0, red = 0;
  std::uint64_t greenCount = 0, blueCount = 0, redCount = 0;
};

struct MeasuredGains {
  std::int32_t red;
  std::int32_t blue;
};

// The gains that bring the red and blue means to the green one (100 =
// unity). False when a class has no samples or a mean of 0: the formula
// would divide by zero, and the caller keeps its gains.
bool measuredGains(const BayerClassSums &sums, MeasuredGains &gains);

// The measurement kernels run over the whole raw picture (8-bit and 16-bit
// samples) with a DemosaicBlock: the effective Bayer mode is read, and the
// red and blue gains are replaced by the measured ones (green by 100) when
// the measurement is valid; otherwise the block is left as it was.
namespace kernels {
int whiteBalance8(KERNEL_ARGS);
int whiteBalance16(KERNEL_ARGS);
}  // namespace kernels
namespace reference {
int whiteBalance8(KERNEL_ARGS);
int whiteBalance16(KERNEL_ARGS);
}  // namespace reference

}  // namespace pelnik
