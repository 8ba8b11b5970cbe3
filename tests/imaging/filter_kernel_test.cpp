// Behaviour of the filter kernels on chosen pictures: each case runs the
// production and the reference form, which must both give the result.
#include <gtest/gtest.h>

#include <memory_resource>
#include <new>

#include "filter_pictures.h"
#include "imaging/filter_kernels.h"
#include "imaging/filter_params.h"

namespace pelnik {
namespace {

using test::Picture;
using test::runInPlace;
using test::runKernel;

struct KernelPair {
  const char *form;
  Kernel gray8, gray16, calibration, hue8, hue16, gammaGray8, gammaColour8, gamma16, contrast8,
      contrast16, sharpness8, sharpness16, brightness8, brightness16;
};

const KernelPair kForms[] = {
    {"production", kernels::grayGain8, kernels::grayGain16, kernels::grayCalibration,
     kernels::hueSaturation8, kernels::hueSaturation16, kernels::gammaGray8, kernels::gammaColour8,
     kernels::gamma16, kernels::contrast8, kernels::contrast16, kernels::sharpness8,
     kernels::sharpness16, kernels::brightness8, kernels::brightness16},
    {"reference", reference::grayGain8, reference::grayGain16, reference::grayCalibration,
     reference::hueSaturation8, reference::hueSaturation16, reference::gammaGray8,
     reference::gammaColour8, reference::gamma16, reference::contrast8, reference::contrast16,
     reference::sharpness8, reference::sharpness16, reference::brightness8,
     reference::brightness16},
};

void PrintTo(const KernelPair &pair, std::ostream *out) { *out << pair.form; }

class FilterKernel : public ::testing::TestWithParam<KernelPair> {};

INSTANTIATE_TEST_SUITE_P(Forms, FilterKernel, ::testing::ValuesIn(kForms),
                         [](const auto &testCase) { return std::string(testCase.param.form); });

// One gray row holding the values 0..255 (width 256).
Picture ramp8() {
  Picture p(256, 1, 1);
  for (int x = 0; x < 256; ++x) p.setSample(x, 0, 0, x);
  return p;
}

GrayBlock neutralGray(int mode, int bitDepth) {
  return {mode, 128, 128, 128, 128, 0, 0, 0, 0, bitDepth};
}

TEST_P(FilterKernel, GrayGainsActBySiteAndClamp) {
  // Mode 0: row 0 = (G1, R), row 1 = (B, G2).
  Picture p(2, 2, 1);
  p.fill(200);
  GrayBlock block = neutralGray(0, 8);
  block.gainR = 255;
  block.offsetB = -255;
  block.offsetG2 = 30;
  runInPlace(GetParam().gray8, p, &block);
  EXPECT_EQ(p.sample(0, 0), 200);  // G1 unchanged at gain 128
  EXPECT_EQ(p.sample(1, 0), 255);  // (255 x 200) / 128 = 398, clamped
  EXPECT_EQ(p.sample(0, 1), 0);    // offset larger than the scaled sample
  EXPECT_EQ(p.sample(1, 1), 230);

  Picture wide(2, 2, 2);
  wide.fill(200);
  block.bitDepth = 10;
  runInPlace(GetParam().gray16, wide, &block);
  EXPECT_EQ(wide.sample(1, 0), 398);  // inside 10 bits
  EXPECT_EQ(wide.sample(0, 1), 0);
}

TEST_P(FilterKernel, CalibrationEqualisesSiteMeansAndSkipsEmptySites) {
  Picture p(4, 4, 1);
  // Mode 0 sites: G1 100, R 50, B 200, G2 25.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      p.setSample(x, y, 0, y % 2 == 0 ? (x % 2 ? 50 : 100) : (x % 2 ? 25 : 200));
  GrayBlock block = neutralGray(0, 8);
  runInPlace(GetParam().calibration, p, &block);
  EXPECT_EQ(block.gainB, 128);
  EXPECT_EQ(block.gainG1, 256);
  EXPECT_EQ(block.gainR, 512);
  EXPECT_EQ(block.gainG2, 1024);  // not limited to 255

  // All R sites at full scale: that site has no counted sample, nothing changes.
  for (int y = 0; y < 4; y += 2)
    for (int x = 1; x < 4; x += 2) p.setSample(x, y, 0, 255);
  GrayBlock untouched = neutralGray(0, 8);
  runInPlace(GetParam().calibration, p, &untouched);
  EXPECT_EQ(untouched.gainR, 128);
  EXPECT_EQ(untouched.gainG1, 128);
}

TEST_P(FilterKernel, GammaTablesAndTheColourExponentLimit) {
  Picture p = ramp8();
  ValueBlock half{50, 8};
  runInPlace(GetParam().gammaGray8, p, &half);
  EXPECT_EQ(p.sample(64, 0), 127);
  EXPECT_EQ(p.sample(0, 0), 0);
  EXPECT_EQ(p.sample(255, 0), 255);

  // Gamma 0: a gray picture goes all to 255, a colour picture keeps 0 at 0.
  Picture gray = ramp8();
  ValueBlock zero{0, 8};
  runInPlace(GetParam().gammaGray8, gray, &zero);
  EXPECT_EQ(gray.sample(0, 0), 255);
  Picture colour(4, 1, 3);
  colour.fill(0);
  colour.setSample(1, 0, 2, 200);
  runInPlace(GetParam().gammaColour8, colour, &zero);
  EXPECT_EQ(colour.sample(0, 0, 0), 0);
  EXPECT_EQ(colour.sample(1, 0, 2), 254);  // (200 / 255)^0.001 x 255 = 254.94

  // Gamma 110 is the exponent 2: (512 / 1024)^2 x 1023 = 255.75.
  Picture wide(1, 1, 2);
  wide.setSample(0, 0, 0, 512);
  ValueBlock two{110, 10};
  runInPlace(GetParam().gamma16, wide, &two);
  EXPECT_EQ(wide.sample(0, 0), 255);
}

TEST_P(FilterKernel, ContrastSixtyFour) {
  Picture p = ramp8();
  ValueBlock block{64, 8};
  runInPlace(GetParam().contrast8, p, &block);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p.sample(i, 0), 0) << i;
  for (int i = 192; i < 256; ++i) EXPECT_EQ(p.sample(i, 0), 255) << i;
  EXPECT_EQ(p.sample(128, 0), 128);
}

TEST_P(FilterKernel, BrightnessBounds) {
  Picture dark = ramp8();
  ValueBlock off{-255, 8};
  runInPlace(GetParam().brightness8, dark, &off);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(dark.sample(i, 0), 0);

  Picture bright = ramp8();
  ValueBlock full{255, 8};
  runInPlace(GetParam().brightness8, bright, &full);
  EXPECT_EQ(bright.sample(23, 0), 253);
  for (int i = 24; i < 256; ++i) EXPECT_EQ(bright.sample(i, 0), 255) << i;

  Picture wide(3, 1, 2);
  wide.setSample(0, 0, 0, 23);
  wide.setSample(1, 0, 0, 93);
  wide.setSample(2, 0, 0, 94);
  ValueBlock tenBits{255, 10};
  runInPlace(GetParam().brightness16, wide, &tenBits);
  EXPECT_EQ(wide.sample(0, 0), 253);
  EXPECT_EQ(wide.sample(1, 0), 1023);  // 93 x 11 = 1023
  EXPECT_EQ(wide.sample(2, 0), 1023);
}

TEST_P(FilterKernel, SaturationAndHueOnPureRed) {
  Picture red(1, 1, 3);
  red.setSample(0, 0, 2, 255);
  HueBlock grey{0, 0, -255, 8};
  runInPlace(GetParam().hue8, red, &grey);
  EXPECT_EQ(red.sample(0, 0, 2), 128);
  EXPECT_EQ(red.sample(0, 0, 1), 127);
  EXPECT_EQ(red.sample(0, 0, 0), 127);

  Picture turned(1, 1, 3);
  turned.setSample(0, 0, 2, 255);
  HueBlock towardsGreen{120, 0, 0, 8};
  runInPlace(GetParam().hue8, turned, &towardsGreen);
  EXPECT_GT(turned.sample(0, 0, 1), 200);
  EXPECT_LT(turned.sample(0, 0, 2), 60);
}

TEST_P(FilterKernel, HueThreeSixtyEqualsHueZero) {
  auto random = test::seeded(11);
  Picture zero(37, 9, 4);
  zero.randomise(random, 255);
  Picture full = zero, negativeFull = zero;
  HueBlock blocks[] = {{0, 0, 90, 8}, {360, 0, 90, 8}, {-360, 0, 90, 8}};
  runInPlace(GetParam().hue8, zero, &blocks[0]);
  runInPlace(GetParam().hue8, full, &blocks[1]);
  runInPlace(GetParam().hue8, negativeFull, &blocks[2]);
  EXPECT_EQ(zero.bytes, full.bytes);
  EXPECT_EQ(zero.bytes, negativeFull.bytes);
}

TEST_P(FilterKernel, SharpnessLeavesFlatPicturesAndTheFrame) {
  Picture flat(9, 8, 3);
  flat.fill(77);
  Picture out = flat;
  ValueBlock strongest{30, 8};
  runKernel(GetParam().sharpness8, out, flat, &strongest);
  EXPECT_EQ(out.bytes, flat.bytes);

  auto random = test::seeded(5);
  Picture noisy(12, 10, 1);
  noisy.randomise(random, 255);
  Picture sharpened = noisy;
  runKernel(GetParam().sharpness8, sharpened, noisy, &strongest);
  bool changed = false;
  for (int y = 0; y < noisy.height; ++y) {
    for (int x = 0; x < noisy.width; ++x) {
      const bool frame = x < 2 || y < 2 || x >= noisy.width - 2 || y >= noisy.height - 2;
      if (frame) {
        EXPECT_EQ(sharpened.sample(x, y), noisy.sample(x, y)) << x << "," << y;
      }
      changed = changed || sharpened.sample(x, y) != noisy.sample(x, y);
    }
  }
  EXPECT_TRUE(changed);
}

TEST_P(FilterKernel, ColourStagesLeaveTheSpareSample) {
  auto random = test::seeded(3);
  for (int bpp : {4, 8}) {
    Picture p(11, 7, bpp);
    p.randomise(random, bpp == 4 ? 255 : 1023);
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) p.setSample(x, y, 3, 0x5A);
    const bool sixteen = bpp == 8;
    ValueBlock gamma{60, 10}, contrast{-40, 10}, bright{100, 10}, sharp{20, 10};
    HueBlock hue{45, 0, 100, 10};
    runInPlace(sixteen ? GetParam().hue16 : GetParam().hue8, p, &hue);
    runInPlace(sixteen ? GetParam().gamma16 : GetParam().gammaColour8, p, &gamma);
    runInPlace(sixteen ? GetParam().contrast16 : GetParam().contrast8, p, &contrast);
    Picture copy = p;
    runKernel(sixteen ? GetParam().sharpness16 : GetParam().sharpness8, p, copy, &sharp);
    runInPlace(sixteen ? GetParam().brightness16 : GetParam().brightness8, p, &bright);
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) EXPECT_EQ(p.sample(x, y, 3), 0x5A) << bpp;
  }
}

