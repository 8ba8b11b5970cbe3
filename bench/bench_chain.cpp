// The image filter chain at the sensor's full 1280 x 1024: each stage
// alone, the whole chain in every colour mode with neutral settings and
// with every stage active, the reference kernels doing the same work, and
// (with OpenCV) the nearest equal work of an established library.
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "imaging/auto_iris.h"
#include "imaging/chain.h"
#include "imaging/chain_demosaic.h"
#include "imaging/conversion_kernels.h"
#include "imaging/filter_kernels.h"
#include "imaging/filter_params.h"
#include "imaging/image_buffer.h"
#include "imaging/vector_path.h"
#include "imaging/white_balance.h"

#ifdef PELNIK_HAVE_OPENCV
// OpenCV's headers mix enumeration types, which C++20 warns about.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-enum-enum-conversion"
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#pragma GCC diagnostic pop
#endif

namespace {

using namespace pelnik;
namespace slot = filter_slot;

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

class BenchCamera : public AutoIrisDevice, public ChainSettingsWriter {
 public:
  int currentGlobalGain() override { return 100; }
  int globalGainMinimum() override { return 0; }
  int globalGainMaximum() override { return 1023; }
  int currentExposureLines() override { return 500; }
  int exposureLinesMinimum() override { return 1; }
  int exposureLinesMaximum() override { return 65535; }
  void setGlobalGain(int) override {}
  void setExposureLines(int) override {}
  void storeGrayGains(int, int, int, int) override {}
  void clearGrayCalibrationRequest() override {}
  void storeBayerGains(int, int, int) override {}
  void clearWhiteBalanceRequest() override {}
  void storeGlobalGain(int) override {}
  void storeExposureLines(int) override {}
};

void fillRandom(CImageBuffer &b, int maximum, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> value(0, maximum);
  const bool sixteen = b.BitCount() == 16 || b.BitCount() >= 48;
  const int samples = sixteen ? b.BytesPerPixel() / 2 : b.BytesPerPixel();
  for (int y = 0; y < b.Height(); ++y) {
    std::uint8_t *row = b.Pixels() + y * b.Stride();
    for (int k = 0; k < b.Width() * samples; ++k) {
      const auto v = static_cast<std::uint16_t>(value(random));
      if (sixteen) {
        std::memcpy(row + 2 * k, &v, 2);
      } else {
        row[k] = static_cast<std::uint8_t>(v);
      }
    }
  }
}

struct Camera {
  CImageBuffer raw8, raw16, c24, c32, c48, c64, scratch;
  BenchCamera device;
  FilterChain chain{device, device};
  Camera() {
    raw8.Create(kWidth, kHeight, 8);
    raw16.Create(kWidth, kHeight, 16);
    c24.Create(kWidth, kHeight, 24);
    c32.Create(kWidth, kHeight, 32);
    c48.Create(kWidth, kHeight, 48);
    c64.Create(kWidth, kHeight, 64);
    fillRandom(raw8, 255, 1);
    fillRandom(raw16, 1023, 2);
  }
  ChainBuffers buffers() { return {&raw8, &raw16, &c24, &c32, &c48, &c64}; }
  CImageBuffer &raw(int mode) { return mode == 1 || mode >= 4 ? raw16 : raw8; }
  CImageBuffer &output(int mode) {
    CImageBuffer *outputs[] = {&raw8, &raw16, &c24, &c32, &c48, &c64};
    return *outputs[mode];
  }
};

ChainSettings neutral(int mode) {
  ChainSettings s;
  s.colourMode = mode;
  s.filter[slot::kBayerGainRed] = s.filter[slot::kBayerGainGreen] = s.filter[slot::kBayerGainBlue] =
      100;
  s.filter[slot::kGamma] = 100;
  s.filter[slot::kBayerMode] = 1;
  for (int i = 0; i < 4; ++i) s.filter[slot::kGrayGainR + i] = 128;
  return s;
}

// Gamma, contrast, sharpness, brightness, hue and saturation, Bayer gains,
// auto iris and white balance all on (gray modes: gray gains instead of
// the colour-only stages).
ChainSettings everyStage(int mode) {
  ChainSettings s = neutral(mode);
  s.filter[slot::kBrightness] = 30;
  s.filter[slot::kContrast] = 25;
  s.filter[slot::kHue] = 40;
  s.filter[slot::kSaturation] = 60;
  s.filter[slot::kSharpness] = 15;
  s.filter[slot::kGamma] = 70;
  s.filter[slot::kBayerGainRed] = 120;
  s.filter[slot::kBayerGainBlue] = 90;
  s.filter[slot::kWhiteBalanceEnable] = 1;
  s.filter[slot::kGrayMode] = 1;
  s.filter[slot::kGrayGainR] = 150;
  s.autoIrisMode = kAutoIrisGain;
  return s;
}

const char *kModeNames[] = {"8", "10", "24", "32", "42", "58"};

void BM_ChainNeutral(benchmark::State &state) {
  const int mode = static_cast<int>(state.range(0));
  Camera camera;
  const ChainSettings s = neutral(mode);
  for (auto _ : state) {
    camera.chain.run(s, camera.buffers());
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string("colour ") + kModeNames[mode]);
}
BENCHMARK(BM_ChainNeutral)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// Run with the widest forms this processor offers, and limited to the forms
// every AVX2 processor takes (the figure for processors without AVX-512).
template <vector_path::Widest Widest>
void BM_ChainEveryStage(benchmark::State &state) {
  const vector_path::LimitScope limit(Widest);
  const int mode = static_cast<int>(state.range(0));
  Camera camera;
  const ChainSettings s = everyStage(mode);
  for (auto _ : state) {
    // The chain works in place on the raw frame in the gray modes: start
    // every frame from the same mosaic.
    state.PauseTiming();
    if (mode < 2) fillRandom(camera.raw(mode), mode == 0 ? 255 : 1023, 3);
    state.ResumeTiming();
    camera.chain.run(s, camera.buffers());
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string("colour ") + kModeNames[mode] + ", " +
                 vector_path::nameOf(vector_path::avx512Vbmi() ? vector_path::Widest::kAvx512Vbmi
                                     : vector_path::avx2()     ? vector_path::Widest::kAvx2
                                                               : vector_path::Widest::kScalar));
}
BENCHMARK(BM_ChainEveryStage<vector_path::Widest::kAvx512Vbmi>)
    ->Name("BM_ChainEveryStage")
    ->DenseRange(0, 5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChainEveryStage<vector_path::Widest::kAvx2>)
    ->Name("BM_ChainEveryStageAvx2Only")
    ->DenseRange(0, 5)
    ->Unit(benchmark::kMillisecond);

// One frame broken down: the chain's own steps timed on the thread's CPU
// clock, reported per frame in milliseconds beside the whole.
class StepTimes : public ChainStepClock {
 public:
  static constexpr int kSteps = static_cast<int>(ChainStep::kCount);
  static double threadMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
  }
  void start() { last_ = threadMilliseconds(); }
  void stepEnded(ChainStep step) override {
    const double now = threadMilliseconds();
    total[static_cast<int>(step)] += now - last_;
    last_ = now;
  }
  double total[kSteps] = {};

