// The image filter chain on synthetic raw frames in every colour mode: the
// buffers and kernels it picks, the order of its stages and their skip
// rules, the gray calibration and white-balance requests, and two cameras
// running their chains at once.
#include "imaging/chain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "imaging/chain_demosaic.h"
#include "imaging/conversion_kernels.h"
#include "imaging/filter_kernels.h"
#include "imaging/filter_params.h"
#include "imaging/image_buffer.h"

namespace pelnik {
namespace {

namespace slot = filter_slot;

class FakeCamera : public AutoIrisDevice, public ChainSettingsWriter {
 public:
  int currentGlobalGain() override { return 100; }
  int globalGainMinimum() override { return 0; }
  int globalGainMaximum() override { return 1023; }
  int currentExposureLines() override { return 500; }
  int exposureLinesMinimum() override { return 1; }
  int exposureLinesMaximum() override { return 65535; }
  void setGlobalGain(int) override { ++sensorWrites; }
  void setExposureLines(int) override { ++sensorWrites; }

  void storeGrayGains(int r, int g1, int g2, int b) override {
    grayGains.push_back({r, g1, g2, b});
  }
  void clearGrayCalibrationRequest() override { ++calibrationClears; }
  void storeBayerGains(int r, int g, int b) override { bayerGains.push_back({r, g, b}); }
  void clearWhiteBalanceRequest() override { ++whiteBalanceClears; }
  void storeGlobalGain(int) override {}
  void storeExposureLines(int) override {}

  int sensorWrites = 0;
  std::vector<std::array<int, 4>> grayGains;
  int calibrationClears = 0;
  std::vector<std::array<int, 3>> bayerGains;
  int whiteBalanceClears = 0;
};

class CountingObserver : public ChainObserver {
 public:
  int refreshes = 0;
  void imageSettingsChanged() override { ++refreshes; }
};

// Default settings as the camera loads them when nothing is stored.
ChainSettings defaults(int colourMode) {
  ChainSettings s;
  s.colourMode = colourMode;
  s.filter[slot::kBayerGainRed] = s.filter[slot::kBayerGainGreen] = s.filter[slot::kBayerGainBlue] =
      100;
  s.filter[slot::kGamma] = 100;
  s.filter[slot::kBayerMode] = 1;
  for (int i = 0; i < 4; ++i) s.filter[slot::kGrayGainR + i] = 128;
  return s;
}

ChainSettings everyStage(int colourMode) {
  ChainSettings s = defaults(colourMode);
  s.filter[slot::kBrightness] = 40;
  s.filter[slot::kContrast] = 20;
  s.filter[slot::kHue] = 75;
  s.filter[slot::kSaturation] = -60;
  s.filter[slot::kSharpness] = 12;
  s.filter[slot::kGamma] = 80;
  s.filter[slot::kBayerGainRed] = 130;
  s.filter[slot::kBayerGainBlue] = 90;
  return s;
}

// The camera's nine buffers, for one picture size.
struct Buffers {
  CImageBuffer raw8, raw16, c24, c32, c48, c64;
  int width, height;

  Buffers(int w, int h) : width(w), height(h) {
    raw8.Create(w, h, 8);
    raw16.Create(w, h, 16);
    c24.Create(w, h, 24);
    c32.Create(w, h, 32);
    c48.Create(w, h, 48);
    c64.Create(w, h, 64);
  }
  ChainBuffers chain() { return {&raw8, &raw16, &c24, &c32, &c48, &c64}; }

  CImageBuffer &raw(int colourMode) { return colourMode == 1 || colourMode >= 4 ? raw16 : raw8; }
  CImageBuffer &output(int colourMode) {
    CImageBuffer *outputs[] = {&raw8, &raw16, &c24, &c32, &c48, &c64};
    return *outputs[colourMode];
  }

  // A random mosaic in the raw buffer of the colour mode.
  void randomFrame(int colourMode, unsigned seed) {
    std::mt19937 random(seed);
    CImageBuffer &r = raw(colourMode);
    const bool sixteen = r.BitCount() == 16;
    std::uniform_int_distribution<int> value(0, sixteen ? 1023 : 255);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        std::uint8_t *p = r.Pixels() + y * r.Stride() + x * r.BytesPerPixel();
        const auto v = static_cast<std::uint16_t>(value(random));
        if (sixteen) {
          std::memcpy(p, &v, 2);
        } else {
          *p = static_cast<std::uint8_t>(v);
        }
      }
    }
  }
};