TEST_P(FilterKernel, SixteenBitSamplesBeyondTenBitsStayInsideTheTables) {
  // Frames come from outside: every 16-bit value must be safe to look up.
  Picture p(6, 6, 2);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) p.setSample(x, y, 0, 65535 - x * 1000 - y);
  ValueBlock gamma{50, 10};
  Picture g = p;
  runInPlace(GetParam().gamma16, g, &gamma);
  Picture top(1, 1, 2);
  top.setSample(0, 0, 0, 1023);
  runInPlace(GetParam().gamma16, top, &gamma);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(g.sample(x, y), top.sample(0, 0));  // as full scale

  Picture c = p;
  ValueBlock contrast{10, 10};
  runInPlace(GetParam().contrast16, c, &contrast);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(c.sample(x, y), 1023);

  Picture s = p;
  ValueBlock sharp{30, 10};
  runKernel(GetParam().sharpness16, s, p, &sharp);
  for (int y = 2; y < 4; ++y)
    for (int x = 2; x < 4; ++x) EXPECT_EQ(s.sample(x, y), 1023);

  Picture colour(3, 2, 6);
  colour.fill(65535);
  HueBlock hue{90, 0, 50, 10};
  runInPlace(GetParam().hue16, colour, &hue);
  for (int sample = 0; sample < 3; ++sample) EXPECT_LE(colour.sample(0, 0, sample), 1023);
}

TEST(FilterKernelMemory, SixteenBitStageWithoutTableMemoryLeavesThePicture) {
  // Every allocation from the default resource fails.
  class Refusing : public std::pmr::memory_resource {
    void *do_allocate(std::size_t, std::size_t) override { throw std::bad_alloc(); }
    void do_deallocate(void *, std::size_t, std::size_t) override {}
    bool do_is_equal(const memory_resource &other) const noexcept override {
      return &other == this;
    }
  } refusing;
  auto random = test::seeded(9);
  Picture p(8, 8, 6);
  p.randomise(random, 1023);
  const Picture before = p;
  std::pmr::memory_resource *previous = std::pmr::set_default_resource(&refusing);
  ValueBlock gamma{70, 10}, contrast{20, 10}, sharp{10, 10};
  EXPECT_EQ(runInPlace(kernels::gamma16, p, &gamma), 0);
  EXPECT_EQ(runInPlace(kernels::contrast16, p, &contrast), 0);
  Picture copy = p;
  EXPECT_EQ(runKernel(kernels::sharpness16, p, copy, &sharp), 0);
  std::pmr::set_default_resource(previous);
  EXPECT_EQ(p.bytes, before.bytes);
}

}  // namespace
}  // namespace pelnik
