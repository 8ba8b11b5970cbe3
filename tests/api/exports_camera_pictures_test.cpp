// What reaches the application's buffer: the filter chain applied to the
// frame the virtual camera sent, in every colour mode and both row orders;
// the automatic iris and white balance closing their loops against the
// virtual camera.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "exports_camera_support.h"
#include "imaging/chain.h"
#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"
#include "support/test_environment.h"
#include "virtcam/frame_renderer.h"
#include "virtcam/scene.h"

namespace {

using pelnik::CImageBuffer;
using pelnik::test::CameraSetup;
using pelnik::test::CameraTest;
using pelnik::test::MessageTarget;
using pelnik::test::popErrors;
using pelnik::test::TargetMessage;
namespace virtcam = pelnik::virtcam;

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

// Colour bars over a horizontal ramp, with fine detail for the demosaic.
std::shared_ptr<const virtcam::Scene> chartScene() {
  virtcam::ScenePicture picture(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const auto ramp = std::uint16_t(x * 3);
      const int bar = (y / 128) % 4;
      const auto detail = std::uint16_t(((x / 3 + y / 5) % 2) * 400);
      const auto redRamp = std::uint16_t(std::min(ramp + detail, virtcam::kFullReflectance));
      picture.set(x, y, std::uint16_t(bar == 1 ? 3000 : redRamp),
                  std::uint16_t(bar == 2 ? 2800 : ramp), std::uint16_t(bar == 3 ? 3500 : ramp / 2));
    }
  return virtcam::makeStillScene(std::move(picture));
}

std::shared_ptr<const virtcam::Scene> uniformScene(int red, int green, int blue) {
  virtcam::ScenePicture picture(kWidth, kHeight);
  picture.fill(0, 0, kWidth, kHeight, std::uint16_t(red), std::uint16_t(green),
               std::uint16_t(blue));
  return virtcam::makeStillScene(std::move(picture));
}

struct ColourModeCase {
  int set;    // Pelnik_SetColorMode argument
  int index;  // stored mode
  int rawBits;
  int outputBits;
};
constexpr ColourModeCase kModes[] = {{8, 0, 8, 8},   {16, 1, 16, 16}, {24, 2, 8, 24},
                                     {32, 3, 8, 32}, {48, 4, 16, 48}, {64, 5, 16, 64}};

// The chain's host for the expected pictures: no sensor, nothing stored.
class NoHost final : public pelnik::AutoIrisDevice, public pelnik::ChainSettingsWriter {
 public:
  int currentGlobalGain() override { return 0; }
  int globalGainMinimum() override { return 0; }
  int globalGainMaximum() override { return 2047; }
  int currentExposureLines() override { return 512; }
  int exposureLinesMinimum() override { return 1; }
  int exposureLinesMaximum() override { return 65534; }
  void setGlobalGain(int) override {}
  void setExposureLines(int) override {}
  void storeGrayGains(int, int, int, int) override {}
  void clearGrayCalibrationRequest() override {}
  void storeBayerGains(int, int, int) override {}
  void clearWhiteBalanceRequest() override {}
  void storeGlobalGain(int) override {}
  void storeExposureLines(int) override {}
};

class Pictures : public CameraTest {
 protected:
  void SetUp() override {}
  void open(std::shared_ptr<const virtcam::Scene> scene) {
    CameraSetup setup;
    setup.scene = std::move(scene);
    startCameras(setup);
    handle_ = openCamera();
    ASSERT_EQ(Pelnik_SetWaitTime(handle_, 0), 1);
    // Pictures are compared, not shown: no preview window.
    ASSERT_EQ(Pelnik_SetPreviewWindow(handle_, PelnikWindow{}, 0, 0, 0, 0), 1);
  }

  // The image settings every picture test uses, away from neutral so that
  // every stage of the chain does something.
  void applyImageSettings() {
    ASSERT_EQ(Pelnik_SetGamma(handle_, 120), 1);
    ASSERT_EQ(Pelnik_SetBrightness(handle_, 12), 1);
    ASSERT_EQ(Pelnik_SetContrast(handle_, 20), 1);
    ASSERT_EQ(Pelnik_SetSaturation(handle_, 30), 1);
    ASSERT_EQ(Pelnik_SetHue(handle_, 15), 1);
    ASSERT_EQ(Pelnik_SetSharpness(handle_, 3), 1);
    ASSERT_EQ(Pelnik_SetBayerGainRed(handle_, 120), 1);
    ASSERT_EQ(Pelnik_SetBayerGainBlue(handle_, 90), 1);
  }