std::vector<std::uint8_t> bytesOf(const CImageBuffer &b) {
  return {b.Pixels(), b.Pixels() + b.ByteSize()};
}

// The chain's result rebuilt from reference kernels, stage by stage in the
// documented order, on copies of the buffers.
std::vector<std::uint8_t> expectedPicture(Buffers &b, const ChainSettings &s) {
  const int mode = s.colourMode;
  const bool gray = mode < 2;
  CImageBuffer raw, out, copy;
  raw.CreateLike(&b.raw(mode));
  std::memcpy(raw.Pixels(), b.raw(mode).Pixels(), raw.ByteSize());
  const bool sixteen = raw.BitCount() == 16;
  const int depth = sixteen ? 10 : 8;
  const int bayerMode = bayer::effectiveMode(s.slot(slot::kBayerMode), s.mirrorV, s.mirrorH);
  CImageBuffer &o = gray ? raw : out;
  if (gray) {
    GrayBlock g{bayerMode,
                s.slot(slot::kGrayGainR),
                s.slot(slot::kGrayGainR + 1),
                s.slot(slot::kGrayGainR + 2),
                s.slot(slot::kGrayGainR + 3),
                s.slot(slot::kGrayOffsetR),
                s.slot(slot::kGrayOffsetR + 1),
                s.slot(slot::kGrayOffsetR + 2),
                s.slot(slot::kGrayOffsetR + 3),
                depth};
    const bool neutral = g.gainR == 128 && g.gainG1 == 128 && g.gainG2 == 128 && g.gainB == 128;
    if (s.slot(slot::kGrayMode) == 1 && !neutral) {
      applyWhole(raw, sixteen ? reference::grayGain16 : reference::grayGain8, raw, &g);
    }
  } else {
    out.CreateLike(&b.output(mode));
    DemosaicBlock demosaic{bayerMode, s.slot(slot::kBayerGainRed), s.slot(slot::kBayerGainGreen),
                           s.slot(slot::kBayerGainBlue)};
    applyWhole(out, sixteen ? reference::demosaic16Interior : reference::demosaic8Interior, raw,
               &demosaic);
    applyWhole(out, sixteen ? reference::demosaic16Border : reference::demosaic8Border, raw,
               &demosaic);
    if (s.slot(slot::kHue) || s.slot(slot::kSaturation)) {
      HueBlock hue{s.slot(slot::kHue), 0, s.slot(slot::kSaturation), depth};
      applyWhole(out, sixteen ? reference::hueSaturation16 : reference::hueSaturation8, out, &hue);
    }
  }
  auto value = [&](Kernel eight, Kernel wide, int slotIndex, int neutral, bool fromCopy) {
    if (s.slot(slotIndex) == neutral) return;
    ValueBlock block{s.slot(slotIndex), depth};
    copy.CreateLike(&o);
    std::memcpy(copy.Pixels(), o.Pixels(), o.ByteSize());
    applyWhole(o, sixteen ? wide : eight, fromCopy ? copy : o, &block);
  };
  value(gray ? reference::gammaGray8 : reference::gammaColour8, reference::gamma16, slot::kGamma,
        100, false);
  value(reference::contrast8, reference::contrast16, slot::kContrast, 0, false);
  value(reference::sharpness8, reference::sharpness16, slot::kSharpness, 0, true);
  value(reference::brightness8, reference::brightness16, slot::kBrightness, 0, false);
  return bytesOf(o);
}

const char *kModeNames[] = {"8", "10", "24", "32", "42", "58"};

class ChainModes : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(Modes, ChainModes, ::testing::Range(0, 6), [](const auto &testCase) {
  return std::string("Colour") + kModeNames[testCase.param];
});

TEST_P(ChainModes, NeutralSettingsRunOnlyTheDemosaic) {
  const int mode = GetParam();
  Buffers b(38, 21);
  b.randomFrame(mode, 1);
  ChainSettings s = defaults(mode);
  s.filter[slot::kGrayMode] = 1;
  s.filter[slot::kGrayOffsetR] = 50;  // gray gains all 128: offsets are not applied either
  FakeCamera camera;
  FilterChain chain(camera, camera);
  const auto raw = bytesOf(b.raw(mode));
  const auto expected = expectedPicture(b, s);
  chain.run(s, b.chain());
  EXPECT_EQ(bytesOf(b.output(mode)), expected);
  EXPECT_EQ(bytesOf(b.raw(mode)), raw);  // gray modes: the frame unchanged
}

