// The production filter kernels against their reference forms: random
// pictures of many sizes and layouts, every setting range, with the AVX2
// row loops on and off. Any differing byte fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter_pictures.h"
#include "imaging/filter_kernels.h"
#include "imaging/filter_params.h"
#include "imaging/filter_vector.h"
#include "support/test_environment.h"
#include "vector_paths.h"

namespace pelnik {
namespace {

using test::Picture;

struct Size {
  int width, height;
};
// 4 x 4 upwards, odd sizes, and rows whose stride needs padding.
const Size kSizes[] = {{4, 4},  {5, 5},    {7, 3},   {13, 9}, {33, 17},
                       {6, 11}, {1278, 3}, {101, 6}, {3, 40}};

struct Pair {
  const char *name;
  Kernel production;
  Kernel reference;
  std::vector<int> bpps;
};

// Runs both forms from the same random picture and compares every byte.
// Sharpness reads a copy and writes the picture, the others work in place.
void expectSame(const Pair &pair, const Picture &start, void *productionBlock, void *referenceBlock,
                bool fromCopy, const std::string &what) {
  Picture produced = start, expected = start;
  Picture copy = start;
  if (fromCopy) {
    test::runKernel(pair.production, produced, copy, productionBlock);
    test::runKernel(pair.reference, expected, copy, referenceBlock);
  } else {
    test::runInPlace(pair.production, produced, productionBlock);
    test::runInPlace(pair.reference, expected, referenceBlock);
  }
  ASSERT_EQ(produced.bytes, expected.bytes) << pair.name << " " << what;
}

class FilterDifferential : public test::EveryVectorPath {};
PELNIK_ON_EVERY_VECTOR_PATH(FilterDifferential);

int maximumOf(int bpp) { return bpp == 1 || bpp == 3 || bpp == 4 ? 255 : 1023; }

std::string describe(const Picture &p, int value) {
  return std::to_string(p.width) + "x" + std::to_string(p.height) + "x" + std::to_string(p.bpp) +
         " value " + std::to_string(value);
}

void valueKernels(const std::vector<Pair> &pairs, int low, int high, bool fromCopy) {
  auto random = test::seeded(2024);
  for (const Pair &pair : pairs) {
    for (int bpp : pair.bpps) {
      // Every setting on one middle-sized picture...
      Picture picture(19, 7, bpp);
      picture.randomise(random, maximumOf(bpp));
      for (int value = low; value <= high; ++value) {
        ValueBlock block{value, 10};
        expectSame(pair, picture, &block, &block, fromCopy, describe(picture, value));
      }
      // ...and every size with a few settings.
      for (const Size size : kSizes) {
        Picture p(size.width, size.height, bpp);
        p.randomise(random, maximumOf(bpp));
        for (int value :
             {low, high, (low + high) / 2, std::uniform_int_distribution<int>(low, high)(random)}) {
          ValueBlock block{value, 10};
          expectSame(pair, p, &block, &block, fromCopy, describe(p, value));
        }
      }
    }
  }
}

TEST_P(FilterDifferential, Gamma) {
  valueKernels({{"gamma gray 8", kernels::gammaGray8, reference::gammaGray8, {1}},
                {"gamma colour 8", kernels::gammaColour8, reference::gammaColour8, {3, 4}},
                {"gamma 16", kernels::gamma16, reference::gamma16, {2, 6, 8}}},
               0, 200, false);
}

TEST_P(FilterDifferential, Contrast) {
  valueKernels({{"contrast 8", kernels::contrast8, reference::contrast8, {1, 3, 4}},
                {"contrast 16", kernels::contrast16, reference::contrast16, {2, 6, 8}}},
               -127, 127, false);
}

TEST_P(FilterDifferential, Brightness) {
  valueKernels({{"brightness 8", kernels::brightness8, reference::brightness8, {1, 3, 4}},
                {"brightness 16", kernels::brightness16, reference::brightness16, {2, 6, 8}}},
               -255, 255, false);
}

TEST_P(FilterDifferential, Sharpness) {
  valueKernels({{"sharpness 8", kernels::sharpness8, reference::sharpness8, {1, 3, 4}},
                {"sharpness 16", kernels::sharpness16, reference::sharpness16, {2, 6, 8}}},
               0, 30, true);
}

// The chain sharpens in place, without the scratch copy: the production
// kernels keep the rows they still need, so the picture must equal the
// reference form reading a copy.
TEST_P(FilterDifferential, SharpnessInPlaceMatchesTheReferenceFromACopy) {
  auto random = test::seeded(4242);
  const Pair pairs[] = {{"sharpness 8", kernels::sharpness8, reference::sharpness8, {1, 3, 4}},
                        {"sharpness 16", kernels::sharpness16, reference::sharpness16, {2, 6, 8}}};
  for (const Pair &pair : pairs) {
    for (int bpp : pair.bpps) {
      for (const Size size : kSizes) {
        Picture start(size.width, size.height, bpp);
        // 16-bit pictures also carry samples above ten bits.
        start.randomise(random, bpp == 6 && size.width > 10 ? 65535 : maximumOf(bpp));
        for (int value : {1, 15, 30}) {
          ValueBlock block{value, 10};
          Picture produced = start, expected = start, copy = start;
          test::runInPlace(pair.production, produced, &block);
          test::runKernel(pair.reference, expected, copy, &block);
          ASSERT_EQ(produced.bytes, expected.bytes) << pair.name << " " << describe(start, value);
        }
      }
    }
  }
}

// Every stage after the demosaic in one pass against the reference stages
// in turn (hue, gamma, contrast, sharpness from a copy, brightness), in
// place and from a separate source, over odd and tiny sizes; 16-bit
// pictures carry samples above ten bits.
TEST_P(FilterDifferential, RowStagesMatchTheStagesInTurn) {
  auto random = test::seeded(515);
  const Size sizes[] = {{3, 3}, {4, 7}, {5, 5}, {13, 9}, {33, 17}, {1278, 3}, {101, 6}};
  // hue, saturation, gamma, contrast, sharpness, brightness
  const int settings[][6] = {{40, 60, 70, 25, 15, 30},  {0, 0, 100, 0, 30, -255},
                             {-120, 0, 100, -40, 0, 0}, {0, -200, 150, 0, 1, 255},
                             {300, 255, 100, 0, 0, 7},  {0, 0, 100, 127, 0, 0},
                             {0, 0, 0, 0, 0, 0}};
  for (int bpp : {1, 3, 4, 2, 6, 8}) {
    const bool wide = bpp == 2 || bpp == 6 || bpp == 8;
    const bool colour = bpp != 1 && bpp != 2;
    for (const Size size : sizes) {
      Picture start(size.width, size.height, bpp);
      start.randomise(random, wide && size.width > 20 ? 65535 : maximumOf(bpp));
      if (wide && size.width <= 20) start.setSample(1, 1, 0, 4000);
      for (const auto &v : settings) {
        const int depth = 10;
        // The reference stages in turn, each skipped at its neutral value.
        Picture expected = start;
        HueBlock hue{v[0], 0, v[1], depth};
        if (colour && (v[0] != 0 || v[1] != 0)) {
          test::runInPlace(wide ? reference::hueSaturation16 : reference::hueSaturation8, expected,
                           &hue);
        }
        ValueBlock gamma{v[2], depth}, contrast{v[3], depth}, sharp{v[4], depth},
            bright{v[5], depth};
        const Kernel gammaKernel =
            wide ? reference::gamma16 : (colour ? reference::gammaColour8 : reference::gammaGray8);
        if (v[2] != 100) test::runInPlace(gammaKernel, expected, &gamma);
        if (v[3] != 0) {
          test::runInPlace(wide ? reference::contrast16 : reference::contrast8, expected,
                           &contrast);
        }
        if (v[4] != 0) {
          Picture copy = expected;
          test::runKernel(wide ? reference::sharpness16 : reference::sharpness8, expected, copy,
                          &sharp);
        }
        if (v[5] != 0) {
          test::runInPlace(wide ? reference::brightness16 : reference::brightness8, expected,
                           &bright);
        }
        // The one pass, with the composed table the chain builds.
        std::vector<std::uint8_t> table8(256);
        std::vector<std::uint16_t> table16(1024);
        Picture ramp8(256, 1, 1), ramp16(1024, 1, 2);
        for (int i = 0; i < 256; ++i) ramp8.setSample(i, 0, 0, i);
        for (int i = 0; i < 1024; ++i) ramp16.setSample(i, 0, 0, i);
        const Kernel gammaOnRamp = wide ? reference::gamma16 : gammaKernel;
        Picture &ramp = wide ? ramp16 : ramp8;
        if (v[2] != 100) test::runInPlace(gammaOnRamp, ramp, &gamma);
        if (v[3] != 0) {
          test::runInPlace(wide ? reference::contrast16 : reference::contrast8, ramp, &contrast);
        }
        for (int i = 0; i < 256; ++i) table8[i] = static_cast<std::uint8_t>(ramp8.sample(i, 0));
        for (int i = 0; i < 1024; ++i) table16[i] = static_cast<std::uint16_t>(ramp16.sample(i, 0));
        // Samples above ten bits: what the two stages make of them.
        Picture above(1, 1, 2);
        above.setSample(0, 0, 0, 5000);
        if (v[2] != 100) test::runInPlace(reference::gamma16, above, &gamma);
        if (v[3] != 0) test::runInPlace(reference::contrast16, above, &contrast);
        RowStagesBlock block{};
        block.hueOn = colour && (v[0] != 0 || v[1] != 0);
        block.hue = hue;
        if (v[2] != 100 || v[3] != 0) {
          block.table = SampleTableBlock{table8.data(), table16.data(), 1023, above.sample(0, 0)};
        }
        block.sharpness = sharp;
        block.brightness = bright;
        const Kernel pass = wide ? kernels::rowStages16 : kernels::rowStages8;
        Picture inPlace = start, fromSource = start, source = start;
        test::runInPlace(pass, inPlace, &block);
        test::runKernel(pass, fromSource, source, &block);
        const std::string what = describe(start, v[0]) + " settings " + std::to_string(v[1]) + "/" +
                                 std::to_string(v[2]) + "/" + std::to_string(v[3]) + "/" +
                                 std::to_string(v[4]) + "/" + std::to_string(v[5]);
        ASSERT_EQ(inPlace.bytes, expected.bytes) << "in place, " << what;
        ASSERT_EQ(fromSource.bytes, expected.bytes) << "from a source, " << what;
      }
    }
  }
}

// The table row over every length up to three 64-byte steps and a tail, in
// place and into another row whose spare bytes must stay as they were.
TEST_P(FilterDifferential, TableRowsMatchALookupPerSample) {
  auto random = test::seeded(256);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> table(256);
  for (auto &t : table) t = static_cast<std::uint8_t>(byte(random));
  for (int bpp : {1, 3, 4}) {
    for (int pixels = 0; pixels <= 200; ++pixels) {
      std::vector<std::uint8_t> src(static_cast<std::size_t>(pixels) * bpp), dst(src.size());
      for (auto &v : src) v = static_cast<std::uint8_t>(byte(random));
      for (auto &v : dst) v = static_cast<std::uint8_t>(byte(random));
      std::vector<std::uint8_t> expected = dst, expectedInPlace = src;
      for (std::size_t k = 0; k < src.size(); ++k) {
        if (bpp == 4 && k % 4 == 3) continue;
        expected[k] = table[src[k]];
        expectedInPlace[k] = table[src[k]];
      }
      filter_vector::tableRow8(dst.data(), src.data(), pixels, bpp, table.data());
      ASSERT_EQ(dst, expected) << pixels << " pixels of " << bpp;
      filter_vector::tableRow8(src.data(), src.data(), pixels, bpp, table.data());
      ASSERT_EQ(src, expectedInPlace) << "in place, " << pixels << " pixels of " << bpp;
    }
  }
}

// The hue kernel against its reference over every one of the 2^24 colours,
// a few settings each, as 3-byte pixels and (one setting) 4-byte pixels
// whose spare byte must stay; 4096-pixel rows, 256 rows at a time.
TEST(HueExhaustive, EveryColourMatchesTheReference) {
  const int settings[][2] = {{40, 60}, {-120, -200}, {359, 255}, {1, -1}};
  for (int bpp : {3, 4}) {
    for (const auto &setting : settings) {
      if (bpp == 4 && setting[0] != 40) continue;
      HueBlock block{setting[0], 0, setting[1], 8};
      // Reduced workload (emulator): every 8th row of colours, so still
      // every blue value against a spread of greens and reds.
      const int rowStep = test::workload(1, 8);
      for (int first = 0; first < (1 << 24); first += 4096 * 256) {
        Picture start(4096, 256 / rowStep, bpp);
        for (int y = 0; y < 256 / rowStep; ++y) {
          for (int x = 0; x < 4096; ++x) {
            const int colour = first + y * rowStep * 4096 + x;
            for (int c = 0; c < 3; ++c) start.setSample(x, y, c, (colour >> (8 * c)) & 0xFF);
            if (bpp == 4) start.setSample(x, y, 3, x & 0xFF);
          }
        }
        Picture produced = start, expected = start;
        test::runInPlace(kernels::hueSaturation8, produced, &block);
        test::runInPlace(reference::hueSaturation8, expected, &block);
        ASSERT_EQ(produced.bytes, expected.bytes)
            << "colours from " << first << ", hue " << setting[0] << ", saturation " << setting[1]
            << ", " << bpp << " bytes";
      }
    }
  }
}

TEST_P(FilterDifferential, SharpnessOnLargeSixteenBitValues) {
  // Samples above the bit depth are read as full scale by both forms.
  auto random = test::seeded(77);
  const Pair pair{"sharpness 16", kernels::sharpness16, reference::sharpness16, {2}};
  Picture p(23, 9, 2);
  p.randomise(random, 65535);
  for (int value : {1, 17, 30}) {
    ValueBlock block{value, 10};
    expectSame(pair, p, &block, &block, true, describe(p, value));
  }
}

TEST_P(FilterDifferential, HueAndSaturation) {
  auto random = test::seeded(99);
  const Pair pairs[] = {{"hue 8", kernels::hueSaturation8, reference::hueSaturation8, {3, 4}},
                        {"hue 16", kernels::hueSaturation16, reference::hueSaturation16, {6, 8}}};
  std::vector<int> hues = {-360, -359, -181, -1,  0,   1,   59,  60,  61,
                           119,  120,  121,  179, 180, 240, 300, 359, 360};
  std::vector<int> saturations = {-255, -254, -128, -127, -1, 0, 1, 64, 127, 128, 254, 255};
  for (const Pair &pair : pairs) {
    for (int bpp : pair.bpps) {
      Picture picture(29, 5, bpp);
      picture.randomise(random, maximumOf(bpp));
      for (int hue : hues) {
        for (int saturation : saturations) {
          HueBlock block{hue, 0, saturation, 10};
          expectSame(pair, picture, &block, &block, false,
                     describe(picture, hue) + " saturation " + std::to_string(saturation));
        }
      }
      for (const Size size : kSizes) {
        Picture p(size.width, size.height, bpp);
        p.randomise(random, maximumOf(bpp));
        HueBlock block{std::uniform_int_distribution<int>(-360, 360)(random), 0,
                       std::uniform_int_distribution<int>(-255, 255)(random), 10};
        expectSame(pair, p, &block, &block, false, describe(p, block.hue));
      }
    }
  }
}

TEST_P(FilterDifferential, HueOnEveryColourOfTheCircle) {
  // Every (r, g, b) with steps of 5 covers all sectors, ties and greys.
  Picture p(52 * 52, 52, 3);
  for (int r = 0; r < 52; ++r)
    for (int g = 0; g < 52; ++g)
      for (int b = 0; b < 52; ++b) {
        p.setSample(g * 52 + b, r, 0, std::min(255, b * 5));
        p.setSample(g * 52 + b, r, 1, std::min(255, g * 5));
        p.setSample(g * 52 + b, r, 2, std::min(255, r * 5));
      }
  const Pair pair{"hue 8", kernels::hueSaturation8, reference::hueSaturation8, {3}};
  for (int hue : {-300, 33, 200}) {
    for (int saturation : {-200, 50, 255}) {
      HueBlock block{hue, 0, saturation, 10};
      expectSame(pair, p, &block, &block, false, "colour cube");
    }
  }
}

TEST_P(FilterDifferential, HueOnEveryChromaAndLightness) {
  // Red x against green and blue y: every chroma 0..255 with every
  // lightness it can have, and the third channel varied on a second picture.
  for (int bpp : {3, 4}) {
    Picture p(256, 256, bpp), q(256, 256, bpp);
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 256; ++x) {
        p.setSample(x, y, 0, y);
        p.setSample(x, y, 1, y);
        p.setSample(x, y, 2, x);
        q.setSample(x, y, 0, x);
        q.setSample(x, y, 1, (x + y) / 2);
        q.setSample(x, y, 2, y);
      }
    }
    const Pair pair{"hue 8", kernels::hueSaturation8, reference::hueSaturation8, {bpp}};
    for (int hue : {-97, 0, 250}) {
      for (int saturation : {-255, 0, 77}) {
        HueBlock block{hue, 0, saturation, 10};
        expectSame(pair, p, &block, &block, false, "chroma square");
        expectSame(pair, q, &block, &block, false, "chroma square, mixed");
      }
    }
  }
}