 private:
  double last_ = 0;
};

void BM_ChainBreakdown(benchmark::State &state) {
  const int mode = static_cast<int>(state.range(0));
  Camera camera;
  const ChainSettings s = everyStage(mode);
  StepTimes times;
  camera.chain.attachStepClock(&times);
  for (auto _ : state) {
    state.PauseTiming();
    if (mode < 2) fillRandom(camera.raw(mode), mode == 0 ? 255 : 1023, 3);
    state.ResumeTiming();
    times.start();
    camera.chain.run(s, camera.buffers());
    benchmark::ClobberMemory();
  }
  camera.chain.attachStepClock(nullptr);
  const char *names[] = {"auto_iris", "gray_or_wb_demosaic", "filters_one_pass"};
  for (int i = 0; i < StepTimes::kSteps; ++i) {
    state.counters[std::string(names[i]) + "_ms"] =
        benchmark::Counter(times.total[i], benchmark::Counter::kAvgIterations);
  }
  state.SetLabel(std::string("colour ") + kModeNames[mode]);
}
BENCHMARK(BM_ChainBreakdown)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// The same work as a colour mode's chain with every stage active, done by
// the reference kernels (no auto iris, whose windows are 4 % of the frame).
void referenceChain(Camera &camera, const ChainSettings &s) {
  const int mode = s.colourMode;
  CImageBuffer &raw = camera.raw(mode);
  CImageBuffer &out = camera.output(mode);
  const bool sixteen = raw.BitCount() == 16;
  const int depth = sixteen ? 10 : 8;
  DemosaicBlock block{bayer::effectiveMode(s.slot(slot::kBayerMode), false, false),
                      s.slot(slot::kBayerGainRed), 100, s.slot(slot::kBayerGainBlue)};
  DemosaicBlock measured = block;
  applyWhole(raw, sixteen ? reference::whiteBalance16 : reference::whiteBalance8, raw, &measured);
  applyWhole(out, sixteen ? reference::demosaic16Interior : reference::demosaic8Interior, raw,
             &block);
  applyWhole(out, sixteen ? reference::demosaic16Border : reference::demosaic8Border, raw, &block);
  HueBlock hue{s.slot(slot::kHue), 0, s.slot(slot::kSaturation), depth};
  applyWhole(out, sixteen ? reference::hueSaturation16 : reference::hueSaturation8, out, &hue);
  ValueBlock gamma{s.slot(slot::kGamma), depth}, contrast{s.slot(slot::kContrast), depth},
      sharp{s.slot(slot::kSharpness), depth}, bright{s.slot(slot::kBrightness), depth};
  applyWhole(out, sixteen ? reference::gamma16 : reference::gammaColour8, out, &gamma);
  applyWhole(out, sixteen ? reference::contrast16 : reference::contrast8, out, &contrast);
  if (camera.scratch.Width() != out.Width() || camera.scratch.BitCount() != out.BitCount()) {
    camera.scratch.CreateLike(&out);
  }
  std::memcpy(camera.scratch.Pixels(), out.Pixels(), out.ByteSize());
  applyWhole(out, sixteen ? reference::sharpness16 : reference::sharpness8, camera.scratch, &sharp);
  applyWhole(out, sixteen ? reference::brightness16 : reference::brightness8, out, &bright);
}

