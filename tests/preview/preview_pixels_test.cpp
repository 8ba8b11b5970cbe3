// Window pixel formats other than the common one (which the Xvfb tests
// cover): 16-bit 5-6-5, big-endian 32-bit with other masks, and refusals.
#include "preview/preview_pixels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace pelnik {
namespace {

TEST(PreviewPixels, SixteenBitAndBigEndianLayoutsPlaceEveryChannel) {
  // Two pixels, blue first: pure red, then (blue 0x10, green 0x80, red 0xFF).
  const std::uint8_t colour[] = {0, 0, 255, 0x10, 0x80, 0xFF, 0, 0};
  std::vector<std::uint8_t> out(8, 0xAA);
  const WindowPixelFormat rgb565{16, 0xF800, 0x07E0, 0x001F, false};
  ASSERT_TRUE(writeWindowPixels(rgb565, out.data(), 8, colour, 8, 24, 2, 1, false));
  EXPECT_EQ(out[0] | out[1] << 8, 0xF800);
  EXPECT_EQ(out[2] | out[3] << 8, 0xF800 | (0x80 >> 2) << 5 | (0x10 >> 3));

  // Red in the low byte, stored most significant byte first.
  const WindowPixelFormat bgr{32, 0x0000FF, 0x00FF00, 0xFF0000, true};
  ASSERT_TRUE(writeWindowPixels(bgr, out.data(), 8, colour, 8, 24, 2, 1, false));
  EXPECT_EQ((std::vector<std::uint8_t>{0, 0, 0, 255, 0, 0x10, 0x80, 0xFF}), out);
}

TEST(PreviewPixels, GreyRowsFlippedAndUnpaintableFormatsRefused) {
  const std::uint8_t grey[] = {10, 0, 0, 0, 200, 0, 0, 0};  // two rows of one pixel, stride 4
  std::vector<std::uint8_t> out(8);
  const WindowPixelFormat common{32, 0xFF0000, 0xFF00, 0xFF, false};
  ASSERT_TRUE(writeWindowPixels(common, out.data(), 4, grey, 4, 8, 1, 2, true));
  EXPECT_EQ((std::vector<std::uint8_t>{200, 200, 200, 0, 10, 10, 10, 0}), out);

  EXPECT_FALSE(
      writeWindowPixels({8, 0xE0, 0x1C, 0x03, false}, out.data(), 4, grey, 4, 8, 1, 1, false));
  EXPECT_FALSE(writeWindowPixels({32, 0xFF00FF, 0xFF00, 0xFF, false}, out.data(), 4, grey, 4, 8, 1,
                                 1, false))
      << "a mask with a hole";
  EXPECT_FALSE(writeWindowPixels(common, out.data(), 4, grey, 4, 16, 1, 1, false));
}

}  // namespace
}  // namespace pelnik