TEST_P(ChainModes, EveryStageInOrderWithTheKernelsOfTheMode) {
  for (int mirror = 0; mirror < 2; ++mirror) {
    Buffers b(45, 30);
    b.randomFrame(GetParam(), 2 + mirror);
    ChainSettings s = everyStage(GetParam());
    s.mirrorV = mirror;
    s.mirrorH = 1 - mirror;
    s.filter[slot::kGrayMode] = 1;
    s.filter[slot::kGrayGainR] = 200;
    s.filter[slot::kGrayOffsetR + 3] = -20;
    if (mirror) s.filter[slot::kContrast] = 0;  // gamma alone as well as composed with contrast
    FakeCamera camera;
    FilterChain chain(camera, camera);
    const auto expected = expectedPicture(b, s);
    chain.run(s, b.chain());
    EXPECT_EQ(bytesOf(b.output(GetParam())), expected);
  }
}

// Gamma alone, contrast alone and both, with and without hue and
// saturation before them: the chain may run them as one pass, the picture
// must be the stages' in turn. 16-bit frames carry a few samples above ten
// bits, which the device can deliver.
TEST_P(ChainModes, TableStagesInEveryCombinationMatchTheStagesInTurn) {
  const int mode = GetParam();
  const int settings[][4] = {// gamma, contrast, hue, saturation
                             {70, 0, 0, 0},     {100, 30, 0, 0},  {130, -40, 0, 0},
                             {70, 0, 25, 0},    {100, 30, 0, 90}, {130, -40, -100, -60},
                             {100, 0, 200, 10}, {100, -40, 0, 0}, {100, -90, 60, 0}};
  unsigned seed = 40;
  for (const auto &v : settings) {
    SCOPED_TRACE("gamma " + std::to_string(v[0]) + " contrast " + std::to_string(v[1]) + " hue " +
                 std::to_string(v[2]) + " saturation " + std::to_string(v[3]));
    Buffers b(37, 22);
    b.randomFrame(mode, ++seed);
    CImageBuffer &raw = b.raw(mode);
    if (raw.BitCount() == 16) {
      std::mt19937 random(seed);
      for (int n = 0; n < 30; ++n) {
        const auto large = static_cast<std::uint16_t>(1024 + random() % 64512);
        std::memcpy(raw.Pixels() + (random() % 22) * raw.Stride() + (random() % 37) * 2, &large, 2);
      }
    }
    ChainSettings s = defaults(mode);
    s.filter[slot::kGamma] = v[0];
    s.filter[slot::kContrast] = v[1];
    s.filter[slot::kHue] = v[2];
    s.filter[slot::kSaturation] = v[3];
    s.filter[slot::kBrightness] = 9;
    FakeCamera camera;
    FilterChain chain(camera, camera);
    const auto expected = expectedPicture(b, s);
    chain.run(s, b.chain());
    EXPECT_EQ(bytesOf(b.output(mode)), expected);
  }
}

TEST(ChainGrayModes, CalibrationOnceIsServedByOneFrameAndEveryFrameStays) {
  Buffers b(8, 8);
  // Bayer mode 1 puts the gray sites B, G2 on row 0 and G1, R on row 1:
  // B 50, G2 100, G1 100, R 200.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const int v = y % 2 == 0 ? (x % 2 == 0 ? 50 : 100) : (x % 2 == 0 ? 100 : 200);
      b.raw8.Pixels()[y * b.raw8.Stride() + x] = static_cast<std::uint8_t>(v);
    }
  FakeCamera camera;
  CountingObserver observer;
  FilterChain chain(camera, camera);
  chain.attachObserver(&observer);
  ChainSettings s = defaults(0);
  s.filter[slot::kGrayMode] = 1;
  s.filter[slot::kGrayCalibration] = 1;
  chain.run(s, b.chain());
  ASSERT_EQ(camera.grayGains.size(), 1u);
  EXPECT_EQ(camera.grayGains[0], (std::array<int, 4>{128, 256, 256, 512}));
  EXPECT_EQ(camera.calibrationClears, 1);
  EXPECT_EQ(observer.refreshes, 1);
  // The new gains act in the same frame: every site now reads 200.
  for (int x = 0; x < 2; ++x) EXPECT_EQ(b.raw8.Pixels()[x], 200);

  s.filter[slot::kGrayCalibration] = -1;  // the All frames setting
  chain.run(s, b.chain());
  chain.run(s, b.chain());
  EXPECT_EQ(camera.grayGains.size(), 3u);
  EXPECT_EQ(camera.calibrationClears, 1);
}