void BM_ReferenceChainEveryStage(benchmark::State &state) {
  const int mode = static_cast<int>(state.range(0));
  Camera camera;
  const ChainSettings s = everyStage(mode);
  for (auto _ : state) {
    referenceChain(camera, s);
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string("colour ") + kModeNames[mode]);
}
BENCHMARK(BM_ReferenceChainEveryStage)->DenseRange(2, 5)->Unit(benchmark::kMillisecond);

// --- each stage alone: colour 24 and 42, gray gains on the raw frame ---------

enum Stage {
  kHue,
  kGamma,
  kContrast,
  kSharpness,
  kBrightness,
  kWhiteBalance,
  kGrayGains,
  kWindows
};
const char *kStageNames[] = {"hue and saturation", "gamma",
                             "contrast",           "sharpness (reference: with copy)",
                             "brightness",         "white balance measurement",
                             "gray gains",         "auto iris windows"};

template <bool Reference>
void runStage(Camera &camera, Stage stage, bool sixteen) {
  CImageBuffer &out = sixteen ? camera.c48 : camera.c24;
  CImageBuffer &raw = sixteen ? camera.raw16 : camera.raw8;
  const int depth = sixteen ? 10 : 8;
  ValueBlock gamma{70, depth}, contrast{25, depth}, sharp{15, depth}, bright{30, depth};
  HueBlock hue{40, 0, 60, depth};
  auto pick = [&](Kernel eight, Kernel wide) { return sixteen ? wide : eight; };
  switch (stage) {
    case kHue:
      applyWhole(out,
                 Reference ? pick(reference::hueSaturation8, reference::hueSaturation16)
                           : pick(kernels::hueSaturation8, kernels::hueSaturation16),
                 out, &hue);
      break;
    case kGamma:
      applyWhole(out,
                 Reference ? pick(reference::gammaColour8, reference::gamma16)
                           : pick(kernels::gammaColour8, kernels::gamma16),
                 out, &gamma);
      break;
    case kContrast:
      applyWhole(out,
                 Reference ? pick(reference::contrast8, reference::contrast16)
                           : pick(kernels::contrast8, kernels::contrast16),
                 out, &contrast);
      break;
    case kSharpness:
      // The reference reads a whole copy; the chain sharpens in place.
      if (Reference) {
        std::memcpy(camera.scratch.Pixels(), out.Pixels(), out.ByteSize());
        applyWhole(out, pick(reference::sharpness8, reference::sharpness16), camera.scratch,
                   &sharp);
      } else {
        applyWhole(out, pick(kernels::sharpness8, kernels::sharpness16), out, &sharp);
      }
      break;
    case kBrightness:
      applyWhole(out,
                 Reference ? pick(reference::brightness8, reference::brightness16)
                           : pick(kernels::brightness8, kernels::brightness16),
                 out, &bright);
      break;
    case kWhiteBalance: {
      DemosaicBlock block{1, 100, 100, 100};
      applyWhole(raw,
                 Reference ? pick(reference::whiteBalance8, reference::whiteBalance16)
                           : pick(kernels::whiteBalance8, kernels::whiteBalance16),
                 raw, &block);
      break;
    }
    case kGrayGains: {
      GrayBlock block{1, 150, 128, 128, 128, 0, 0, 0, 0, depth};
      applyWhole(raw,
                 Reference ? pick(reference::grayGain8, reference::grayGain16)
                           : pick(kernels::grayGain8, kernels::grayGain16),
                 raw, &block);
      break;
    }
    case kWindows:
      for (KernelRect w : autoIrisWindows(kWidth, kHeight)) {
        benchmark::DoNotOptimize(
            raw.ApplyKernel(Reference ? pick(reference::windowMean8, reference::windowMean16)
                                      : pick(kernels::windowMean8, kernels::windowMean16),
                            raw, &w, w.left, w.top));
      }
      break;
  }
}

