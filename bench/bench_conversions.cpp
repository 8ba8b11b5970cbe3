// Time of each conversion kernel on a 1280 x 1024 picture, production form
// against reference form, and OpenCV's bilinear demosaic of the same mosaic
// when OpenCV is at hand.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "imaging/conversion_kernels.h"
#include "imaging/image_buffer.h"

#ifdef PELNIK_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace pelnik;

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

void fillRandom(CImageBuffer &b, int bits) {
  std::mt19937 random(7);
  for (std::size_t i = 0; i < b.ByteSize(); ++i) {
    // 16-bit samples hold 10 significant bits.
    const bool highByte = (bits == 16 || bits == 48 || bits == 64) && (i & 1);
    b.Pixels()[i] = static_cast<std::uint8_t>(highByte ? random() & 3 : random());
  }
}

struct Case {
  const char *name;
  Kernel production;
  Kernel reference;
  int srcBits;
  int dstBits;
  bool inPlace;
};

#define PAIR(name) #name, kernels::name, reference::name

const Case kCases[] = {
    {PAIR(restride8), 8, 8, true},
    {PAIR(restride16), 16, 16, true},
    {PAIR(luminance), 24, 8, false},
    {PAIR(reduce16To8), 16, 8, false},
    {PAIR(reduce48To24), 48, 24, false},
    {PAIR(reduce32To24), 32, 24, false},
    {PAIR(tenBitTo8Flipped), 16, 8, false},
    {PAIR(twelveBitTo16), 16, 16, false},
    {PAIR(reduce48To24Flipped), 48, 24, false},
    {PAIR(copy24Flipped), 24, 24, false},
    {PAIR(rowCopyFlipped), 24, 24, false},
    {PAIR(swap24), 24, 24, false},
    {PAIR(copy32WithAlpha), 32, 32, false},
    {PAIR(shift48By6Swapped), 48, 48, false},
    {PAIR(to64Shift6), 48, 64, false},
    {PAIR(blit8To24), 8, 24, false},
    {PAIR(blit32To24), 32, 24, false},
};

void runKernel(benchmark::State &state, Kernel kernel, int srcBits, int dstBits, bool inPlace) {
  // The re-stride works only when the row needs padding, at 8 and 16 bits:
  // 1277 wide.
  const int width = inPlace && srcBits <= 16 ? kWidth - 3 : kWidth;
  CImageBuffer src, dst;
  src.Create(width, kHeight, srcBits);
  dst.Create(width, kHeight, dstBits);
  fillRandom(src, srcBits);
  // Blits read a BlitBlock, the demosaic a DemosaicBlock; each gets its own.
  BlitBlock block{0, reinterpret_cast<const std::uint8_t *>(src.ColorTable())};
  DemosaicBlock gains{1, 130, 100, 90};
  const bool demosaic = kernel == kernels::demosaic8Interior || kernel == kernels::demosaic8Border;
  void *params = demosaic ? static_cast<void *>(&gains) : static_cast<void *>(&block);
  CImageBuffer &target = inPlace ? src : dst;
  for (auto _ : state) {
    benchmark::DoNotOptimize(target.ApplyKernel(kernel, src, nullptr, 0, 0, &params));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * width * kHeight);
}

struct DemosaicCase {
  const char *name;
  Kernel interior, border;
  int srcBits, dstBits;
};

const DemosaicCase kDemosaics[] = {
    {"demosaic8To24/production", kernels::demosaic8Interior, kernels::demosaic8Border, 8, 24},
    {"demosaic8To24/reference", reference::demosaic8Interior, reference::demosaic8Border, 8, 24},
    {"demosaic8To32/production", kernels::demosaic8Interior, kernels::demosaic8Border, 8, 32},
    {"demosaic8To32/reference", reference::demosaic8Interior, reference::demosaic8Border, 8, 32},
    {"demosaic16To48/production", kernels::demosaic16Interior, kernels::demosaic16Border, 16, 48},
    {"demosaic16To48/reference", reference::demosaic16Interior, reference::demosaic16Border, 16,
     48},
    {"demosaic16To64/production", kernels::demosaic16Interior, kernels::demosaic16Border, 16, 64},
};

void runDemosaic(benchmark::State &state, const DemosaicCase &c) {
  CImageBuffer raw, out;
  raw.Create(kWidth, kHeight, c.srcBits);
  out.Create(kWidth, kHeight, c.dstBits);
  fillRandom(raw, c.srcBits);
  DemosaicBlock block{1, 130, 100, 90};
  DemosaicBlock *params = &block;
  for (auto _ : state) {
    out.ApplyKernel(c.interior, raw, nullptr, 0, 0, &params);
    out.ApplyKernel(c.border, raw, nullptr, 0, 0, &params);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void runScale(benchmark::State &state, ScaledKernel kernel, int bits) {
  CImageBuffer picture, display;
  picture.Create(kWidth, kHeight, bits);
  display.Create(800, 640, bits);
  fillRandom(picture, bits);
  for (auto _ : state) {
    benchmark::DoNotOptimize(display.ApplyScaledKernel(kernel, picture, nullptr, nullptr));
    benchmark::ClobberMemory();
  }
}

#ifdef PELNIK_HAVE_OPENCV
// The nearest equal work: OpenCV's bilinear Bayer to BGR on the same mosaic.
void runOpenCvDemosaic(benchmark::State &state) {
  CImageBuffer raw;
  raw.Create(kWidth, kHeight, 8);
  fillRandom(raw, 8);
  cv::setNumThreads(1);
  const cv::Mat mosaic(kHeight, kWidth, CV_8UC1, raw.Pixels(), raw.Stride());
  cv::Mat colour(kHeight, kWidth, CV_8UC3);
  for (auto _ : state) {
    cv::demosaicing(mosaic, colour, cv::COLOR_BayerGR2BGR);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
#endif

int registerAll() {
  for (const Case &c : kCases) {
    benchmark::RegisterBenchmark((std::string(c.name) + "/production").c_str(), runKernel,
                                 c.production, c.srcBits, c.dstBits, c.inPlace)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string(c.name) + "/reference").c_str(), runKernel,
                                 c.reference, c.srcBits, c.dstBits, c.inPlace)
        ->Unit(benchmark::kMicrosecond);
  }
  for (const DemosaicCase &c : kDemosaics) {
    benchmark::RegisterBenchmark(c.name, runDemosaic, c)->Unit(benchmark::kMicrosecond);
  }
  // The two halves of the 8 -> 24 demosaic alone.
  benchmark::RegisterBenchmark("demosaic8Interior/production", runKernel,
                               kernels::demosaic8Interior, 8, 24, false)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("demosaic8Border/production", runKernel, kernels::demosaic8Border, 8,
                               24, false)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("scale8To800x640/production", runScale, kernels::scale8, 8)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("scale8To800x640/reference", runScale, reference::scale8, 8)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("scale24To800x640/production", runScale, kernels::scale24, 24)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("scale24To800x640/reference", runScale, reference::scale24, 24)
      ->Unit(benchmark::kMicrosecond);
#ifdef PELNIK_HAVE_OPENCV
  benchmark::RegisterBenchmark("demosaic8To24/opencvBilinear", runOpenCvDemosaic)
      ->Unit(benchmark::kMicrosecond);
#endif
  return 0;
}

const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
