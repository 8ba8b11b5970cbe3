// The white-balance measurement: class means of the raw mosaic, the gains
// they give, the frames that measure nothing, and the production form
// against the reference on random mosaics.
#include <gtest/gtest.h>

#include <limits>

#include "filter_pictures.h"
#include "imaging/conversion_kernels.h"
#include "imaging/white_balance.h"
#include "vector_paths.h"

namespace pelnik {
namespace {

class WhiteBalance : public test::EveryVectorPath {};
PELNIK_ON_EVERY_VECTOR_PATH(WhiteBalance);

using test::Picture;

// A mosaic whose green, blue and red sites (by the effective Bayer mode)
// hold the three given values.
Picture mosaic(int width, int height, int bpp, int mode, int green, int blue, int red) {
  Picture p(width, height, bpp);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bayer::Colour colour = bayer::colourAt(mode, x, y);
      p.setSample(x, y, 0,
                  colour == bayer::Colour::green  ? green
                  : colour == bayer::Colour::blue ? blue
                                                  : red);
    }
  }
  return p;
}

struct Forms {
  Kernel eight, sixteen;
};
const Forms kBoth[] = {{kernels::whiteBalance8, kernels::whiteBalance16},
                       {reference::whiteBalance8, reference::whiteBalance16}};

DemosaicBlock measure(Kernel kernel, Picture &p, int mode, int red = 77, int blue = 88) {
  DemosaicBlock block{mode, red, 55, blue};
  test::runInPlace(kernel, p, &block);
  return block;
}

TEST_P(WhiteBalance, GreyFrameMeasuresExactlyOneHundred) {
  for (const Forms &forms : kBoth) {
    Picture grey = mosaic(16, 12, 1, 1, 128, 128, 128);
    const DemosaicBlock block = measure(forms.eight, grey, 1);
    EXPECT_EQ(block.redGain, 100);
    EXPECT_EQ(block.greenGain, 100);
    EXPECT_EQ(block.blueGain, 100);
    Picture wide = mosaic(16, 12, 2, 2, 512, 512, 512);
    const DemosaicBlock block16 = measure(forms.sixteen, wide, 2);
    EXPECT_EQ(block16.redGain, 100);
    EXPECT_EQ(block16.blueGain, 100);
  }
}

TEST_P(WhiteBalance, GainsBringRedAndBlueToGreenByTheEffectiveMode) {
  for (const Forms &forms : kBoth) {
    for (int mode = 0; mode < 4; ++mode) {
      Picture p = mosaic(10, 6, 1, mode, 100, 50, 200);
      const DemosaicBlock block = measure(forms.eight, p, mode);
      EXPECT_EQ(block.blueGain, 200) << mode;
      EXPECT_EQ(block.redGain, 50) << mode;
      // The same mosaic read with red and blue sites exchanged.
      const DemosaicBlock swapped = measure(forms.eight, p, mode ^ 2);
      EXPECT_NE(swapped.blueGain, 200) << mode;
    }
  }
}

TEST_P(WhiteBalance, FramesThatMeasureNothingKeepTheGains) {
  for (const Forms &forms : kBoth) {
    Picture black = mosaic(8, 8, 1, 0, 0, 0, 0);
    DemosaicBlock block = measure(forms.eight, black, 0, 140, 160);
    EXPECT_EQ(block.redGain, 140);
    EXPECT_EQ(block.greenGain, 55);
    EXPECT_EQ(block.blueGain, 160);

    Picture noBlue = mosaic(8, 8, 2, 0, 300, 0, 300);
    block = measure(forms.sixteen, noBlue, 0, 140, 160);
    EXPECT_EQ(block.redGain, 140);
    EXPECT_EQ(block.blueGain, 160);

    // A 1 x 1 picture has only one class.
    Picture single(1, 1, 1);
    single.fill(90);
    block = measure(forms.eight, single, 0, 140, 160);
    EXPECT_EQ(block.redGain, 140);
  }
}

TEST_P(WhiteBalance, NearlyBlackClassSaturatesInsteadOfOverflowing) {
  // Blue mean 1/400 against green 65535: 100 x G / B is far beyond an int.
  Picture p = mosaic(40, 40, 2, 0, 65535, 0, 65535);
  p.setSample(1, 0, 0, 1);  // one blue site (mode 0: row 0, odd column)
  for (const Forms &forms : kBoth) {
    const DemosaicBlock block = measure(forms.sixteen, p, 0);
    EXPECT_EQ(block.blueGain, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(block.redGain, 100);
  }
}

TEST_P(WhiteBalance, ProductionMatchesReferenceOnRandomMosaics) {
  auto random = test::seeded(404);
  const int sizes[][2] = {{4, 4}, {5, 7}, {33, 3}, {64, 2}, {97, 13}, {1278, 2}, {3, 31}};
  for (auto size : sizes) {
    for (int mode = 0; mode < 4; ++mode) {
      // 16-bit frames also with samples above ten bits.
      for (int top : {255, 1023, 65535}) {
        const int bpp = top == 255 ? 1 : 2;
        Picture p(size[0], size[1], bpp);
        p.randomise(random, top);
        Picture q = p;
        const DemosaicBlock produced =
            measure(bpp == 1 ? kernels::whiteBalance8 : kernels::whiteBalance16, p, mode);
        const DemosaicBlock expected =
            measure(bpp == 1 ? reference::whiteBalance8 : reference::whiteBalance16, q, mode);
        EXPECT_EQ(produced.redGain, expected.redGain) << size[0] << "x" << size[1];
        EXPECT_EQ(produced.blueGain, expected.blueGain) << size[0] << "x" << size[1];
        EXPECT_EQ(produced.greenGain, expected.greenGain);
        EXPECT_EQ(p.bytes, q.bytes);  // measuring never writes
      }
    }
  }
}

}  // namespace
}  // namespace pelnik