  // The picture the chain makes of the camera's current frame (any frame
  // number: outside the stamp they are all the same).
  std::vector<std::uint8_t> expectedPicture(const ColourModeCase &mode, int width, int height) {
    virtcam::FrameRenderer renderer(unit().scene());
    const auto frame = renderer.render(unit().frameSettings(1));
    CImageBuffer buffers[6];  // raw 8, raw 16, colour 24, 32, 48, 64
    const int bits[6] = {8, 16, 24, 32, 48, 64};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(buffers[i].Create(width, height, bits[i]), 1);
    CImageBuffer &raw = buffers[mode.rawBits == 8 ? 0 : 1];
    const std::size_t packedRow = std::size_t(width) * (mode.rawBits / 8);
    for (int y = 0; y < height; ++y)
      std::memcpy(raw.Pixels() + std::size_t(y) * raw.Stride(), frame.data() + y * packedRow,
                  packedRow);
    // Buffers are indexed like the colour modes: each mode's output is buffers[index].

    pelnik::ChainSettings settings;
    for (int id = 1; id <= 28; ++id) {
      static constexpr int kSlotOf[29] = {-1, 0,  1,  2,  3,  4,  -1, 5,  6,  7,
                                          25, 8,  9,  -1, -1, -1, -1, -1, -1, 11,
                                          12, 13, 14, 15, 16, 17, 18, 19, 29};
      if (kSlotOf[id] >= 0)
        settings.filter[std::size_t(kSlotOf[id])] = Pelnik_GetFilterValue(handle_, id, nullptr);
    }
    settings.colourMode = mode.index;
    NoHost host;
    pelnik::FilterChain chain(host, host);
    const pelnik::ChainBuffers chainBuffers{&buffers[0], &buffers[1], &buffers[2],
                                            &buffers[3], &buffers[4], &buffers[5]};
    chain.run(settings, chainBuffers);
    const CImageBuffer &output = buffers[mode.index];
    return {output.Pixels(), output.Pixels() + output.ByteSize()};
  }

  MessageTarget callback_;
};

// Rows and columns the frame stamp (8 samples at the start of the first and
// last rows) can reach through the chain's neighbourhoods.
bool nearStamp(int row, int height, int byteInRow, int bytesPerPixel) {
  const bool stampRows = row < 4 || row >= height - 4;
  return stampRows && byteInRow < 16 * bytesPerPixel;
}

// How long a test waits for one frame message: generous, since a sanitizer
// build on a loaded machine can take seconds for a 16-bit colour frame.
constexpr int kFrameWaitMs = 20000;

// Streams until two frames have been delivered into `buffer`, then stops.
// False when they did not come; the stream is stopped either way, so the
// buffer is the test's again.
bool streamTwoFrames(int handle, MessageTarget &callback, std::vector<std::uint8_t> &buffer,
                     int rowOrder) {
  if (Pelnik_CallBackPreview(handle, callback.window(), buffer.data(), int(buffer.size()),
                             rowOrder) != 1)
    return false;
  int frames = 0;
  while (frames < 2) {
    const auto message = callback.next(kFrameWaitMs);
    if (!message) break;
    if (message->message == PELNIK_WM_FRAME && message->wParam != 0) ++frames;
  }
  EXPECT_EQ(Pelnik_StopPreview(handle), 1);
  callback.drain();
  return frames == 2;
}

TEST_F(Pictures, ApplicationBufferHoldsTheChainsPictureOfTheSentFrame) {
  open(chartScene());
  applyImageSettings();
  // Full frame, and a window whose rows need padding in every depth; the
  // reduced workload (emulator) takes a quarter of each, same checks.
  const std::array<std::array<int, 4>, 2> windows =
      pelnik::test::reducedWorkload()
          ? std::array<std::array<int, 4>, 2>{{{0, 0, 640, 512}, {3, 5, 637, 501}}}
          : std::array<std::array<int, 4>, 2>{{{0, 0, 1280, 1024}, {3, 5, 1277, 1001}}};
  for (const auto &[x, y, width, height] : windows) {
    ASSERT_EQ(Pelnik_SetCaptureWindowEx(handle_, 1280, x, width, 1024, y, height), 1);
    for (const ColourModeCase &mode : kModes) {
      ASSERT_EQ(Pelnik_SetColorMode(handle_, mode.set), 1);
      const int bytesPerPixel = mode.outputBits / 8;
      const int stride = CImageBuffer::StrideFor(width, mode.outputBits);
      const std::size_t rowBytes = std::size_t(width) * bytesPerPixel;
      std::vector<std::uint8_t> expected;
      for (int rowOrder : {1, 0}) {
        SCOPED_TRACE(::testing::Message() << width << " x " << height << ", colour " << mode.set
                                          << ", row order " << rowOrder);
        std::vector<std::uint8_t> buffer(std::size_t(stride) * height);
        ASSERT_TRUE(streamTwoFrames(handle_, callback_, buffer, rowOrder));
        // Rendered once per mode, after the stream has set the camera up.
        if (expected.empty()) expected = expectedPicture(mode, width, height);
        ASSERT_EQ(expected.size(), buffer.size());
        std::size_t differences = 0;
        for (int row = 0; row < height; ++row) {
          const int memoryRow = rowOrder ? row : height - 1 - row;
          const std::uint8_t *got = buffer.data() + std::size_t(row) * stride;
          const std::uint8_t *want = expected.data() + std::size_t(memoryRow) * stride;
          // Whole rows first: a sanitizer build pays for every byte a loop
          // reads, and only the stamp rows may differ.
          if (std::memcmp(got, want, rowBytes) == 0) continue;
          for (std::size_t b = 0; b < rowBytes; ++b)
            if (got[b] != want[b] && !nearStamp(memoryRow, height, int(b), bytesPerPixel))
              ++differences;
        }
        EXPECT_EQ(differences, 0u);
      }
    }
  }
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
}

// Streams until `settled` holds for three frames in a row; the number of
// frames it took, or -1 when it never did within `limit` frames.
template <class Settled>
int framesUntilSettled(MessageTarget &callback, Settled settled, int limit) {
  int inARow = 0;
  for (int frame = 1; frame <= limit; ++frame) {
    std::optional<TargetMessage> message;
    do {
      message = callback.next(kFrameWaitMs);
      if (!message) return -1;
    } while (message->message != PELNIK_WM_FRAME || message->wParam == 0);
    inARow = settled() ? inARow + 1 : 0;
    if (inARow == 3) return frame;
  }
  return -1;
}

// The 8-bit window mean the sensor gives a uniform reflectance now.
int meanOf(int reflectance, const virtcam::CameraUnit &unit) {
  return virtcam::exposedValue(reflectance, unit.registers()) >> 2;
}

TEST_F(Pictures, AutoIrisBringsAnOverExposedPictureIntoTheDeadBand) {
  constexpr int kGrey = 1500;
  open(uniformScene(kGrey, kGrey, kGrey));
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 8), 1);

  // Exposure mode: a long exposure saturates every window.
  ASSERT_EQ(Pelnik_SetExposureTime(handle_, 6000), 1);
  ASSERT_EQ(meanOf(kGrey, unit()), 255);
  ASSERT_EQ(Pelnik_SetAutoIris(handle_, 1), 1);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  auto inBand = [&] {
    const int mean = meanOf(kGrey, unit());
    return mean >= 100 && mean <= 160;
  };
  const int exposureFrames = framesUntilSettled(callback_, inBand, 30);
  EXPECT_GT(exposureFrames, 0);
  EXPECT_LE(exposureFrames, 12);
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);
  const int settledLines = Pelnik_GetExposureTime(handle_, nullptr);
  EXPECT_LT(settledLines, 6000);
  EXPECT_EQ(unit().registers().sensor[14], settledLines);

  // Gain mode: the exposure stays, the gain comes down.
  ASSERT_EQ(Pelnik_SetAutoIris(handle_, 0), 1);
  ASSERT_EQ(Pelnik_SetGlobalGain(handle_, 2047), 1);
  ASSERT_EQ(meanOf(kGrey, unit()), 255);
  ASSERT_EQ(Pelnik_SetAutoIris(handle_, 2), 1);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  const int gainFrames = framesUntilSettled(callback_, inBand, 30);
  EXPECT_GT(gainFrames, 0);
  EXPECT_LE(gainFrames, 12);
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);
  EXPECT_LT(Pelnik_GetGlobalGain(handle_, nullptr), 2047);
  EXPECT_EQ(Pelnik_GetExposureTime(handle_, nullptr), settledLines);
  EXPECT_EQ(popErrors(handle_), std::vector<int>{});
}

