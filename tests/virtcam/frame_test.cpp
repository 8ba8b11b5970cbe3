// Frames: transfer length, window and subsampling, mirroring and Bayer
// phase, exposure and gain, stamps, noise, and the frame the camera sends
// being the one a test can compute.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

#include "direct_camera.h"
#include "virtcam/frame_renderer.h"
#include "virtcam/frame_stamp.h"

namespace {

using namespace pelnik::virtcam;
using direct::DirectCamera;

// A scene whose reflectance is given per colour by a function of position.
class FunctionScene final : public Scene {
 public:
  template <typename F>
  explicit FunctionScene(F f) : picture_(kSensorWidth, kSensorHeight) {
    for (int y = 0; y < kSensorHeight; ++y)
      for (int x = 0; x < kSensorWidth; ++x) picture_.set(x, y, f(0, x, y), f(1, x, y), f(2, x, y));
  }
  const ScenePicture &picture(std::uint32_t) const override { return picture_; }
  std::vector<ScenePatch> patches(std::uint32_t) const override { return {}; }

 private:
  ScenePicture picture_;
};

template <typename F>
std::shared_ptr<const Scene> sceneOf(F f) {
  return std::make_shared<FunctionScene>(f);
}

std::uint16_t sample(const std::vector<std::uint8_t> &frame, const FrameLayout &l, int x, int y) {
  const std::size_t i = std::size_t(y) * std::size_t(l.width) + std::size_t(x);
  if (l.bytesPerSample == 1) return frame[i];
  std::uint16_t v;
  std::memcpy(&v, &frame[2 * i], 2);
  return v;
}

FrameSettings settingsFor(int x, int y, int w, int h, bool subsample, bool wide) {
  FrameSettings s;
  CameraRegisters &r = s.registers;
  r.sensor[sensor_reg::kResolution] = subsample ? 0x0201 : 0x0200;
  r.sensor[sensor_reg::kFirstRow] = std::uint16_t(y + 6);
  r.sensor[sensor_reg::kRowCount] = std::uint16_t(h);
  r.sensor[sensor_reg::kFirstColumn] = std::uint16_t(x + 6);
  r.sensor[sensor_reg::kColumnCount] = std::uint16_t(w);
  r.fpga[fpga_reg::kPixelWidth] = wide ? 1 : 0;
  const int f = subsample ? 2 : 1;
  r.setTransferPixels(std::uint32_t(((w / f) * (h / f) + 1023) / 1024 * 1024));
  return s;
}

TEST(Frames, TransferIsExactlyTheLengthOfTheFpgaRegistersAndPixelWidth) {
  FrameRenderer renderer(makeTestChart());
  EXPECT_EQ(renderer.render(settingsFor(0, 0, 1280, 1024, false, false)).size(), 1310720u);
  const auto wide = renderer.render(settingsFor(0, 0, 1280, 1024, false, true));
  EXPECT_EQ(wide.size(), 2621440u);
  for (std::size_t i = 0; i < wide.size(); i += 2) ASSERT_LT(wide[i + 1], 4) << i;  // 10-bit
  const auto sub = settingsFor(0, 0, 1280, 1024, true, false);
  EXPECT_EQ(sub.registers.layout().width, 640);
  EXPECT_EQ(renderer.render(sub).size(), 327680u);
  // 4 x 3 window: 12 image samples, the rest of the 1024 is zero.
  const auto tiny = renderer.render(settingsFor(1276, 1021, 4, 3, false, false));
  ASSERT_EQ(tiny.size(), 1024u);
  for (std::size_t i = 12; i < tiny.size(); ++i) ASSERT_EQ(tiny[i], 0) << i;
}

TEST(Frames, WindowAndSubsamplingSelectTheSensorArea) {
  // Grey reflectance that tells column and row apart.
  auto code = [](int x, int y) { return std::uint16_t(40 * ((x * 7 + y * 3) % 97)); };
  FrameRenderer renderer(sceneOf([&](int, int x, int y) { return code(x, y); }));
  for (const bool subsample : {false, true}) {
    auto s = settingsFor(100, 50, 200, 100, subsample, true);
    const FrameLayout l = s.registers.layout();
    const auto frame = renderer.render(s);
    const int f = subsample ? 2 : 1;
    for (const auto &[x, y] :
         {std::pair{1, 1}, {l.width - 1, 1}, {3, l.height - 2}, {l.width / 2, l.height / 2}})
      EXPECT_EQ(sample(frame, l, x, y), exposedValue(code(100 + x * f, 50 + y * f), s.registers))
          << "subsample " << subsample << " at " << x << "," << y;
  }
}

TEST(Frames, MirroringFlipsThePicture) {
  const std::uint16_t bright = 3000, dark = 300;
  FrameRenderer renderer(sceneOf([&](int, int x, int y) {
    return (x < kSensorWidth / 2) == (y < kSensorHeight / 2) ? bright : dark;
  }));
  for (const int mode : {0x0EC1, 0x0E41, 0x0E81, 0x0E01}) {
    auto s = settingsFor(0, 0, 1280, 1024, false, true);
    s.registers.sensor[sensor_reg::kReadoutMode] = std::uint16_t(mode);
    const FrameLayout l = s.registers.layout();
    const auto frame = renderer.render(s);
    const bool flipped = l.mirrorH != l.mirrorV;  // the picture is a 2 x 2 checker
    const std::uint16_t topLeft = sample(frame, l, 10, 10);
    EXPECT_EQ(topLeft, exposedValue(flipped ? dark : bright, s.registers)) << std::hex << mode;
  }
}

// Colour at (x, y) as the SDK reads it with Bayer mode 1 adjusted for the
// mirrors: vertical swaps 0/1 and 2/3, horizontal swaps 0/2 and 1/3; the
// first two rows of each effective mode are fixed by the SDK's table.
char sdkColour(bool mirrorH, bool mirrorV, int x, int y) {
  int mode = 1;
  if (mirrorV) mode = std::map<int, int>{{0, 1}, {1, 0}, {2, 3}, {3, 2}}[mode];
  if (mirrorH) mode = std::map<int, int>{{0, 2}, {2, 0}, {1, 3}, {3, 1}}[mode];
  static const char *rows[4][2] = {{"GB", "RG"}, {"RG", "GB"}, {"BG", "GR"}, {"GR", "BG"}};
  return rows[mode][y & 1][x & 1];
}

TEST(Frames, BayerPhaseMatchesTheSdkDefaultModeInEveryMirrorCombination) {
  const std::uint16_t level[3] = {4000, 2000, 500};
  FrameRenderer renderer(sceneOf([&](int c, int, int) { return level[c]; }));
  for (const bool subsample : {false, true})
    for (const int mode : {0x0EC1, 0x0E41, 0x0E81, 0x0E01}) {
      auto s = settingsFor(0, 0, 1280, 1024, subsample, true);
      s.registers.sensor[sensor_reg::kReadoutMode] = std::uint16_t(mode);
      const FrameLayout l = s.registers.layout();
      const auto frame = renderer.render(s);
      for (const auto &[x, y] : {std::pair{0, 2}, {1, 2}, {0, 3}, {1, 3}, {101, 51}, {300, 200}}) {
        const char colour = sdkColour(l.mirrorH, l.mirrorV, x, y);
        const int c = colour == 'R' ? 0 : colour == 'G' ? 1 : 2;
        EXPECT_EQ(sample(frame, l, x, y), exposedValue(level[c], s.registers))
            << std::hex << mode << std::dec << " at " << x << "," << y << " expects " << colour;
      }
    }
}

TEST(Frames, ValueFollowsExposureTimesGainAndClipsAtFullScale) {
  CameraRegisters r = CameraRegisters::powerUp();
  const int half = kFullReflectance / 2;
  r.sensor[sensor_reg::kExposureLines] = 512;
  const int reference = exposedValue(half, r);
  EXPECT_NEAR(reference, 500, 1);  // gain code 0 is 1x, not black
  r.sensor[sensor_reg::kExposureLines] = 256;
  EXPECT_NEAR(exposedValue(half, r), reference / 2.0, 1);
  r.sensor[sensor_reg::kExposureLines] = 512;
  r.sensor[sensor_reg::kGlobalGain] = 128;
  EXPECT_NEAR(exposedValue(half, r), 2.0 * reference, 1);
  r.sensor[sensor_reg::kGlobalGain] = 512;
  EXPECT_EQ(exposedValue(half, r), 1023);
  EXPECT_EQ(exposedValue(kFullReflectance, r), 1023);
  r.sensor[sensor_reg::kExposureLines] = 0;
  EXPECT_EQ(exposedValue(kFullReflectance, r), 0);
}

TEST(Frames, TheChartIsWellExposedAtTheSdkDefaults) {
  FrameRenderer renderer(makeTestChart());
  auto s = settingsFor(0, 0, 1280, 1024, false, true);
  s.registers.sensor[sensor_reg::kExposureLines] = 512;
  s.registers.sensor[sensor_reg::kGlobalGain] = 0;
  const FrameLayout l = s.registers.layout();
  const auto frame = renderer.render(s);
  int highest = 0;
  double sum = 0;
  for (int y = 1; y < l.height - 1; ++y)
    for (int x = 0; x < l.width; ++x) {
      const int v = sample(frame, l, x, y);
      highest = std::max(highest, v);
      sum += v;
    }
  const double mean = sum / (double(l.width) * (l.height - 2));
  EXPECT_LT(highest, 1023);
  EXPECT_GT(highest, 850);
  EXPECT_GT(mean, 250);
  EXPECT_LT(mean, 650);
}

TEST(Frames, EightBitFramesCarryTheTopBitsOfTheTenBitSamples) {
  FrameRenderer renderer(makeTestChart());
  auto narrow = settingsFor(0, 0, 1280, 1024, false, false);
  auto wide = settingsFor(0, 0, 1280, 1024, false, true);
  const auto a = renderer.render(narrow), b = renderer.render(wide);
  const FrameLayout ln = narrow.registers.layout(), lw = wide.registers.layout();
  for (int y = 1; y < ln.height - 1; y += 7)
    for (int x = 0; x < ln.width; x += 3)
      ASSERT_EQ(sample(a, ln, x, y), sample(b, lw, x, y) >> 2) << x << "," << y;
}

TEST(Frames, FirstAndLastRowsCarryTheFrameStamp) {
  FrameRenderer renderer(makeTestChart());
  for (const bool wide : {false, true}) {
    auto s = settingsFor(0, 0, 640, 480, true, wide);
    s.frameNumber = 0x01020304;
    s.camera = 7;
    const FrameLayout l = s.registers.layout();
    const auto frame = renderer.render(s);
    const std::size_t rowBytes = std::size_t(l.width) * std::size_t(l.bytesPerSample);
    const auto first = readFrameStamp(frame.data(), l.width, l.bytesPerSample);
    const auto last = readFrameStamp(frame.data() + rowBytes * std::size_t(l.height - 1), l.width,
                                     l.bytesPerSample);
    ASSERT_TRUE(first && last);
    EXPECT_EQ(first->frameNumber, 0x01020304u);
    EXPECT_EQ(first->camera, 7);
    EXPECT_EQ(*first, *last);
    // A middle row is picture, not a stamp.
    EXPECT_FALSE(readFrameStamp(frame.data() + rowBytes * 5, l.width, l.bytesPerSample));
  }
}

TEST(Frames, TheChartMovesAndCountsFromFrameToFrame) {
  FrameRenderer renderer(makeTestChart());
  auto s = settingsFor(0, 0, 1280, 1024, false, false);
  const auto a = renderer.render(s);
  s.frameNumber = 2;
  const auto b = renderer.render(s);
  auto differs = [&](int top, int bottom) {
    return !std::equal(a.begin() + top * 1280, a.begin() + bottom * 1280, b.begin() + top * 1280);
  };
  EXPECT_TRUE(differs(800, 896));  // moving disc
  EXPECT_TRUE(differs(920, 980));  // counter
  EXPECT_FALSE(differs(48, 560));  // colour patches and line pairs stay
}

TEST(Frames, NoiseIsSeededAndHasTheRequestedSpread) {
  FrameRenderer renderer(sceneOf([](int, int, int) { return std::uint16_t(2000); }));
  auto clean = settingsFor(0, 0, 1280, 1024, false, true);
  auto noisy = clean;
  noisy.noise.sigma = 8;
  noisy.noise.seed = 42;
  const auto reference = renderer.render(clean);
  const auto one = renderer.render(noisy);
  EXPECT_EQ(one, renderer.render(noisy));
  auto other = noisy;
  other.frameNumber = 2;
  EXPECT_NE(one, renderer.render(other));
  const FrameLayout l = clean.registers.layout();
  double sum = 0, squares = 0;
  int n = 0;
  for (int y = 1; y < l.height - 1; ++y)
    for (int x = 0; x < l.width; ++x, ++n) {
      const double d = double(sample(one, l, x, y)) - sample(reference, l, x, y);
      sum += d;
      squares += d * d;
    }
  const double mean = sum / n;
  EXPECT_NEAR(mean, 0.0, 0.2);
  EXPECT_NEAR(std::sqrt(squares / n - mean * mean), 8.0, 0.8);
}

TEST(Frames, TheDeliveredFrameIsTheOneATestCanCompute) {
  CameraOptions options;
  options.sensorTiming = false;
  DirectCamera camera(4, options);
  camera.setWindow(64, 32, 320, 240, false);
  camera.writeFpga(14, 1);
  camera.writeSensor(7, 0x0E41);
  const std::uint32_t bytes = std::uint32_t(camera.unit.registers().layout().transferBytes());
  camera.command({0x02});
  const auto delivered = camera.image(bytes);
  ASSERT_TRUE(delivered.ok);
  ASSERT_EQ(delivered.returned, bytes);
  FrameRenderer renderer(camera.unit.scene());
  EXPECT_EQ(delivered.data, renderer.render(camera.unit.frameSettings(1)));
  EXPECT_EQ(camera.unit.framesDelivered(), 1u);
}

}  // namespace
