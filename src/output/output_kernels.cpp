#include "output/output_kernels.h"

#include "imaging/kernel_call.h"

namespace pelnik::output {

int swap32KeepingFourth(KERNEL_ARGS) {
  const KernelCall c = KernelCall::of(KERNEL_CALL);
  for (int i = 0; i < c.height(); ++i) {
    const std::uint8_t *in = c.sourcePixel(c.rect.left, c.sourceRow(i, false));
    std::uint8_t *out = c.destPixel(c.dstX, c.dstRow + i);
    for (int j = 0; j < c.width(); ++j, in += 4, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  return 1;
}

}  // namespace pelnik::output