TEST_F(Pictures, WhiteBalanceOfATintedSceneEvensOutRedAndBlue) {
  constexpr int kRed = 1200, kGreen = 2000, kBlue = 2600;
  open(uniformScene(kRed, kGreen, kBlue));
  ASSERT_EQ(Pelnik_SetColorMode(handle_, 24), 1);
  ASSERT_EQ(Pelnik_SetExposureTime(handle_, 300), 1);
  const double red = meanOf(kRed, unit()), green = meanOf(kGreen, unit()),
               blue = meanOf(kBlue, unit());
  ASSERT_LT(green, 250) << "the scene must not saturate";

  ASSERT_EQ(Pelnik_SetBayerGainAuto(handle_, 1), 1);
  ASSERT_EQ(Pelnik_CallBackPreview(handle_, callback_.window(), nullptr, 0, 1), 1);
  auto measured = [&] { return Pelnik_GetBayerGainRed(handle_, nullptr) != 100; };
  EXPECT_GT(framesUntilSettled(callback_, measured, 30), 0);
  ASSERT_EQ(Pelnik_StopPreview(handle_), 1);

  // The frame stamp shifts the class means by a few parts in a million.
  EXPECT_NEAR(Pelnik_GetBayerGainRed(handle_, nullptr), 100.0 * green / red, 1.0);
  EXPECT_NEAR(Pelnik_GetBayerGainBlue(handle_, nullptr), 100.0 * green / blue, 1.0);
  EXPECT_EQ(Pelnik_GetBayerGainGreen(handle_, nullptr), 100);
  // The enable flag alone keeps measuring every frame.
  EXPECT_EQ(Pelnik_GetBayerGainAuto(handle_, nullptr), 1);
}

}  // namespace