TEST(ChainGrayModes, GrayModeTwoGivesLuminanceInModeEightAndLeavesModeTen) {
  Buffers b(20, 14);
  b.randomFrame(0, 6);
  CImageBuffer colour, expected;
  colour.CreateLike(&b.c24);
  expected.CreateLike(&b.raw8);
  DemosaicBlock block{bayer::effectiveMode(1, false, false), 100, 100, 100};
  applyWhole(colour, reference::demosaic8Interior, b.raw8, &block);
  applyWhole(colour, reference::demosaic8Border, b.raw8, &block);
  applyWhole(expected, reference::luminance, colour, nullptr);
  FakeCamera camera;
  FilterChain chain(camera, camera);
  ChainSettings s = defaults(0);
  s.filter[slot::kGrayMode] = 2;
  chain.run(s, b.chain());
  EXPECT_EQ(bytesOf(b.raw8), bytesOf(expected));

  Buffers wide(20, 14);
  wide.randomFrame(1, 7);
  wide.randomFrame(0, 8);  // a stale 8-bit picture, as the preview leaves it
  const auto raw16 = bytesOf(wide.raw16), raw8 = bytesOf(wide.raw8);
  s.colourMode = 1;
  s.filter[slot::kWhiteBalanceEnable] = 1;
  chain.run(s, wide.chain());
  EXPECT_EQ(bytesOf(wide.raw16), raw16);
  EXPECT_EQ(bytesOf(wide.raw8), raw8);
  EXPECT_TRUE(camera.bayerGains.empty());
}

TEST(ChainWhiteBalance, OnceMeasuresOneFrameAllFramesMeasureEvery) {
  Buffers b(16, 16);
  // Bayer mode 1: R 50, G 100, B 200 in the 8-bit raw buffer.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int v = y % 2 == 0 ? (x % 2 == 0 ? 50 : 100) : (x % 2 == 0 ? 100 : 200);
      b.raw8.Pixels()[y * b.raw8.Stride() + x] = static_cast<std::uint8_t>(v);
    }
  FakeCamera camera;
  CountingObserver observer;
  FilterChain chain(camera, camera);
  chain.attachObserver(&observer);
  ChainSettings once = defaults(2);
  once.filter[slot::kWhiteBalanceEnable] = 1;
  once.filter[slot::kWhiteBalanceOnceFirst] = 1;
  once.filter[slot::kWhiteBalanceOnceSecond] = 1;
  chain.run(once, b.chain());
  ASSERT_EQ(camera.bayerGains.size(), 1u);
  EXPECT_EQ(camera.bayerGains[0], (std::array<int, 3>{200, 100, 50}));
  EXPECT_EQ(camera.whiteBalanceClears, 1);
  EXPECT_EQ(observer.refreshes, 1);
  // The measured gains are the ones this frame was demosaiced with.
  ChainSettings measured = defaults(2);
  measured.filter[slot::kBayerGainRed] = 200;
  measured.filter[slot::kBayerGainBlue] = 50;
  EXPECT_EQ(bytesOf(b.c24), expectedPicture(b, measured));

  // The camera cleared the request: the next frame does not measure.
  chain.run(defaults(2), b.chain());
  EXPECT_EQ(camera.bayerGains.size(), 1u);

  ChainSettings allFrames = defaults(2);
  allFrames.filter[slot::kWhiteBalanceEnable] = 1;
  for (int frame = 0; frame < 3; ++frame) chain.run(allFrames, b.chain());
  EXPECT_EQ(camera.bayerGains.size(), 4u);
  EXPECT_EQ(camera.whiteBalanceClears, 1);
}

TEST(ChainWhiteBalance, GainsAreHeldAtFourHundredAndBlackFramesKeepThem) {
  Buffers b(16, 16);
  // Bayer mode 1 in 16 bits: R 100, G 1000, B 600.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int v = y % 2 == 0 ? (x % 2 == 0 ? 100 : 1000) : (x % 2 == 0 ? 1000 : 600);
      const auto wide = static_cast<std::uint16_t>(v);
      std::memcpy(b.raw16.Pixels() + y * b.raw16.Stride() + 2 * x, &wide, 2);
    }
  FakeCamera camera;
  FilterChain chain(camera, camera);
  ChainSettings s = defaults(4);
  s.filter[slot::kWhiteBalanceEnable] = 1;
  s.filter[slot::kWhiteBalanceOnceFirst] = 1;
  s.filter[slot::kWhiteBalanceOnceSecond] = 1;
  chain.run(s, b.chain());
  ASSERT_EQ(camera.bayerGains.size(), 1u);
  EXPECT_EQ(camera.bayerGains[0][0], 400);  // 1000 x 100 / 100
  EXPECT_EQ(camera.bayerGains[0][2], 166);

  Buffers black(16, 16);
  chain.run(s, black.chain());
  EXPECT_EQ(camera.bayerGains.size(), 1u);  // nothing measured, gains kept
  EXPECT_EQ(camera.whiteBalanceClears, 1);  // and the Once request still waits
}

