// Behaviour of the re-stride, reductions and file conversions that the
// differential tests cannot show (both forms could share a misreading):
// rows moved to their stride, samples shifted and flipped, fixed fourth
// samples. Also what the processor runs of the vector paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imaging/conversion_kernels.h"
#include "imaging/cpu_identification.h"
#include "imaging/image_buffer.h"
#include "support/picture_generator.h"

namespace pelnik {
namespace {

TEST(ConversionFormats, RestrideMovesPackedRowsToTheStride) {
  for (int width : {1278, 1280, 5}) {
    for (int bits : {8, 16}) {
      SCOPED_TRACE(std::to_string(width) + " at " + std::to_string(bits));
      const int height = 4, bpp = bits / 8;
      CImageBuffer b;
      ASSERT_EQ(b.Create(width, height, bits), 1);
      // The device writes packed rows: sample (x, y) at (y * width + x) * bpp.
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          for (int k = 0; k < bpp; ++k) {
            b.Pixels()[(y * width + x) * bpp + k] = static_cast<std::uint8_t>(x * 3 + y + k * 101);
          }
        }
      }
      const Kernel restride = bits == 8 ? kernels::restride8 : kernels::restride16;
      EXPECT_EQ(b.ApplyKernel(restride, b, nullptr, 0, 0), 1);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          for (int k = 0; k < bpp; ++k) {
            ASSERT_EQ(b.Pixels()[y * b.Stride() + x * bpp + k],
                      static_cast<std::uint8_t>(x * 3 + y + k * 101));
          }
        }
      }
    }
  }
}

// Applies a kernel to the whole source into a fresh buffer of `bits`.
CImageBuffer &convert(CImageBuffer &out, Kernel kernel, CImageBuffer &src, int bits) {
  EXPECT_EQ(out.Create(src.Width(), src.Height(), bits), 1);
  EXPECT_EQ(out.ApplyKernel(kernel, src, nullptr, 0, 0), 1);
  return out;
}

TEST(ConversionFormats, SixteenBitSamplesAreShiftedAndFlipped) {
  CImageBuffer src, out;
  ASSERT_EQ(src.Create(6, 5, 16), 1);
  test::fillRandomSamples(src, 11, 0xFFFF);
  const int h = 5;
  convert(out, kernels::tenBitTo8Flipped, src, 8);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(test::sampleAt(out, x, y, 0), (test::sampleAt(src, x, h - 1 - y, 0) >> 2) & 0xFF);
    }
  }
  convert(out, kernels::twelveBitTo8Flipped, src, 8);
  EXPECT_EQ(test::sampleAt(out, 3, 0, 0), (test::sampleAt(src, 3, h - 1, 0) >> 4) & 0xFF);
  convert(out, kernels::reduce16To8, src, 8);  // same row order
  EXPECT_EQ(test::sampleAt(out, 2, 1, 0), (test::sampleAt(src, 2, 1, 0) >> 2) & 0xFF);
  convert(out, kernels::tenBitTo16, src, 16);
  EXPECT_EQ(test::sampleAt(out, 4, 4, 0), (test::sampleAt(src, 4, 4, 0) << 6) & 0xFFFF);
}

TEST(ConversionFormats, ColourConversionsSwapSamplesAndFixTheFourth) {
  CImageBuffer wide, rgba, out;
  ASSERT_EQ(wide.Create(3, 2, 64), 1);
  ASSERT_EQ(rgba.Create(3, 2, 32), 1);
  test::fillRandomSamples(wide, 4, 1023);
  test::fillRandomBytes(rgba, 8);
  convert(out, kernels::to64Shift4Swapped, wide, 64);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(test::sampleAt(out, 1, 1, c), test::sampleAt(wide, 1, 1, 2 - c) << 4);
  }
  EXPECT_EQ(test::sampleAt(out, 1, 1, 3), 0xFFFF);
  convert(out, kernels::reduce48To24, wide, 24);  // a 64-bit source loses its spare sample
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(test::sampleAt(out, 2, 0, c), (test::sampleAt(wide, 2, 0, c) >> 2) & 0xFF);
  }
  convert(out, kernels::copy32WithAlpha, rgba, 32);
  EXPECT_EQ(test::sampleAt(out, 0, 1, 3), 255 - test::sampleAt(rgba, 0, 1, 3));
  EXPECT_EQ(test::sampleAt(out, 0, 1, 2), test::sampleAt(rgba, 0, 1, 2));
  CImageBuffer colour;
  convert(colour, kernels::reduce32To24, rgba, 24);
  convert(out, kernels::luminance, colour, 8);
  const int b = test::sampleAt(colour, 2, 1, 0), g = test::sampleAt(colour, 2, 1, 1);
  const int r = test::sampleAt(colour, 2, 1, 2);
  EXPECT_EQ(test::sampleAt(out, 2, 1, 0), (59 * g + 30 * r + 11 * b) / 100);
}

TEST(ProcessorSupport, AgreesWithTheCompilersOwnFeatureTest) {
#if defined(__x86_64__) || defined(__i386__)
  // The compiler's run-time test also asks whether the system saves the
  // wider registers, as ours must.
  __builtin_cpu_init();
  EXPECT_EQ(processorRunsAvx2(), __builtin_cpu_supports("avx2") != 0);
  EXPECT_EQ(processorRunsAvx512Vbmi(),
            __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi"));
#else
  EXPECT_FALSE(processorRunsAvx2());
  EXPECT_FALSE(processorRunsAvx512Vbmi());
#endif
}

}  // namespace
}  // namespace pelnik