TEST_P(FilterDifferential, GrayGainsAndCalibration) {
  auto random = test::seeded(31);
  std::uniform_int_distribution<int> gain(0, 400), offset(-255, 255), mode(0, 3);
  const Pair gray8{"gray 8", kernels::grayGain8, reference::grayGain8, {1}};
  const Pair gray16{"gray 16", kernels::grayGain16, reference::grayGain16, {2}};
  for (const Size size : kSizes) {
    for (int round = 0; round < 6; ++round) {
      GrayBlock block{mode(random),   gain(random),   gain(random),   gain(random),   gain(random),
                      offset(random), offset(random), offset(random), offset(random), 10};
      Picture p8(size.width, size.height, 1), p16(size.width, size.height, 2);
      p8.randomise(random, 255);
      p16.randomise(random, round == 5 ? 65535 : 1023);
      GrayBlock block8 = block;
      block8.bitDepth = 8;
      expectSame(gray8, p8, &block8, &block8, false, describe(p8, block.bayerMode));
      expectSame(gray16, p16, &block, &block, false, describe(p16, block.bayerMode));

      for (Picture *p : {&p8, &p16}) {
        GrayBlock produced = p == &p8 ? block8 : block, expected = produced;
        test::runInPlace(kernels::grayCalibration, *p, &produced);
        test::runInPlace(reference::grayCalibration, *p, &expected);
        EXPECT_EQ(produced.gainR, expected.gainR);
        EXPECT_EQ(produced.gainG1, expected.gainG1);
        EXPECT_EQ(produced.gainG2, expected.gainG2);
        EXPECT_EQ(produced.gainB, expected.gainB);
      }
    }
  }
}

}  // namespace
}  // namespace pelnik
