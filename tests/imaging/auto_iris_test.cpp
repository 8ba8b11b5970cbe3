// The auto iris: the exposure factor accumulated in doubles, the dead band,
// the gain and exposure steps with their limits, and one step on a picture
// through a fake device.
#include "imaging/auto_iris.h"

#include <gtest/gtest.h>

#include <vector>

#include "filter_pictures.h"
#include "imaging/image_buffer.h"

namespace pelnik {
namespace {

using Means = std::array<int, 5>;

TEST(AutoIrisFactor, TheListedCases) {
  EXPECT_EQ(autoIrisFactor({120, 120, 120, 120, 120}), 1.0);
  EXPECT_TRUE(insideDeadBand(autoIrisFactor({120, 120, 120, 120, 120})));

  // Four additions of 0.05 reach 1.2 or just above it: a step up.
  const double up = autoIrisFactor({80, 80, 80, 80, 120});
  EXPECT_GE(up, 1.2);
  EXPECT_FALSE(insideDeadBand(up));
  EXPECT_EQ(nextGlobalGain(100, up, 0, 1023), 120);

  EXPECT_FALSE(insideDeadBand(autoIrisFactor({30, 30, 120, 120, 120})));
  EXPECT_TRUE(insideDeadBand(autoIrisFactor({30, 120, 120, 120, 120})));

  // 1 - 0.15 - 0.15 - 0.15 in doubles, one window at a time.
  const double down = autoIrisFactor({210, 201, 255, 120, 120});
  EXPECT_EQ(down, 0.5499999999999999);
  EXPECT_EQ(nextGlobalGain(100, down, 0, 1023), 54);

  // Four times 0.1 stays just above 0.6; two 0.15 and one 0.1 is exactly 0.6.
  const double justAbove = autoIrisFactor({161, 200, 180, 170, 120});
  EXPECT_GT(justAbove, 0.6);
  EXPECT_TRUE(insideDeadBand(justAbove));
  const double exact = autoIrisFactor({201, 201, 161, 120, 120});
  EXPECT_EQ(exact, 0.6);
  EXPECT_FALSE(insideDeadBand(exact));

  // Zero-sized windows give mean 0 and push the factor up to its top.
  EXPECT_EQ(autoIrisFactor({0, 0, 0, 0, 0}), 1.0 + 0.1 + 0.1 + 0.1 + 0.1 + 0.1);
}

TEST(AutoIrisStep, GainAndExposureLimits) {
  EXPECT_EQ(nextGlobalGain(2, 1.25, 0, 1023), 5);  // computed from 4
  EXPECT_EQ(nextGlobalGain(1000, 1.5, 0, 1023), 1023);
  EXPECT_EQ(nextGlobalGain(10, 0.55, 8, 1023), 8);
  EXPECT_EQ(nextExposureLines(1, 0.6, 0, 65535), 1);  // 0 becomes 1
  // Held at the maximum before anything is cut: never the low 16 bits of 72000.
  EXPECT_EQ(nextExposureLines(60000, 1.2, 1, 65535), 65535);
  EXPECT_EQ(nextExposureLines(60000, 1.2, 1, 100000), 72000);
  EXPECT_EQ(nextExposureLines(2000000000, 1.5, 1, 65535), 65535);
  EXPECT_EQ(nextExposureLines(100, 0.55, 70, 65535), 70);
}

TEST(AutoIrisWindows, BoundsAreTruncatedProductsAndMeansMatchTheReference) {
  const auto w = autoIrisWindows(10, 20);
  // 0.45 x 10 = 4.5 and 0.55 x 10 = 5.5 truncate to 4 and 5.
  EXPECT_EQ((std::array<int, 4>{w[2].left, w[2].top, w[2].right, w[2].bottom}),
            (std::array<int, 4>{4, 9, 5, 11}));
  EXPECT_EQ(w[0].top + w[1].bottom, 20);  // symmetric top to bottom
  EXPECT_EQ(w[3].top + w[4].bottom, 20);

  auto random = test::seeded(8);
  for (int bpp : {1, 2}) {
    test::Picture p(41, 23, bpp);
    p.randomise(random, 65535);
    for (KernelRect r :
         {KernelRect{0, 0, 41, 23}, KernelRect{3, 4, 17, 9}, KernelRect{5, 5, 5, 9}}) {
      int means[2];
      const Kernel forms[2][2] = {{kernels::windowMean8, reference::windowMean8},
                                  {kernels::windowMean16, reference::windowMean16}};
      for (int f = 0; f < 2; ++f) {
        KernelRect given = r;
        void *none = nullptr;
        means[f] = forms[bpp - 1][f](p.bytes.data(), p.bytes.data(), &given, r.left, r.top, bpp,
                                     bpp, p.stride, p.stride, &none, 0);
      }
      EXPECT_EQ(means[0], means[1]);
      if (r.empty()) {
        EXPECT_EQ(means[0], 0);
      }
    }
  }
  // 16 bits: the low byte of sample >> 2, so 2000 (>> 2 = 500) counts as 244.
  test::Picture wide(2, 1, 2);
  wide.fill(2000);
  KernelRect all{0, 0, 2, 1};
  void *none = nullptr;
  EXPECT_EQ(kernels::windowMean16(wide.bytes.data(), wide.bytes.data(), &all, 0, 0, 2, 2,
                                  wide.stride, wide.stride, &none, 0),
            244);
}

class FakeDevice : public AutoIrisDevice {
 public:
  int gain = 100, exposure = 1000;
  std::vector<int> gainWrites, exposureWrites;
  int currentGlobalGain() override { return gain; }
  int globalGainMinimum() override { return 0; }
  int globalGainMaximum() override { return 1023; }
  int currentExposureLines() override { return exposure; }
  int exposureLinesMinimum() override { return 1; }
  int exposureLinesMaximum() override { return 65535; }
  void setGlobalGain(int g) override { gainWrites.push_back(g); }
  void setExposureLines(int e) override { exposureWrites.push_back(e); }
};

class RecordingSettings : public ChainSettingsWriter {
 public:
  std::vector<int> gains, exposures;
  void storeGrayGains(int, int, int, int) override {}
  void clearGrayCalibrationRequest() override {}
  void storeBayerGains(int, int, int) override {}
  void clearWhiteBalanceRequest() override {}
  void storeGlobalGain(int g) override { gains.push_back(g); }
  void storeExposureLines(int e) override { exposures.push_back(e); }
};

class RecordingObserver : public ChainObserver {
 public:
  std::vector<int> gains, exposures;
  void globalGainChanged(int g) override { gains.push_back(g); }
  void exposureLinesChanged(int e) override { exposures.push_back(e); }
};

// A picture of `value` everywhere except window 1, which holds `first`.
void paint(CImageBuffer &picture, int value, int first) {
  const int bpp = picture.BytesPerPixel();
  const auto windows = autoIrisWindows(picture.Width(), picture.Height());
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const KernelRect &w = windows[0];
      const bool inFirst = x >= w.left && x < w.right && y >= w.top && y < w.bottom;
      const int v = inFirst ? first : value;
      std::uint8_t *p = picture.Pixels() + y * picture.Stride() + x * bpp;
      if (bpp == 1) {
        *p = static_cast<std::uint8_t>(v);
      } else {
        const auto wide = static_cast<std::uint16_t>(v * 4);
        std::memcpy(p, &wide, 2);
      }
    }
  }
}