TEST(ChainSettingsRanges, OutOfRangeSettingsActAsTheNearestAcceptedValue) {
  Buffers a(24, 18), b(24, 18);
  a.randomFrame(2, 9);
  b.randomFrame(2, 9);
  ChainSettings wild = everyStage(2), held = everyStage(2);
  wild.filter[slot::kSharpness] = 5000;
  held.filter[slot::kSharpness] = 30;
  wild.filter[slot::kGamma] = -7;
  held.filter[slot::kGamma] = 0;
  wild.filter[slot::kSaturation] = 1 << 30;
  held.filter[slot::kSaturation] = 255;
  wild.filter[slot::kBrightness] = -100000;
  held.filter[slot::kBrightness] = -255;
  FakeCamera camera;
  FilterChain chain(camera, camera);
  chain.run(wild, a.chain());
  chain.run(held, b.chain());
  EXPECT_EQ(bytesOf(a.c24), bytesOf(b.c24));
}

TEST(ChainSmallPictures, TinyAndOddPicturesInEveryMode) {
  for (int mode = 0; mode < 6; ++mode) {
    for (auto size : {std::array<int, 2>{1, 1}, {2, 2}, {3, 2}, {4, 3}, {5, 7}, {7, 5}}) {
      Buffers b(size[0], size[1]);
      b.randomFrame(mode, 11);
      FakeCamera camera;
      FilterChain chain(camera, camera);
      ChainSettings s = everyStage(mode);
      s.filter[slot::kGrayMode] = 1;
      s.filter[slot::kGrayGainR] = 300;
      s.filter[slot::kWhiteBalanceEnable] = 1;
      s.autoIrisMode = 2;
      const auto raw = bytesOf(b.raw(mode));
      chain.run(s, b.chain());  // must stay inside every buffer
      // Windows of zero size measure 0 and push the factor up: a step.
      EXPECT_EQ(camera.sensorWrites, 1);
      ChainSettings measured = s;
      if (!camera.bayerGains.empty()) {
        measured.filter[slot::kBayerGainRed] = camera.bayerGains.back()[0];
        measured.filter[slot::kBayerGainBlue] = camera.bayerGains.back()[2];
      }
      Buffers again(size[0], size[1]);
      std::memcpy(again.raw(mode).Pixels(), raw.data(), raw.size());
      EXPECT_EQ(bytesOf(b.output(mode)), expectedPicture(again, measured)) << mode;
    }
  }
}

// Two cameras with different saturations run their chains at once: no
// shared table, each gets its own picture.
TEST(ChainCameras, TwoChainsWithDifferentSaturationsAtOnce) {
  Buffers first(64, 48), second(64, 48);
  first.randomFrame(2, 12);
  second.randomFrame(2, 12);
  ChainSettings a = everyStage(2), b = everyStage(2);
  a.filter[slot::kSaturation] = 200;
  b.filter[slot::kSaturation] = -200;
  const auto expectedA = expectedPicture(first, a);
  const auto expectedB = expectedPicture(second, b);
  FakeCamera cameraA, cameraB;
  FilterChain chainA(cameraA, cameraA), chainB(cameraB, cameraB);
  bool sameA = true, sameB = true;
  std::thread one([&] {
    for (int i = 0; i < 20; ++i) {
      chainA.run(a, first.chain());
      sameA = sameA && bytesOf(first.c24) == expectedA;
    }
  });
  std::thread two([&] {
    for (int i = 0; i < 20; ++i) {
      chainB.run(b, second.chain());
      sameB = sameB && bytesOf(second.c24) == expectedB;
    }
  });
  one.join();
  two.join();
  EXPECT_TRUE(sameA);
  EXPECT_TRUE(sameB);
}

}  // namespace
}  // namespace pelnik