// Arguments: the stage, and 0 for 8-bit samples (colour 24, 8-bit raw) or 1
// for 16-bit ones (colour 42, 16-bit raw).
template <bool Reference>
void BM_Stage(benchmark::State &state) {
  const auto stage = static_cast<Stage>(state.range(0));
  const bool sixteen = state.range(1) != 0;
  Camera camera;
  CImageBuffer &out = sixteen ? camera.c48 : camera.c24;
  fillRandom(out, sixteen ? 1023 : 255, 4);
  camera.scratch.CreateLike(&out);
  for (auto _ : state) {
    runStage<Reference>(camera, stage, sixteen);
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string(kStageNames[stage]) + (sixteen ? ", 16-bit" : ", 8-bit"));
}
BENCHMARK(BM_Stage<false>)
    ->Name("BM_Stage")
    ->ArgsProduct({benchmark::CreateDenseRange(0, 7, 1), {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Stage<true>)
    ->Name("BM_ReferenceStage")
    ->ArgsProduct({benchmark::CreateDenseRange(0, 7, 1), {0, 1}})
    ->Unit(benchmark::kMicrosecond);

#ifdef PELNIK_HAVE_OPENCV

// --- the nearest equal work in OpenCV, same 1280 x 1024 x 3 picture ---------

// Every OpenCV figure is taken on one thread, like the chain's.
cv::Mat colourPicture() {
  cv::setNumThreads(1);
  cv::Mat picture(kHeight, kWidth, CV_8UC3);
  cv::randu(picture, 0, 256);
  return picture;
}

void BM_OpenCvLut(benchmark::State &state) {
  cv::Mat picture = colourPicture();
  cv::Mat table(1, 256, CV_8U);
  for (int i = 0; i < 256; ++i) table.at<std::uint8_t>(i) = static_cast<std::uint8_t>(255 - i);
  for (auto _ : state) {
    cv::LUT(picture, table, picture);
    benchmark::ClobberMemory();
  }
  state.SetLabel("cv::LUT, as gamma or contrast");
}
BENCHMARK(BM_OpenCvLut)->Unit(benchmark::kMicrosecond);

void BM_OpenCvUnsharpMask(benchmark::State &state) {
  cv::Mat picture = colourPicture();
  cv::Mat blurred, sharpened;
  for (auto _ : state) {
    cv::blur(picture, blurred, cv::Size(4, 4));
    cv::addWeighted(picture, 2.5, blurred, -1.5, 0.0, sharpened);
    benchmark::ClobberMemory();
  }
  state.SetLabel("4x4 box-filter unsharp mask, as sharpness");
}
BENCHMARK(BM_OpenCvUnsharpMask)->Unit(benchmark::kMicrosecond);

void BM_OpenCvConvertScaleAbs(benchmark::State &state) {
  cv::Mat picture = colourPicture();
  cv::Mat out;
  for (auto _ : state) {
    cv::convertScaleAbs(picture, out, 1.0 + 10.0 * 30 / 255.0);
    benchmark::ClobberMemory();
  }
  state.SetLabel("convertScaleAbs, as brightness");
}
BENCHMARK(BM_OpenCvConvertScaleAbs)->Unit(benchmark::kMicrosecond);

// The nearest equal work of a colour-24 frame with every stage: bilinear
// demosaic, a hue and saturation change through HSV and back, gamma and
// contrast as two lookup tables, a 4x4 unsharp mask and a brightness scale,
// on one thread.
void BM_OpenCvEqualChain24(benchmark::State &state) {
  cv::setNumThreads(1);
  cv::Mat raw(kHeight, kWidth, CV_8UC1);
  cv::randu(raw, 0, 256);
  cv::Mat colour, hsv, blurred, sharpened, out;
  cv::Mat gamma(1, 256, CV_8U), contrast(1, 256, CV_8U);
  for (int i = 0; i < 256; ++i) {
    gamma.at<std::uint8_t>(i) = static_cast<std::uint8_t>(255 - i);
    contrast.at<std::uint8_t>(i) = static_cast<std::uint8_t>(i / 2 + 64);
  }
  for (auto _ : state) {
    cv::cvtColor(raw, colour, cv::COLOR_BayerGB2BGR);
    cv::cvtColor(colour, hsv, cv::COLOR_BGR2HSV);
    cv::add(hsv, cv::Scalar(20, 30, 0), hsv);
    cv::cvtColor(hsv, colour, cv::COLOR_HSV2BGR);
    cv::LUT(colour, gamma, colour);
    cv::LUT(colour, contrast, colour);
    cv::blur(colour, blurred, cv::Size(4, 4));
    cv::addWeighted(colour, 2.5, blurred, -1.5, 0.0, sharpened);
    cv::convertScaleAbs(sharpened, out, 1.0 + 10.0 * 30 / 255.0);
    benchmark::ClobberMemory();
  }
  state.SetLabel("OpenCV equal work of colour 24, every stage, one thread");
}
BENCHMARK(BM_OpenCvEqualChain24)->Unit(benchmark::kMillisecond);

#endif  // PELNIK_HAVE_OPENCV

}  // namespace

BENCHMARK_MAIN();