struct Fixture {
  FakeDevice device;
  RecordingSettings settings;
  RecordingObserver observer;
  ChainNotifier notifier;
  Fixture() { notifier.attach(&observer); }
  int step(int mode, CImageBuffer *picture) {
    return autoIrisStep(mode, picture, device, settings, notifier);
  }
};

TEST(AutoIrisStep, GainModeOnEightBitAndExposureModeOnSixteenBitPictures) {
  CImageBuffer picture;
  ASSERT_EQ(picture.Create(100, 80, 8), 1);
  paint(picture, 80, 120);  // four windows at 80: f = 1.2
  Fixture gain;
  EXPECT_EQ(gain.step(kAutoIrisGain, &picture), 1);
  EXPECT_EQ(gain.device.gainWrites, std::vector<int>{120});
  EXPECT_EQ(gain.settings.gains, std::vector<int>{120});
  EXPECT_EQ(gain.observer.gains, std::vector<int>{120});
  EXPECT_TRUE(gain.device.exposureWrites.empty());

  CImageBuffer wide;
  ASSERT_EQ(wide.Create(64, 48, 16), 1);
  paint(wide, 210, 210);  // every window above 200: f = 0.24999999999999992
  Fixture exposure;
  EXPECT_EQ(exposure.step(kAutoIrisExposure, &wide), 1);
  EXPECT_EQ(exposure.device.exposureWrites, std::vector<int>{249});
  EXPECT_EQ(exposure.settings.exposures, std::vector<int>{249});
  EXPECT_EQ(exposure.observer.exposures, std::vector<int>{249});
  EXPECT_TRUE(exposure.device.gainWrites.empty());
}

TEST(AutoIrisStep, OffDeadBandAndOtherPictures) {
  CImageBuffer picture;
  ASSERT_EQ(picture.Create(50, 50, 8), 1);
  paint(picture, 120, 120);
  Fixture f;
  EXPECT_EQ(f.step(kAutoIrisOff, &picture), 0);
  EXPECT_EQ(f.step(3, &picture), 0);
  EXPECT_EQ(f.step(kAutoIrisGain, nullptr), 0);
  EXPECT_EQ(f.step(kAutoIrisGain, &picture), 1);  // inside the dead band
  EXPECT_TRUE(f.device.gainWrites.empty());
  EXPECT_TRUE(f.settings.gains.empty());

  // A 24-bit picture measures 0 in every window: f = 1.5.
  CImageBuffer colour;
  ASSERT_EQ(colour.Create(50, 50, 24), 1);
  EXPECT_EQ(f.step(kAutoIrisGain, &colour), 1);
  EXPECT_EQ(f.device.gainWrites, std::vector<int>{150});
}

}  // namespace
}  // namespace pelnik
