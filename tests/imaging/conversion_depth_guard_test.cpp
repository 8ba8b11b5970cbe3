// Conversion kernels refuse buffers of another depth than theirs instead of
// walking past the rows' ends.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"

namespace pelnik {
namespace {

TEST(ConversionDepthGuard, FixedDepthKernelsRefuseOtherDepths) {
  CImageBuffer colour24, colour32;
  ASSERT_TRUE(colour24.Create(33, 7, 24));
  ASSERT_TRUE(colour32.Create(33, 7, 32));
  for (int i = 0; i < static_cast<int>(colour32.ByteSize()); ++i)
    colour32.Pixels()[i] = static_cast<std::uint8_t>(i * 7);
  const std::vector<std::uint8_t> before(colour24.Pixels(),
                                         colour24.Pixels() + colour24.ByteSize());
  for (Kernel kernel : {kernels::swap24, kernels::copy24Flipped, kernels::copy32WithAlpha}) {
    EXPECT_EQ(colour24.ApplyKernel(kernel, colour32, nullptr, 0, 0), 0);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), colour24.Pixels()));
  }
  // The matching depths still convert.
  CImageBuffer other24;
  ASSERT_TRUE(other24.Create(33, 7, 24));
  EXPECT_EQ(other24.ApplyKernel(kernels::swap24, colour24, nullptr, 0, 0), 1);
}

}  // namespace
}  // namespace pelnik
