// The kernel application: clipping against both buffers, the turn from
// bottom-up coordinates into memory rows, the zeroed rectangle on failure,
// and the scaled application.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"
#include "support/picture_generator.h"

namespace pelnik {
namespace {

// What a kernel was handed.
struct Handed {
  int calls = 0;
  KernelRect rect;
  int dstX = -1, dstRow = -1, dstBpp = 0, srcBpp = 0, dstStride = 0, srcStride = 0;
};
Handed handed;

int recordingKernel(std::uint8_t *, std::uint8_t *, KernelRect *rect, int dstX, int dstRow,
                    std::uint16_t dstBpp, std::uint16_t srcBpp, int dstStride, int srcStride,
                    void *, int) {
  handed.calls++;
  handed.rect = *rect;
  handed.dstX = dstX, handed.dstRow = dstRow, handed.dstBpp = dstBpp, handed.srcBpp = srcBpp;
  handed.dstStride = dstStride, handed.srcStride = srcStride;
  return 42;
}

class KernelApplication : public ::testing::Test {
 protected:
  void SetUp() override {
    handed = Handed{};
    ASSERT_EQ(source.Create(10, 8, 24), 1);
    ASSERT_EQ(destination.Create(6, 5, 8), 1);
  }
  CImageBuffer source, destination;
};

TEST_F(KernelApplication, WholeSourceIsHandedInMemoryRowsWithTheKernelsResult) {
  EXPECT_EQ(destination.ApplyKernel(recordingKernel, source, nullptr, 0, 0), 42);
  ASSERT_EQ(handed.calls, 1);
  // Clipped to the 6 x 5 destination: source platform rows 0..4 are the
  // bottom five lines, memory rows 3..7; they land on destination rows 0..4.
  EXPECT_EQ(handed.rect.left, 0);
  EXPECT_EQ(handed.rect.right, 6);
  EXPECT_EQ(handed.rect.top, 3);
  EXPECT_EQ(handed.rect.bottom, 8);
  EXPECT_EQ(handed.dstX, 0);
  EXPECT_EQ(handed.dstRow, 0);
  EXPECT_EQ(handed.dstBpp, 1);
  EXPECT_EQ(handed.srcBpp, 3);
  EXPECT_EQ(handed.dstStride, 8);
  EXPECT_EQ(handed.srcStride, 32);
}

TEST_F(KernelApplication, NegativePositionsMoveTheSourceAndTheGivenRectangleIsUpdated) {
  KernelRect rect{2, 1, 7, 4};  // 5 x 3, platform rows 1..3
  EXPECT_EQ(destination.ApplyKernel(recordingKernel, source, &rect, -2, 3), 42);
  // Two columns cut on the left; destination rows 3..5 clip to 3..4, which
  // drops the rectangle's top platform row 3.
  EXPECT_EQ(handed.rect.left, 4);
  EXPECT_EQ(handed.rect.right, 7);
  EXPECT_EQ(handed.rect.top, 8 - 3);
  EXPECT_EQ(handed.rect.bottom, 8 - 1);
  EXPECT_EQ(handed.dstX, 0);
  EXPECT_EQ(handed.dstRow, 0);
  EXPECT_EQ(rect.left, handed.rect.left);
  EXPECT_EQ(rect.top, handed.rect.top);
}

TEST_F(KernelApplication, RectanglesReachingPastTheSourceAreClippedToIt) {
  KernelRect rect{-3, 6, 4, 12};
  EXPECT_EQ(destination.ApplyKernel(recordingKernel, source, &rect, 1, 0), 42);
  // The destination keeps x 1..5, source columns -3..1; the source then cuts
  // -3..-1, moving the destination right by 3. Platform rows 6..7 remain
  // (memory rows 0..1).
  EXPECT_EQ(handed.rect.left, 0);
  EXPECT_EQ(handed.rect.right, 2);
  EXPECT_EQ(handed.rect.top, 0);
  EXPECT_EQ(handed.rect.bottom, 2);
  EXPECT_EQ(handed.dstX, 4);
  EXPECT_EQ(handed.dstRow, 5 - 2);
}

TEST_F(KernelApplication, FailuresCallNothingReturnZeroAndZeroTheRectangle) {
  const KernelRect nothing{};
  const auto expectFailure = [&](KernelRect rect, int x, int y, CImageBuffer &src,
                                 CImageBuffer &dst, Kernel kernel) {
    EXPECT_EQ(dst.ApplyKernel(kernel, src, &rect, x, y), 0);
    EXPECT_EQ(rect.left, nothing.left);
    EXPECT_EQ(rect.top, nothing.top);
    EXPECT_EQ(rect.right, nothing.right);
    EXPECT_EQ(rect.bottom, nothing.bottom);
  };
  expectFailure({20, 0, 25, 3}, 0, 0, source, destination, recordingKernel);  // outside source
  expectFailure({0, 0, 3, 3}, 6, 0, source, destination, recordingKernel);    // right of dest
  expectFailure({0, 0, 3, 3}, -3, 0, source, destination, recordingKernel);   // left of dest
  expectFailure({0, 0, 3, 3}, 0, 5, source, destination, recordingKernel);    // above dest
  expectFailure({3, 3, 3, 5}, 0, 0, source, destination, recordingKernel);    // empty
  expectFailure({0, 0, 3, 3}, 0, 0, source, destination, nullptr);
  CImageBuffer never;
  expectFailure({0, 0, 3, 3}, 0, 0, never, destination, recordingKernel);
  expectFailure({0, 0, 3, 3}, 0, 0, source, never, recordingKernel);
  EXPECT_EQ(handed.calls, 0);
}

TEST_F(KernelApplication, WhollyOutsideLeavesTheDestinationUnchanged) {
  test::fillRandomBytes(destination, 3);
  const std::vector<std::uint8_t> before(destination.Pixels(),
                                         destination.Pixels() + destination.ByteSize());
  KernelRect rect{0, 9, 4, 12};
  CImageBuffer grey;
  ASSERT_EQ(grey.Create(10, 8, 8), 1);
  EXPECT_EQ(destination.ApplyKernel(kernels::blitSameDepth, grey, &rect, 0, 0), 0);
  EXPECT_EQ(std::vector<std::uint8_t>(destination.Pixels(),
                                      destination.Pixels() + destination.ByteSize()),
            before);
}

TEST_F(KernelApplication, PlatformRowZeroIsTheLastMemoryRow) {
  CImageBuffer line, target;
  ASSERT_EQ(line.Create(4, 1, 8), 1);
  ASSERT_EQ(target.Create(4, 3, 8), 1);
  test::fillSamples(line, [](int x, int, int) { return 10 + x; });
  EXPECT_EQ(target.ApplyKernel(kernels::blitSameDepth, line, nullptr, 0, 0), 1);
  EXPECT_EQ(target.ApplyKernel(kernels::blitSameDepth, line, nullptr, 0, 2), 1);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(test::sampleAt(target, x, 2, 0), 10 + x);  // y = 0: bottom line
    EXPECT_EQ(test::sampleAt(target, x, 1, 0), 0);
    EXPECT_EQ(test::sampleAt(target, x, 0, 0), 10 + x);  // y = 2: top line
  }
}

TEST(ScaledKernelApplication, HalvingTakesEverySecondPixelAndRowUpsideDown) {
  for (ScaledKernel scale : {kernels::scale8, reference::scale8}) {
    CImageBuffer picture, display;
    ASSERT_EQ(picture.Create(640, 480, 8), 1);
    ASSERT_EQ(display.Create(320, 240, 8), 1);
    test::fillSamples(picture, [](int x, int y, int) { return (x * 7 + y * 13) & 0xFF; });
    EXPECT_EQ(display.ApplyScaledKernel(scale, picture, nullptr, nullptr), 1);
    for (int i = 0; i < 240; i += 17) {
      for (int j = 0; j < 320; j += 11) {
        ASSERT_EQ(test::sampleAt(display, j, i, 0), test::sampleAt(picture, 2 * j, 479 - 2 * i, 0))
            << j << "," << i;
      }
    }
    EXPECT_EQ(display.ApplyScaledKernel(nullptr, picture, nullptr, nullptr), 0);
  }
}

TEST(ScaledKernelApplication, EmptyBuffersAreLeftAlone) {
  CImageBuffer picture, never;
  ASSERT_EQ(picture.Create(8, 8, 24), 1);
  EXPECT_EQ(never.ApplyScaledKernel(kernels::scale24, picture, nullptr, nullptr), 0);
  EXPECT_EQ(picture.ApplyScaledKernel(kernels::scale24, never, nullptr, nullptr), 0);
}

}  // namespace
}  // namespace pelnik
