// What the demosaic produces, in both forms: colours land on the right
// channels for every Bayer mode, linear ramps are interpolated exactly at
// unity gain, gains scale and clamp, and no picture size reads outside.
#include <gtest/gtest.h>

#include <string>

#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"
#include "support/picture_generator.h"
#include "vector_paths.h"

namespace pelnik {
namespace {

class ConversionDemosaic : public test::EveryVectorPath {};
PELNIK_ON_EVERY_VECTOR_PATH(ConversionDemosaic);

struct Forms {
  const char *name;
  Kernel interior8, border8, interior16, border16;
};
const Forms kForms[] = {
    {"production", kernels::demosaic8Interior, kernels::demosaic8Border,
     kernels::demosaic16Interior, kernels::demosaic16Border},
    {"reference", reference::demosaic8Interior, reference::demosaic8Border,
     reference::demosaic16Interior, reference::demosaic16Border},
};

// Runs interior then border, as the filter chain does.
void demosaic(const Forms &forms, CImageBuffer &raw, CImageBuffer &out, DemosaicBlock block) {
  DemosaicBlock *params = &block;
  const bool wide = raw.BitCount() == 16;
  out.ApplyKernel(wide ? forms.interior16 : forms.interior8, raw, nullptr, 0, 0, &params);
  out.ApplyKernel(wide ? forms.border16 : forms.border8, raw, nullptr, 0, 0, &params);
}

// Every pixel, borders included, equals (blue, green, red).
void expectEverywhere(const CImageBuffer &out, int blue, int green, int red) {
  int wrong = 0;
  for (int y = 0; y < out.Height(); ++y) {
    for (int x = 0; x < out.Width(); ++x) {
      if (test::sampleAt(out, x, y, 0) != blue || test::sampleAt(out, x, y, 1) != green ||
          test::sampleAt(out, x, y, 2) != red) {
        if (wrong++ == 0) ADD_FAILURE() << "first wrong pixel at " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_P(ConversionDemosaic, ConstantPlanesGiveTheirColoursEverywhereInEveryMode) {
  // Tiny pictures too: the border folds its neighbours inside any size.
  const int sizes[][2] = {{1, 1}, {2, 2}, {3, 2}, {4, 3}, {4, 4}, {6, 6}, {7, 5}, {16, 10}};
  for (const Forms &forms : kForms) {
    for (const auto &size : sizes) {
      for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(std::string(forms.name) + " " + std::to_string(size[0]) + "x" +
                     std::to_string(size[1]) + " mode " + std::to_string(mode));
        CImageBuffer raw, out;
        ASSERT_EQ(raw.Create(size[0], size[1], 8), 1);
        ASSERT_EQ(out.Create(size[0], size[1], 24), 1);
        test::fillSamples(raw, [](int, int, int) { return 200; });
        demosaic(forms, raw, out, {mode, 100, 100, 100});
        expectEverywhere(out, 200, 200, 200);

        // Pictures of one row or column hold no second colour to keep.
        if (size[0] < 2 || size[1] < 2) continue;
        test::fillMosaic(
            raw, mode, [](int, int) { return 30; }, [](int, int) { return 77; },
            [](int, int) { return 50; });
        demosaic(forms, raw, out, {mode, 100, 100, 100});
        expectEverywhere(out, 50, 77, 30);
        // 400 multiplies by 4 before the clamp (30 -> 120); at 800 blue would be 400.
        demosaic(forms, raw, out, {mode, 400, 100, 800});
        expectEverywhere(out, 255, 77, 120);
      }
    }
  }
}

TEST_P(ConversionDemosaic, UnityGainInterpolatesLinearRampsExactly) {
  // Red grows with x and blue with y; interpolated at the cell centre
  // (x - 1/2, y - 1/2), a ramp of slope 2 gives 2x - 1 and 2y - 1 plus offset;
  // green, on the diagonal x + y, averages to x + y - 1 plus offset.
  for (const Forms &forms : kForms) {
    for (int mode = 0; mode < 4; ++mode) {
      SCOPED_TRACE(std::string(forms.name) + " mode " + std::to_string(mode));
      CImageBuffer raw, out;
      ASSERT_EQ(raw.Create(40, 30, 8), 1);
      ASSERT_EQ(out.Create(40, 30, 32), 1);
      test::fillMosaic(
          raw, mode, [](int x, int) { return 2 * x + 10; }, [](int x, int y) { return x + y + 3; },
          [](int, int y) { return 2 * y + 5; });
      demosaic(forms, raw, out, {mode, 100, 100, 100});
      for (int y = 2; y < 28; ++y) {
        for (int x = 2; x < 38; ++x) {
          ASSERT_EQ(test::sampleAt(out, x, y, 2), 2 * x + 9) << x << "," << y;
          ASSERT_EQ(test::sampleAt(out, x, y, 0), 2 * y + 4) << x << "," << y;
          ASSERT_EQ(test::sampleAt(out, x, y, 1), x + y + 2) << x << "," << y;
        }
      }
    }
  }
}

TEST_P(ConversionDemosaic, SixteenBitSamplesClampToTenBitsAndKeepTheSpareSample) {
  for (const Forms &forms : kForms) {
    SCOPED_TRACE(forms.name);
    CImageBuffer raw, out;
    ASSERT_EQ(raw.Create(9, 7, 16), 1);
    ASSERT_EQ(out.Create(9, 7, 64), 1);
    test::fillSamples(out, [](int, int, int c) { return c == 3 ? 0xBEEF : 0; });
    // Frames come from outside: any 16-bit value must be safe.
    test::fillSamples(raw, [](int, int, int) { return 65535; });
    demosaic(forms, raw, out, {1, 400, 100, 400});
    expectEverywhere(out, 1023, 1023, 1023);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 9; ++x) EXPECT_EQ(test::sampleAt(out, x, y, 3), 0xBEEF);
    }
    test::fillMosaic(
        raw, 2, [](int, int) { return 1000; }, [](int, int) { return 3; },
        [](int, int) { return 100; });
    demosaic(forms, raw, out, {2, 50, 100, 0});
    expectEverywhere(out, 0, 3, 500);
  }
}

TEST_P(ConversionDemosaic, MirroringMapsTheEffectiveModeOntoTheMirroredMosaic) {
  // Mirroring the picture and adjusting the mode must give the same colours.
  for (int mode = 0; mode < 4; ++mode) {
    for (bool v : {false, true}) {
      for (bool h : {false, true}) {
        const int effective = bayer::effectiveMode(mode, v, h);
        for (int y = 0; y < 4; ++y) {
          for (int x = 0; x < 4; ++x) {
            const int mx = h ? 5 - x : x, my = v ? 7 - y : y;  // even sizes 6 x 8
            EXPECT_EQ(test::mosaicColour(effective, x, y), test::mosaicColour(mode, mx, my))
                << mode << v << h << " at " << x << "," << y;
          }
        }
      }
    }
  }
  EXPECT_EQ(bayer::effectiveMode(0, true, false), 1);
  EXPECT_EQ(bayer::effectiveMode(3, true, false), 2);
  EXPECT_EQ(bayer::effectiveMode(0, false, true), 2);
}

TEST_P(ConversionDemosaic, FlagsAgreeWithTheModeLayouts) {
  // The kernels' colour reading and the tests' mosaic layouts are written
  // independently; they must agree on every site.
  const bayer::Colour expected[] = {bayer::Colour::red, bayer::Colour::green, bayer::Colour::blue};
  for (int mode = 0; mode < 4; ++mode) {
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(bayer::colourAt(mode, x, y),
                  expected[static_cast<int>(test::mosaicColour(mode, x, y))]);
      }
    }
  }
}

}  // namespace
}  // namespace pelnik
